#pragma once

#include <cstdint>

#include "core/scene/math/Vector3.h"

// Result of every shape test.
enum intersect_t : uint32_t {
  kIntersectUnknown = 0,  // not determined (the test is not supported here)
  kIntersectOutside = 1,  // outside, no contact
  kIntersectInside = 2,   // completely inside
  kIntersectPartly = 3,   // intersecting, partly inside
};

// A half-space: the points p with normal . p <= d are inside; a point with
// normal . p > d lies in front of the plane, outside.
struct Plane3 {
  Vector3 normal;
  float d = 0.0f;

  float Distance(const Vector3& p) const { return normal.Dot(p) - d; }
  bool Contains(const Vector3& p) const { return normal.Dot(p) <= d; }
};

// An infinite line through point along direction.
struct Line3 {
  Vector3 point;
  Vector3 direction;
};
