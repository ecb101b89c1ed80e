#include "core/scene/math/DTransform.h"

#include <bit>
#include <cmath>
#include <numbers>

using qibo::kEpsilon;

uint32_t DTransform::timeid = 0;
uint64_t DTransform::writes = 0;
const DTransform DTransform::I;

namespace {

// Applies `op` in place to `count` vectors `stride` bytes apart (0: packed). Each caller's op
// holds its matrix in locals and inlines into a tight loop.
template <class Op>
void ApplyStrided(Vector3* first, int32_t count, int32_t stride, const Op& op) {
  if (first == nullptr || count <= 0) return;
  if (stride == 0 || stride == static_cast<int32_t>(sizeof(Vector3))) {
    for (int32_t i = 0; i < count; ++i) first[i] = op(first[i]);
    return;
  }
  char* p = reinterpret_cast<char*>(first);
  for (int32_t i = 0; i < count; ++i, p += stride) {
    Vector3* v = reinterpret_cast<Vector3*>(p);
    *v = op(*v);
  }
}

template <class Op>
void ApplyPointers(Vector3* const* items, int32_t count, const Op& op) {
  if (items == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    if (items[i] != nullptr) *items[i] = op(*items[i]);
  }
}

// p x m + t with the matrix copied into locals, so stores through the array cannot alias it.
struct AffineOp {
  float m00, m01, m02, m10, m11, m12, m20, m21, m22, tx, ty, tz;
  AffineOp(const Matrix33& m, const Vector3& t)
      : m00(m.m[0][0]),
        m01(m.m[0][1]),
        m02(m.m[0][2]),
        m10(m.m[1][0]),
        m11(m.m[1][1]),
        m12(m.m[1][2]),
        m20(m.m[2][0]),
        m21(m.m[2][1]),
        m22(m.m[2][2]),
        tx(t.x),
        ty(t.y),
        tz(t.z) {}
  Vector3 operator()(const Vector3& p) const {
    return {p.x * m00 + p.y * m10 + p.z * m20 + tx, p.x * m01 + p.y * m11 + p.z * m21 + ty,
            p.x * m02 + p.y * m12 + p.z * m22 + tz};
  }
};

struct NormalizedLinearOp {
  AffineOp linear;
  explicit NormalizedLinearOp(const Matrix33& m) : linear(m, Vector3()) {}
  Vector3 operator()(const Vector3& n) const { return linear(n).Normalized(); }
};

struct TranslateOp {
  Vector3 t;
  Vector3 operator()(const Vector3& p) const { return p + t; }
};

// (p - t) x m
struct BackAffineOp {
  AffineOp linear;
  Vector3 t;
  BackAffineOp(const Matrix33& m, const Vector3& pos) : linear(m, Vector3()), t(pos) {}
  Vector3 operator()(const Vector3& p) const { return linear(p - t); }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Copying and resets

void DTransform::CopyFrom(const DTransform& t) {
  m_flags = t.m_flags;
  m_position = t.m_position;
  m_az = t.m_az;
  m_el = t.m_el;
  m_tw = t.m_tw;
  m_quaternion = t.m_quaternion;
  m_rotation = t.m_rotation;
  m_scale = t.m_scale;
  m_scaleNU = t.m_scaleNU;
  m_deformation = t.m_deformation;
  m_total = t.m_total;
  m_inverse = t.m_inverse;
  // A copy is a new change: it never claims its source's stamps.
  RenewAllStamps();
}

void DTransform::Reset() {
  m_flags = 0;
  m_position = Vector3();
  RenewAllStamps();
}

void DTransform::ResetPosition() {
  m_flags &= ~kHasPosition;
  m_position = Vector3();
  m_positionStamp = m_lastChange = NextStamp();
}

void DTransform::ResetMatrix() {
  m_flags &= kHasPosition;
  m_deformationStamp = m_rotationStamp = m_matrixStamp = m_lastChange = NextStamp();
}

void DTransform::ResetRotation() {
  if (IsOnlyTotal()) SplitTotal();
  m_flags &= ~(kHasRotation | kRotationGroup | kMatrixCaches | kEulerParts);
  m_rotationStamp = m_matrixStamp = m_lastChange = NextStamp();
}

void DTransform::ResetDeformation() {
  if (IsOnlyTotal()) {
    // Keep the rows' directions as the rotation, drop their lengths.
    m_rotation = m_total;
    m_rotation.NormalizeRows();
    m_flags = (m_flags & ~kEulerParts) | kRotationMatrixValid | kHasRotation;
  }
  m_flags &= ~(kHasDeformation | kDeformationGroup | kNUDeform | kMatrixCaches);
  m_deformationStamp = m_matrixStamp = m_lastChange = NextStamp();
}

// ---------------------------------------------------------------------------------------------
// Derivations. They change cached values and flags, never stamps.

void DTransform::SplitTotal() const {
  const Vector3 r0 = m_total.Row(0), r1 = m_total.Row(1), r2 = m_total.Row(2);
  const uint32_t keep =
      m_flags & ~(kRotationGroup | kDeformationGroup | kNUDeform | kLinearPresent | kEulerParts);
  const float len2[3] = {r0.SquaredLength(), r1.SquaredLength(), r2.SquaredLength()};
  const bool orthogonal = std::fabs(r0.Dot(r1)) < kEpsilon && std::fabs(r1.Dot(r2)) < kEpsilon &&
                          std::fabs(r0.Dot(r2)) < kEpsilon;
  // A zero row has no direction to keep: such a matrix stays a general deformation.
  if (orthogonal && len2[0] > 0.0f && len2[1] > 0.0f && len2[2] > 0.0f) {
    m_rotation = m_total;
    if (std::fabs(len2[1] - len2[0]) < kEpsilon && std::fabs(len2[2] - len2[0]) < kEpsilon) {
      if (std::fabs(len2[0] - 1.0f) < kEpsilon) {
        m_flags = keep | kRotationMatrixValid | kHasRotation;
        return;
      }
      m_scale = std::sqrt(len2[0]);
      m_rotation /= m_scale;
      m_flags = keep | kScaleValid | kRotationMatrixValid | kLinearPresent;
      return;
    }
    m_scaleNU = Vector3(1.0f, 1.0f, 1.0f);
    for (int i = 0; i < 3; ++i) {
      if (std::fabs(len2[i] - 1.0f) >= kEpsilon) {
        const float len = std::sqrt(len2[i]);
        m_scaleNU[i] = len;
        m_rotation.SetRow(i, m_rotation.Row(i) / len);
      }
    }
    m_flags = keep | kScaleNUValid | kRotationMatrixValid | kLinearPresent | kNUDeform;
    return;
  }
  m_deformation = m_total;
  m_flags = keep | kDeformationMatrixValid | kHasDeformation | kNUDeform;
}

int DTransform::PruneEuler() const {
  if (std::fabs(m_az) < kEpsilon) m_flags &= ~kAzPart;
  if (std::fabs(m_el) < kEpsilon) m_flags &= ~kElPart;
  if (std::fabs(m_tw) < kEpsilon) m_flags &= ~kTwPart;
  const uint32_t parts = m_flags & kEulerParts;
  if (parts == 0) m_flags &= ~kHasRotation;
  return std::popcount(parts);
}

// Cosine and sine of the angles. With one angle taking part the rotation is that single-axis
// rotation; with two or three, all stored angles count, so an azimuth kept while looking
// straight up or down still places the right axis.
void DTransform::EulerCosSin(float& ca, float& sa, float& ce, float& se, float& ct, float& st) const {
  const uint32_t parts = m_flags & kEulerParts;
  const bool single = std::popcount(parts) == 1;
  ca = ce = ct = 1.0f;
  sa = se = st = 0.0f;
  if (!single || parts == kAzPart) {
    ca = std::cos(m_az);
    sa = std::sin(m_az);
  }
  if (!single || parts == kElPart) {
    ce = std::cos(m_el);
    se = std::sin(m_el);
  }
  if (!single || parts == kTwPart) {
    ct = std::cos(m_tw);
    st = std::sin(m_tw);
  }
}

bool DTransform::UpdateRotationMatrix() const {
  if (m_flags & kRotationMatrixValid) return HasRotation();
  if (IsOnlyTotal()) {
    SplitTotal();
    if (m_flags & kRotationMatrixValid) return HasRotation();
  }
  if (!HasRotation()) {
    m_rotation.SetIdentity();
  } else if (m_flags & kQuaternionValid) {
    m_rotation = m_quaternion.ToMatrix();
  } else if (m_flags & kEulerValid) {
    if (PruneEuler() == 0) {
      m_rotation.SetIdentity();
    } else {
      float ca, sa, ce, se, ct, st;
      EulerCosSin(ca, sa, ce, se, ct, st);
      m_rotation = Matrix33::FromEulerCosSin(ca, sa, ce, se, ct, st);
    }
  } else if (m_flags & kDirectionValid) {
    const Vector3 d = m_rotation.Row(2);
    const float h = d.x * d.x + d.z * d.z;
    Vector3 right;
    if (h > kEpsilon) {
      right = Vector3(d.z, 0.0f, -d.x) / std::sqrt(h);
    } else {
      // Looking straight up or down: keep the current right axis if it is a unit vector.
      right = m_rotation.Row(0);
      if (std::fabs(right.SquaredLength() - 1.0f) >= kEpsilon) right = Vector3(1.0f, 0.0f, 0.0f);
    }
    m_rotation.SetRow(0, right);
    m_rotation.SetRow(1, d.Cross(right));
  } else {
    m_rotation.SetIdentity();
    m_flags &= ~kHasRotation;
  }
  m_flags |= kRotationMatrixValid;
  return HasRotation();
}

bool DTransform::UpdateQuaternion() const {
  if (m_flags & kQuaternionValid) return HasRotation();
  if (IsOnlyTotal()) SplitTotal();
  if (!HasRotation()) {
    m_quaternion.SetIdentity();
  } else if (m_flags & kRotationMatrixValid) {
    m_quaternion = Quaternion::FromMatrix(m_rotation);
  } else if (m_flags & kEulerValid) {
    const int parts = PruneEuler();
    const uint32_t bits = m_flags & kEulerParts;
    if (parts == 0) {
      m_quaternion.SetIdentity();
    } else if (parts == 1) {
      m_quaternion = bits == kAzPart   ? Quaternion::RotationAz(m_az)
                     : bits == kElPart ? Quaternion::RotationEl(m_el)
                                       : Quaternion::RotationTw(m_tw);
    } else {
      m_quaternion = Quaternion::FromEuler(m_az, m_el, m_tw);
    }
  } else if (m_flags & kDirectionValid) {
    UpdateRotationMatrix();
    m_quaternion = Quaternion::FromMatrix(m_rotation);
  } else {
    m_quaternion.SetIdentity();
    m_flags &= ~kHasRotation;
  }
  m_flags |= kQuaternionValid;
  return HasRotation();
}

bool DTransform::UpdateDirection() const {
  if (m_flags & (kDirectionValid | kRotationMatrixValid)) return HasRotation();
  if (IsOnlyTotal()) {
    SplitTotal();
    if (m_flags & kRotationMatrixValid) return HasRotation();
  }
  if (HasRotation() && (m_flags & kQuaternionValid)) return UpdateRotationMatrix();
  if (HasRotation() && (m_flags & kEulerValid)) {
    PruneEuler();
    float ca, sa, ce, se, ct, st;
    EulerCosSin(ca, sa, ce, se, ct, st);
    m_rotation.SetRow(2, Vector3(sa * ce, -se, ca * ce));
    m_flags |= kDirectionValid;
    return HasRotation();
  }
  m_rotation.SetIdentity();
  m_flags = (m_flags & ~kHasRotation) | kRotationMatrixValid;
  return false;
}

bool DTransform::UpdateEuler() const {
  if (m_flags & kEulerValid) return HasRotation();
  if (IsOnlyTotal()) SplitTotal();
  if (HasRotation() && (m_flags & (kRotationMatrixValid | kQuaternionValid))) {
    UpdateRotationMatrix();
    const auto& m = m_rotation.m;
    // atan2 forms of El = -asin(m21) and Tw = asin(row0 . u): same values, accurate near +-pi/2.
    const float sinEl = -m[2][1];
    m_el = std::atan2(sinEl, std::sqrt(m[2][0] * m[2][0] + m[2][2] * m[2][2]));
    m_az = std::atan2(m[2][0], m[2][2]);
    const Vector3 u(sinEl * std::sin(m_az), std::cos(m_el), sinEl * std::cos(m_az));  // untwisted up axis
    float tw = std::atan2(m_rotation.Row(0).Dot(u), m_rotation.Row(1).Dot(u));
    if (tw < -0.5f * std::numbers::pi_v<float>) tw += 2.0f * std::numbers::pi_v<float>;
    m_tw = tw;
    m_flags |= kEulerParts;
  } else if (HasRotation() && (m_flags & kDirectionValid)) {
    // Derive the whole matrix from the direction first: the angles below drop the azimuth
    // near the vertical, so they must not become the source of the other representations.
    UpdateRotationMatrix();
    const Vector3 d = m_rotation.Row(2);
    m_el = std::atan2(-d.y, std::sqrt(d.x * d.x + d.z * d.z));
    m_flags |= kElPart;
    if (d.y < 0.999f) {
      m_az = std::atan2(d.x, d.z);
      m_flags |= kAzPart;
    } else {
      m_flags &= ~kAzPart;  // straight up: azimuth is undefined, the stored value stays
    }
    m_tw = 0.0f;
    m_flags &= ~kTwPart;
  } else {
    m_az = m_el = m_tw = 0.0f;
    m_flags &= ~(kEulerParts | kHasRotation);
  }
  m_flags |= kEulerValid;
  return HasRotation();
}

bool DTransform::UpdateDeformationMatrix() const {
  if (m_flags & kDeformationMatrixValid) return HasDeformation();
  if (IsOnlyTotal()) {
    SplitTotal();
    if (m_flags & kDeformationMatrixValid) return HasDeformation();
  }
  m_flags &= ~kNUDeform;
  if (!HasDeformation()) {
    m_deformation.SetIdentity();
  } else if (m_flags & kScaleValid) {
    m_deformation = Matrix33::Diagonal(m_scale, m_scale, m_scale);
    if (std::fabs(m_scale - 1.0f) < kEpsilon) m_flags &= ~kHasDeformation;
  } else if (m_flags & kScaleNUValid) {
    const Vector3& s = m_scaleNU;
    m_deformation = Matrix33::Diagonal(s.x, s.y, s.z);
    if (std::fabs(s.x - s.y) >= kEpsilon || std::fabs(s.x - s.z) >= kEpsilon) {
      m_flags |= kNUDeform;
    } else if (std::fabs(s.x - 1.0f) < kEpsilon) {
      m_flags &= ~kHasDeformation;
    }
  } else {
    m_deformation.SetIdentity();
    m_flags &= ~kHasDeformation;
  }
  m_flags |= kDeformationMatrixValid;
  return HasDeformation();
}

bool DTransform::DeriveTotalMatrix() const {
  const bool rot = HasRotation() && UpdateRotationMatrix();
  const bool def = HasDeformation() && UpdateDeformationMatrix();
  if (rot && def) {
    if (m_flags & kScaleValid) {
      m_total = m_rotation * m_scale;  // diagonal deformations scale the rows: no full product
    } else if (m_flags & kScaleNUValid) {
      m_total = m_rotation;
      for (int i = 0; i < 3; ++i) m_total.SetRow(i, m_total.Row(i) * m_scaleNU[i]);
    } else {
      m_total = m_deformation * m_rotation;
    }
  } else if (rot) {
    m_total = m_rotation;
  } else if (def) {
    m_total = m_deformation;
  } else {
    m_total.SetIdentity();
  }
  m_flags |= kTotalValid;
  return rot || def;
}

bool DTransform::DeriveInverseMatrix() const {
  if (IsOnlyTotal()) {
    m_inverse = m_total.Inverse();
    m_flags |= kInverseValid;
    return HasInverseMatrix();
  }
  const bool rot = HasRotation() && UpdateRotationMatrix();
  const bool def = HasDeformation() && UpdateDeformationMatrix();
  if (rot && def) {
    UpdateTotalMatrix();
    m_inverse = m_total.Inverse();
  } else if (def) {
    m_inverse = m_deformation.Inverse();
  } else if (rot) {
    m_inverse = m_rotation.Transposed();
  } else {
    m_inverse.SetIdentity();
  }
  m_flags |= kInverseValid;
  return rot || def;
}

// ---------------------------------------------------------------------------------------------
// Reference getters

Vector3& DTransform::GetPositionRef() {
  WritePosition();
  return m_position;
}

Matrix33& DTransform::GetDeformationMatrixRef() {
  UpdateDeformationMatrix();
  WriteDeformation(kDeformationMatrixValid);
  return m_deformation;
}

Matrix33& DTransform::GetRotationMatrixRef() {
  UpdateRotationMatrix();
  WriteRotation(kRotationMatrixValid);
  return m_rotation;
}

Quaternion& DTransform::GetQuaternionRef() {
  UpdateQuaternion();
  WriteRotation(kQuaternionValid);
  return m_quaternion;
}

Vector3& DTransform::GetDirectionRef() {
  UpdateDirection();
  WriteRotation(kDirectionValid);
  return m_rotation.RowRef(2);
}

float& DTransform::GetAzRef() {
  UpdateEuler();
  WriteRotation(kEulerValid | kAzPart);
  return m_az;
}

float& DTransform::GetElRef() {
  UpdateEuler();
  WriteRotation(kEulerValid | kElPart);
  return m_el;
}

float& DTransform::GetTwRef() {
  UpdateEuler();
  WriteRotation(kEulerValid | kTwPart);
  return m_tw;
}

Matrix33& DTransform::GetTotalMatrixRef() {
  UpdateTotalMatrix();
  WriteTotal();
  return m_total;
}

// ---------------------------------------------------------------------------------------------
// Relative writes

void DTransform::MoveRight(const double& d) {
  UpdateRotationMatrix();
  m_position += m_rotation.Row(0) * static_cast<float>(d);
  WritePosition();
}

void DTransform::MoveUp(const double& d) {
  UpdateRotationMatrix();
  m_position += m_rotation.Row(1) * static_cast<float>(d);
  WritePosition();
}

void DTransform::MoveForward(const double& d) {
  UpdateDirection();
  m_position += m_rotation.Row(2) * static_cast<float>(d);
  WritePosition();
}

void DTransform::RotateToAz(const double& a) {
  SetRotationMatrix(Matrix33::RotationAz(static_cast<float>(a)));
}
void DTransform::RotateToEl(const double& a) {
  SetRotationMatrix(Matrix33::RotationEl(static_cast<float>(a)));
}
void DTransform::RotateToTw(const double& a) {
  SetRotationMatrix(Matrix33::RotationTw(static_cast<float>(a)));
}

void DTransform::RotateByAz(const double& a) {
  UpdateRotationMatrix();
  m_rotation *= Matrix33::RotationAz(static_cast<float>(a));
  WriteRotation(kRotationMatrixValid);
}

void DTransform::RotateByEl(const double& a) {
  UpdateRotationMatrix();
  m_rotation *= Matrix33::RotationEl(static_cast<float>(a));
  WriteRotation(kRotationMatrixValid);
}

void DTransform::RotateByTw(const double& a) {
  UpdateRotationMatrix();
  m_rotation *= Matrix33::RotationTw(static_cast<float>(a));
  WriteRotation(kRotationMatrixValid);
}

void DTransform::RotateQuatByAz(const double& a) {
  UpdateQuaternion();
  m_quaternion *= Quaternion::RotationAz(static_cast<float>(a));
  WriteRotation(kQuaternionValid);
}

void DTransform::RotateQuatByEl(const double& a) {
  UpdateQuaternion();
  m_quaternion *= Quaternion::RotationEl(static_cast<float>(a));
  WriteRotation(kQuaternionValid);
}

void DTransform::RotateQuatByTw(const double& a) {
  UpdateQuaternion();
  m_quaternion *= Quaternion::RotationTw(static_cast<float>(a));
  WriteRotation(kQuaternionValid);
}

void DTransform::SetDirection(const Vector3& v) {
  const float len = v.Length();
  if (!(len > 0.0f)) return;  // no direction to look along
  PrepareRotationWrite();
  m_rotation.SetRow(2, v / len);
  WriteRotation(kDirectionValid);
}

void DTransform::ScaleBy(const double& s) {
  PrepareDeformationWrite();
  const float f = static_cast<float>(s);
  if (m_flags & kScaleValid) {
    m_scale *= f;
    WriteDeformation(kScaleValid);
  } else if (m_flags & kScaleNUValid) {
    m_scaleNU *= f;
    WriteDeformation(kScaleNUValid);
  } else if (!(m_flags & kDeformationMatrixValid)) {
    m_scale = f;
    WriteDeformation(kScaleValid);
  } else {
    // A general deformation scales as a whole, not just its diagonal.
    m_deformation = m_deformation * f;
    WriteDeformation(kDeformationMatrixValid);
  }
}

void DTransform::ScaleBy(const Vector3& v) {
  PrepareDeformationWrite();
  if (m_flags & kScaleNUValid) {
    m_scaleNU = Vector3(m_scaleNU.x * v.x, m_scaleNU.y * v.y, m_scaleNU.z * v.z);
    WriteDeformation(kScaleNUValid);
  } else if (m_flags & kScaleValid) {
    m_scaleNU = v * m_scale;
    WriteDeformation(kScaleNUValid);
  } else if (!(m_flags & kDeformationMatrixValid)) {
    m_scaleNU = v;
    WriteDeformation(kScaleNUValid);
  } else {
    // diag(v) x D: the new factors scale the local axes before the general deformation.
    for (int i = 0; i < 3; ++i) m_deformation.SetRow(i, m_deformation.Row(i) * v[i]);
    WriteDeformation(kDeformationMatrixValid);
  }
}

// ---------------------------------------------------------------------------------------------
// Array transforms

void DTransform::TransformPoints(Vector3* points, int32_t count, int32_t stride) const {
  if (UpdateTotalMatrix()) {
    ApplyStrided(points, count, stride, AffineOp(m_total, m_position));
  } else if (HasPosition()) {
    ApplyStrided(points, count, stride, TranslateOp{m_position});
  }
}

void DTransform::TransformPoints(Vector3* const* points, int32_t count) const {
  if (UpdateTotalMatrix()) {
    ApplyPointers(points, count, AffineOp(m_total, m_position));
  } else if (HasPosition()) {
    ApplyPointers(points, count, TranslateOp{m_position});
  }
}

void DTransform::TransformNormals(Vector3* normals, int32_t count, int32_t stride) const {
  if (HasRotation() && UpdateRotationMatrix()) ApplyStrided(normals, count, stride, AffineOp(m_rotation, {}));
}

void DTransform::TransformNormals(Vector3* const* normals, int32_t count) const {
  if (HasRotation() && UpdateRotationMatrix()) ApplyPointers(normals, count, AffineOp(m_rotation, {}));
}

void DTransform::TransformNormalsBest(Vector3* normals, int32_t count, int32_t stride) const {
  UpdateTotalMatrix();
  if (HasDeformation()) {
    ApplyStrided(normals, count, stride, NormalizedLinearOp(m_total));
  } else if (HasRotation() && UpdateRotationMatrix()) {
    ApplyStrided(normals, count, stride, AffineOp(m_rotation, {}));
  }
}

void DTransform::TransformNormalsBest(Vector3* const* normals, int32_t count) const {
  UpdateTotalMatrix();
  if (HasDeformation()) {
    ApplyPointers(normals, count, NormalizedLinearOp(m_total));
  } else if (HasRotation() && UpdateRotationMatrix()) {
    ApplyPointers(normals, count, AffineOp(m_rotation, {}));
  }
}

void DTransform::BackTransformPoints(Vector3* points, int32_t count, int32_t stride) const {
  if (UpdateInverseMatrix()) {
    ApplyStrided(points, count, stride, BackAffineOp(m_inverse, m_position));
  } else if (HasPosition()) {
    ApplyStrided(points, count, stride, TranslateOp{-m_position});
  }
}

void DTransform::BackTransformPoints(Vector3* const* points, int32_t count) const {
  if (UpdateInverseMatrix()) {
    ApplyPointers(points, count, BackAffineOp(m_inverse, m_position));
  } else if (HasPosition()) {
    ApplyPointers(points, count, TranslateOp{-m_position});
  }
}

void DTransform::BackTransformNormals(Vector3* normals, int32_t count, int32_t stride) const {
  if (HasRotation() && UpdateRotationMatrix()) {
    ApplyStrided(normals, count, stride, AffineOp(m_rotation.Transposed(), {}));
  }
}

void DTransform::BackTransformNormals(Vector3* const* normals, int32_t count) const {
  if (HasRotation() && UpdateRotationMatrix()) {
    ApplyPointers(normals, count, AffineOp(m_rotation.Transposed(), {}));
  }
}

void DTransform::BackTransformNormalsBest(Vector3* normals, int32_t count, int32_t stride) const {
  BackTransformNormals(normals, count, stride);
}

void DTransform::BackTransformNormalsBest(Vector3* const* normals, int32_t count) const {
  BackTransformNormals(normals, count);
}
