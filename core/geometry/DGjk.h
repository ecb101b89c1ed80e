#pragma once

#include "core/geometry/DSupportMap.h"
#include "core/geometry/DVec3.h"

// The Gilbert-Johnson-Keerthi algorithm on two placed convex shapes, after
// G. van den Bergen, "A Fast and Robust GJK Implementation for Collision
// Detection of Convex Objects" (1999) and "Collision Detection in
// Interactive 3D Environments" (2003): the distance query with its
// relative and absolute error bounds, and the incremental separating-axis
// intersection test (ISA-GJK), which stops at the first axis that
// separates the shapes and starts the next test of the same pair from it.
//
// Both search the Minkowski difference A - B, whose points are a - b for a
// in A and b in B: the shapes touch exactly when it holds the origin.
namespace qibo::gjk {

struct Settings {
  int maxIterations = 10;  // support-point steps, at least 1
  double relativeError = 1e-6;
  double absoluteError = 1e-6;  // world units
};

// One vertex of the search simplex: the difference point and the two
// support points it came from.
struct Vertex {
  DVec3 w, a, b;
};

// The simplex of up to four vertices whose closest point to the origin GJK
// tracks. Solve keeps only the vertices of the feature that closest point
// lies on, with its barycentric weights.
struct Simplex {
  int count = 0;
  Vertex v[4];
  double weight[4] = {1.0, 0.0, 0.0, 0.0};

  void Add(const Vertex& vertex) { v[count++] = vertex; }
  bool Contains(const DVec3& w, double tolerance2) const;
  // The closest point of the simplex to the origin; the zero vector, with
  // all four vertices kept, when a tetrahedron holds the origin.
  DVec3 Solve();
  // The witness points on A and B of the current closest point.
  DVec3 PointA() const;
  DVec3 PointB() const;

 private:
  DVec3 SolveSegment(int i, int j);
  DVec3 SolveTriangle(int i, int j, int k);
  DVec3 SolveTetrahedron();
  void Keep(int n, const int* indices, const double* weights);
};

struct Result {
  bool touching = false;  // within the absolute error of each other, or overlapping
  double distance = 0.0;  // 0 when touching
  DVec3 pointA, pointB;   // the closest points (when not touching)
  int iterations = 0;
  bool converged = false;  // false: the iteration bound ended the search
};

// The distance between A and B. start is a guess of the closest
// difference point (zero: the shapes' origins are used). False when a
// support point is not finite (nothing is answered).
bool Distance(const DSupportMap& a, const DSupportMap& b, const Settings& settings, const DVec3& start,
              Result& result);

// ISA-GJK: true when A and B touch or overlap. axis carries the last
// separating axis from one test of a pair to the next (zero: none yet);
// a separated pair whose shapes moved little answers after one step. When
// the iteration bound ends the search before an axis is found the shapes
// are taken to touch. simplex, when given, receives the final simplex (the
// start of a penetration query). False, too, when a support point is not
// finite.
bool Intersect(const DSupportMap& a, const DSupportMap& b, const Settings& settings, DVec3& axis,
               Simplex* simplex = nullptr);

}  // namespace qibo::gjk
