#pragma once

#include "core/geometry/DGjk.h"

// The expanding polytope algorithm (G. van den Bergen, "Proximity Queries
// and Penetration Depth Computation on 3D Game Objects", 2001): from the
// simplex with which GJK found two shapes touching, the polytope inside
// the Minkowski difference A - B is grown towards the boundary point
// nearest the origin. That point gives the smallest translation that parts
// the shapes and a deepest point on each.
namespace qibo::gjk {

struct Penetration {
  DVec3 normal;  // unit, from A towards B: moving A by -normal x depth parts them
  double depth = 0.0;
  DVec3 pointA, pointB;  // the deepest points: pointA - pointB = normal x depth
};

// False when no polytope with volume can be built around the origin (the
// shapes only graze each other, or a support point is not finite); the
// caller then treats the contact as one of no depth.
bool Penetrate(const DSupportMap& a, const DSupportMap& b, const Settings& settings, const Simplex& start,
               Penetration& result);

}  // namespace qibo::gjk
