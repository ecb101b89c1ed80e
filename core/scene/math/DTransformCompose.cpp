// DTransform composition and inversion.

#include "core/scene/math/DTransform.h"

// Results are computed into locals first: a or b may be *this.

namespace {

// Deformation of b(a(p)) in the combined object's frame: Ta x Db x transpose(Ra), so that
// total(result) = total(a) x total(b). A uniform Db commutes with Ra and needs no product.
Matrix33 CombinedDeformation(const DTransform& a, bool aRot, bool aDef, const DTransform& b, bool bDef) {
  const bool bUniform = (b._Flags() & DTransform::kScaleValid) != 0;
  if (aDef && bDef) {
    if (bUniform) return a._DeformationMatrix() * b._Scale();
    if (!aRot) return a._DeformationMatrix() * b._DeformationMatrix();
    a.UpdateTotalMatrix();
    Matrix33 d = a._TotalMatrix() * b._DeformationMatrix();
    return d.MultiplyTransposed(a._RotationMatrix());
  }
  if (aDef) return a._DeformationMatrix();
  if (aRot && !bUniform) {
    Matrix33 d = a._RotationMatrix() * b._DeformationMatrix();
    return d.MultiplyTransposed(a._RotationMatrix());
  }
  return b._DeformationMatrix();
}

}  // namespace

void DTransform::Combine(const DTransform& a, const DTransform& b) {
  const bool aRot = a.HasRotation() && a.UpdateRotationMatrix();
  const bool bRot = b.HasRotation() && b.UpdateRotationMatrix();
  const bool aDef = a.HasDeformation() && a.UpdateDeformationMatrix();
  const bool bDef = b.HasDeformation() && b.UpdateDeformationMatrix();

  uint32_t flags = 0;
  Vector3 position;
  if (a.HasPosition()) {
    position = (bRot || bDef) && b.UpdateTotalMatrix() ? b.m_total.Transform(a.m_position) : a.m_position;
    if (b.HasPosition()) position += b.m_position;
    flags |= kHasPosition;
  } else if (b.HasPosition()) {
    position = b.m_position;
    flags |= kHasPosition;
  }

  Matrix33 rotation;
  if (aRot || bRot) {
    rotation = aRot && bRot ? a.m_rotation * b.m_rotation : (aRot ? a.m_rotation : b.m_rotation);
    flags |= kHasRotation | kRotationMatrixValid;
  }

  Matrix33 deformation;
  if (aDef || bDef) {
    deformation = CombinedDeformation(a, aRot, aDef, b, bDef);
    flags |= kHasDeformation | kDeformationMatrixValid;
    if ((aDef && a.HasNUDeform()) || (bDef && b.HasNUDeform())) flags |= kNUDeform;
  }

  m_position = position;
  if (flags & kHasRotation) m_rotation = rotation;
  if (flags & kHasDeformation) m_deformation = deformation;
  m_flags = flags;
  RenewAllStamps();
}

void DTransform::CombineRotation(const DTransform& a, const DTransform& b) {
  const bool aRot = a.HasRotation() && a.UpdateRotationMatrix();
  const bool bRot = b.HasRotation() && b.UpdateRotationMatrix();
  if (!aRot && !bRot) {
    ResetRotation();
    return;
  }
  const Matrix33 rotation = aRot && bRot ? a.m_rotation * b.m_rotation : (aRot ? a.m_rotation : b.m_rotation);
  SetRotationMatrix(rotation);
}

void DTransform::CombinePosition(const DTransform& a, const DTransform& b) {
  if (!a.HasPosition() && !b.HasPosition()) {
    ResetPosition();
    return;
  }
  Vector3 position;
  if (a.HasPosition()) {
    position =
        b.HasRotation() && b.UpdateRotationMatrix() ? b.m_rotation.Transform(a.m_position) : a.m_position;
  }
  if (b.HasPosition()) position += b.m_position;
  MoveTo(position);
}

