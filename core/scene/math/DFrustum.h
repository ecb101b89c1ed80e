#pragma once

#include <cstdint>
#include <vector>

#include "core/scene/math/Plane3.h"

class DTransform;

// The plane set used for culling: a list of half-spaces whose intersection
// is the visible volume (normals point outward), with a mask of the planes
// that are tested. Bit i of the mask stands for plane i.
class DFrustum {
 public:
  // Six planes, all active.
  DFrustum() : DFrustum(6) {}
  // n planes, all active.
  explicit DFrustum(int n);

  int NumPlanes() const { return static_cast<int>(m_planes.size()); }
  Plane3& operator[](int i) { return m_planes[static_cast<size_t>(i)]; }
  const Plane3& operator[](int i) const { return m_planes[static_cast<size_t>(i)]; }

  uint32_t GetMask() const { return m_mask; }
  void SetMask(uint32_t mask) { m_mask = mask; }
  // On sets bit i only for an existing plane; off, or i out of range,
  // clears it.
  DFrustum& EnablePlane(int i, bool on);
  bool HasPlane(int i) const { return i >= 0 && i < 32 && (m_mask >> i & 1u) != 0; }

  // Whether p lies inside every active plane.
  bool CheckVector(const Vector3& p) const;

  // Moves the planes by a transform: a plane that held for p holds for
  // t(p) afterwards. Inactive planes move too.
  DFrustum& Transform(const DTransform& t);
  // The same for p' = p x m + position.
  DFrustum& Transform(const Matrix33& m, const Vector3& position);
  // As Transform, keeping the normals of unit length under scaling.
  DFrustum& TransformBest(const Matrix33& m, const Vector3& position);
  // Kept for the interface: both leave the frustum as it is.
  DFrustum& Merge(const DFrustum&) { return *this; }
  DFrustum& Narrow(const DFrustum&) { return *this; }

 private:
  uint32_t m_mask = 0;
  std::vector<Plane3> m_planes;
};
