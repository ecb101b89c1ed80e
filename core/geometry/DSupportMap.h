#pragma once

#include "core/geometry/DVec3.h"
#include "core/scene/math/DTransform.h"

class CTShape;

// A shape placed in world space for the narrow phase: first its own shape
// transform, then its owner's world transform, as the shape is drawn. The
// support mapping of the placed shape is that of the shape with the
// direction taken into shape space and the answer taken back out:
//   support(d) = s(M d) M + t   for world points p M + t,
// so rotations, scales and shears of either transform are all honoured.
// The shape is not owned and must outlive the map.
class DSupportMap {
 public:
  // False (and nothing placed) when the shape is null or the combined
  // placement is not finite.
  bool Set(CTShape* shape, const DTransform& world);

  // The world point of the placed shape farthest along d (any length but
  // zero; zero is taken as +X). Not finite when the shape answers so.
  DVec3 Support(const DVec3& d) const;
  // The world-axis box around the placed shape, from six support points.
  void Bounds(DVec3& low, DVec3& high) const;
  // The world position of the shape's origin: a point of the shape for
  // every primitive, the start of GJK's search.
  const DVec3& Origin() const { return m_t; }
  // Axis i (0..2) of shape space in world space, scaled as the placement
  // scales it.
  DVec3 Axis(int i) const { return DVec3(m_m[i][0], m_m[i][1], m_m[i][2]); }

 private:
  CTShape* m_shape = nullptr;
  double m_m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  DVec3 m_t;
};