void DTransform::CombineDeformation(const DTransform& a, const DTransform& b) {
  const bool aRot = a.HasRotation() && a.UpdateRotationMatrix();
  const bool aDef = a.HasDeformation() && a.UpdateDeformationMatrix();
  const bool bDef = b.HasDeformation() && b.UpdateDeformationMatrix();
  if (!aDef && !bDef) {
    ResetDeformation();
    return;
  }
  const bool nonUniform = (aDef && a.HasNUDeform()) || (bDef && b.HasNUDeform());
  SetDeformationMatrix(CombinedDeformation(a, aRot, aDef, b, bDef));
  m_flags = nonUniform ? (m_flags | kNUDeform) : (m_flags & ~kNUDeform);
}

void DTransform::Invert() {
  const Vector3 negated = -m_position;
  uint32_t written = m_flags & kHasPosition;  // which stamps to renew
  const Matrix33* linear = nullptr;           // the new linear part, for the position
  if (IsOnlyTotal()) {
    m_total = (m_flags & kInverseValid) ? m_inverse : m_total.Inverse();
    m_flags =
        (m_flags & ~(kRotationGroup | kDeformationGroup | kInverseValid)) | kTotalValid | kLinearPresent;
    linear = &m_total;
    written |= kLinearPresent;
  } else {
    const bool rot = HasRotation() && UpdateRotationMatrix();
    const bool def = HasDeformation() && UpdateDeformationMatrix();
    if (rot && def) {
      // (D x R)^-1 = transpose(R) x D^-1 = D' x R' with R' = transpose(R), D' = R' x D^-1 x R.
      const Matrix33 total =
          (m_flags & kInverseValid) ? m_inverse : m_rotation.Transposed() * m_deformation.Inverse();
      m_deformation = total * m_rotation;
      m_rotation.Transpose();
      m_total = total;
      m_flags = (m_flags & ~(kRotationGroup | kDeformationGroup | kInverseValid | kEulerParts)) |
                kRotationMatrixValid | kDeformationMatrixValid | kTotalValid | kLinearPresent | kNUDeform;
      linear = &m_total;
      written |= kLinearPresent;
    } else if (rot) {
      m_rotation.Transpose();
      m_flags = (m_flags & ~(kRotationGroup | kMatrixCaches)) | kHasRotation | kRotationMatrixValid;
      linear = &m_rotation;
      written |= kHasRotation;
    } else if (def) {
      if (m_flags & kInverseValid) {
        m_deformation = m_inverse;
      } else {
        m_deformation.Invert();
      }
      m_flags = (m_flags & ~(kDeformationGroup | kMatrixCaches)) | kHasDeformation | kDeformationMatrixValid;
      linear = &m_deformation;
      written |= kHasDeformation;
    }
  }
  if (HasPosition()) m_position = linear ? linear->Transform(negated) : negated;
  if (written == 0) return;
  const uint32_t now = NextStamp();
  m_lastChange = now;
  if (written & kHasPosition) m_positionStamp = now;
  if (written & kHasRotation) m_rotationStamp = now;
  if (written & kHasDeformation) m_deformationStamp = now;
  if (written & kLinearPresent) m_matrixStamp = now;
}

void DTransform::SetInverse(const DTransform& t) {
  if (&t == this) {
    Invert();
    return;
  }
  const bool rot = t.HasRotation() && t.UpdateRotationMatrix();
  const bool def = t.HasDeformation() && t.UpdateDeformationMatrix();
  const Vector3 negated = -t.m_position;
  uint32_t flags = 0;
  const Matrix33* linear = nullptr;
  if (def) {
    t.UpdateInverseMatrix();
    m_total = t.m_inverse;
    flags = kTotalValid | kLinearPresent;
    linear = &m_total;
  } else if (rot) {
    m_rotation = t.m_rotation.Transposed();
    flags = kHasRotation | kRotationMatrixValid;
    linear = &m_rotation;
  }
  if (t.HasPosition()) {
    m_position = linear ? linear->Transform(negated) : negated;
    flags |= kHasPosition;
  } else {
    m_position = Vector3();
  }
  m_flags = flags;
  RenewAllStamps();
}
