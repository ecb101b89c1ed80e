#include "core/scene/math/DFrustum.h"

#include "core/scene/math/DTransform.h"

DFrustum::DFrustum(int n) : m_planes(static_cast<size_t>(n > 0 ? n : 0)) {
  m_mask = n >= 32 ? 0xFFFFFFFFu : (n > 0 ? (1u << n) - 1u : 0u);
}

DFrustum& DFrustum::EnablePlane(int i, bool on) {
  if (i < 0 || i >= 32) return *this;
  if (on && i < NumPlanes())
    m_mask |= 1u << i;
  else
    m_mask &= ~(1u << i);
  return *this;
}

bool DFrustum::CheckVector(const Vector3& p) const {
  for (int i = 0; i < NumPlanes(); ++i)
    if (HasPlane(i) && !m_planes[static_cast<size_t>(i)].Contains(p)) return false;
  return true;
}

// A point q of the moved frame is p x m + t, so p = (q - t) x inverse(m):
// the plane n . p <= d becomes (inverse(m) n) . q <= d + (inverse(m) n) . t,
// with inverse(m) n the column product, that is n x transpose(inverse(m)).
DFrustum& DFrustum::Transform(const Matrix33& m, const Vector3& position) {
  const Matrix33 inverseTransposed = m.Inverse().Transposed();
  for (Plane3& plane : m_planes) {
    const Vector3 normal = inverseTransposed.Transform(plane.normal);
    plane.d += normal.Dot(position);
    plane.normal = normal;
  }
  return *this;
}

DFrustum& DFrustum::TransformBest(const Matrix33& m, const Vector3& position) {
  Transform(m, position);
  for (Plane3& plane : m_planes) {
    const float length = plane.normal.Length();
    if (length > qibo::kEpsilon && std::fabs(length - 1.0f) >= qibo::kEpsilon) {
      plane.normal = plane.normal / length;
      plane.d /= length;
    }
  }
  return *this;
}

DFrustum& DFrustum::Transform(const DTransform& t) {
  if (!t.UpdateTotalMatrix()) {
    // A move only: each plane keeps its normal and shifts along it.
    if (t.HasPosition())
      for (Plane3& plane : m_planes) plane.d += plane.normal.Dot(t.GetPosition());
    return *this;
  }
  return Transform(t._TotalMatrix(), t.HasPosition() ? t.GetPosition() : Vector3());
}
