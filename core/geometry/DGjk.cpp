#include "core/geometry/DGjk.h"

#include <algorithm>

namespace qibo::gjk {

namespace {

// The closest point of segment ab to the origin, with its weights.
DVec3 ClosestOnSegment(const DVec3& a, const DVec3& b, double w[2]) {
  const DVec3 ab = b - a;
  const double length2 = ab.Length2();
  const double t = length2 > 0.0 ? -a.Dot(ab) / length2 : 0.0;
  if (t <= 0.0) {
    w[0] = 1.0;
    w[1] = 0.0;
    return a;
  }
  if (t >= 1.0) {
    w[0] = 0.0;
    w[1] = 1.0;
    return b;
  }
  w[0] = 1.0 - t;
  w[1] = t;
  return a + ab * t;
}

// The closest point of triangle abc to the origin by its Voronoi regions
// (C. Ericson, "Real-Time Collision Detection", 5.1.5), with its weights.
// A triangle without area is answered by the nearest of its edges.
DVec3 ClosestOnTriangle(const DVec3& a, const DVec3& b, const DVec3& c, double w[3]) {
  const DVec3 ab = b - a, ac = c - a;
  const double d1 = -ab.Dot(a), d2 = -ac.Dot(a);
  w[0] = w[1] = w[2] = 0.0;
  if (d1 <= 0.0 && d2 <= 0.0) {
    w[0] = 1.0;
    return a;
  }
  const double d3 = -ab.Dot(b), d4 = -ac.Dot(b);
  if (d3 >= 0.0 && d4 <= d3) {
    w[1] = 1.0;
    return b;
  }
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0 && d1 - d3 > 0.0) {
    const double t = d1 / (d1 - d3);
    w[0] = 1.0 - t;
    w[1] = t;
    return a + ab * t;
  }
  const double d5 = -ab.Dot(c), d6 = -ac.Dot(c);
  if (d6 >= 0.0 && d5 <= d6) {
    w[2] = 1.0;
    return c;
  }
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0 && d2 - d6 > 0.0) {
    const double t = d2 / (d2 - d6);
    w[0] = 1.0 - t;
    w[2] = t;
    return a + ac * t;
  }
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0.0 && d4 - d3 >= 0.0 && d5 - d6 >= 0.0 && (d4 - d3) + (d5 - d6) > 0.0) {
    const double t = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    w[1] = 1.0 - t;
    w[2] = t;
    return b + (c - b) * t;
  }
  const double sum = va + vb + vc;
  if (sum > 0.0 && std::isfinite(sum)) {
    w[1] = vb / sum;
    w[2] = vc / sum;
    w[0] = 1.0 - w[1] - w[2];
    return a + ab * w[1] + ac * w[2];
  }
  // Degenerate: the best of the three edges.
  const DVec3* corner[3] = {&a, &b, &c};
  double best = -1.0;
  DVec3 closest;
  for (int e = 0; e < 3; ++e) {
    double ew[2];
    const DVec3 p = ClosestOnSegment(*corner[e], *corner[(e + 1) % 3], ew);
    if (best >= 0.0 && p.Length2() >= best) continue;
    best = p.Length2();
    closest = p;
    w[0] = w[1] = w[2] = 0.0;
    w[e] = ew[0];
    w[(e + 1) % 3] = ew[1];
  }
  return closest;
}

// Whether the origin lies on the other side of plane abc than d; a flat
// tetrahedron counts every face as facing the origin.
bool FacesOrigin(const DVec3& a, const DVec3& b, const DVec3& c, const DVec3& d) {
  const DVec3 n = (b - a).Cross(c - a);
  const double signOrigin = -a.Dot(n);
  const double signD = (d - a).Dot(n);
  const double scale = n.Length2() * std::max((d - a).Length2(), a.Length2());
  if (signD * signD <= 1e-24 * scale) return true;
  return signOrigin * signD < 0.0;
}

}  // namespace

bool Simplex::Contains(const DVec3& w, double tolerance2) const {
  for (int i = 0; i < count; ++i)
    if ((v[i].w - w).Length2() <= tolerance2) return true;
  return false;
}

void Simplex::Keep(int n, const int* indices, const double* weights) {
  Vertex kept[4];
  double keptWeight[4];
  int m = 0;
  for (int i = 0; i < n; ++i) {
    if (weights[i] <= 0.0 && n > 1) continue;  // the closest point lies on the others
    kept[m] = v[indices[i]];
    keptWeight[m] = weights[i];
    ++m;
  }
  if (m == 0) {  // every weight was 0: keep the first vertex
    kept[0] = v[indices[0]];
    keptWeight[0] = 1.0;
    m = 1;
  }
  for (int i = 0; i < m; ++i) {
    v[i] = kept[i];
    weight[i] = keptWeight[i];
  }
  count = m;
}

DVec3 Simplex::SolveSegment(int i, int j) {
  double w[2];
  const DVec3 p = ClosestOnSegment(v[i].w, v[j].w, w);
  const int indices[2] = {i, j};
  Keep(2, indices, w);
  return p;
}

DVec3 Simplex::SolveTriangle(int i, int j, int k) {
  double w[3];
  const DVec3 p = ClosestOnTriangle(v[i].w, v[j].w, v[k].w, w);
  const int indices[3] = {i, j, k};
  Keep(3, indices, w);
  return p;
}

DVec3 Simplex::SolveTetrahedron() {
  // Faces with the vertex opposite each.
  static constexpr int kFaces[4][4] = {{0, 1, 2, 3}, {0, 2, 3, 1}, {0, 3, 1, 2}, {1, 3, 2, 0}};
  double best = -1.0;
  DVec3 closest;
  int bestFace = -1;
  double bestWeights[3] = {1.0, 0.0, 0.0};
  for (int f = 0; f < 4; ++f) {
    const int* face = kFaces[f];
    if (!FacesOrigin(v[face[0]].w, v[face[1]].w, v[face[2]].w, v[face[3]].w)) continue;
    double w[3];
    const DVec3 p = ClosestOnTriangle(v[face[0]].w, v[face[1]].w, v[face[2]].w, w);
    if (best >= 0.0 && p.Length2() >= best) continue;
    best = p.Length2();
    closest = p;
    bestFace = f;
    std::copy(w, w + 3, bestWeights);
  }
  if (bestFace < 0) {  // the origin is inside
    std::fill(weight, weight + 4, 0.25);
    return DVec3();
  }
  Keep(3, kFaces[bestFace], bestWeights);
  return closest;
}

DVec3 Simplex::Solve() {
  switch (count) {
    case 1:
      weight[0] = 1.0;
      return v[0].w;
    case 2:
      return SolveSegment(0, 1);
    case 3:
      return SolveTriangle(0, 1, 2);
    case 4:
      return SolveTetrahedron();
    default:
      return DVec3();
  }
}

DVec3 Simplex::PointA() const {
  DVec3 p;
  for (int i = 0; i < count; ++i) p += v[i].a * weight[i];
  return p;
}

DVec3 Simplex::PointB() const {
  DVec3 p;
  for (int i = 0; i < count; ++i) p += v[i].b * weight[i];
  return p;
}

namespace {

// A start direction that is a direction: the guess, else the line between
// the shapes' origins, else +X.
DVec3 StartDirection(const DSupportMap& a, const DSupportMap& b, const DVec3& guess) {
  if (guess.IsFinite() && guess.Length2() > 0.0) return guess;
  const DVec3 between = a.Origin() - b.Origin();
  return between.Length2() > 0.0 ? between : DVec3(1.0, 0.0, 0.0);
}

// The vertex of A - B farthest along -v.
Vertex SupportVertex(const DSupportMap& a, const DSupportMap& b, const DVec3& v) {
  Vertex p;
  p.a = a.Support(-v);
  p.b = b.Support(v);
  p.w = p.a - p.b;
  return p;
}

// The shapes touch when the closest point is within the absolute error of
// the origin, or within the relative error of the simplex's scale (single
// precision support points cannot place the origin closer than that).
bool AtOrigin(double vv, double maxW2, const Settings& settings) {
  return vv <= settings.absoluteError * settings.absoluteError ||
         vv <= settings.relativeError * settings.relativeError * maxW2;
}

}  // namespace

bool Distance(const DSupportMap& a, const DSupportMap& b, const Settings& settings, const DVec3& start,
              Result& result) {
  result = Result();
  Simplex simplex;
  DVec3 v = StartDirection(a, b, start);
  bool onSimplex = false;  // v is the closest point of the simplex
  double maxW2 = 0.0;
  const int bound = std::max(settings.maxIterations, 1);
  for (int step = 1; step <= bound; ++step) {
    result.iterations = step;
    const Vertex p = SupportVertex(a, b, v);
    if (!p.w.IsFinite()) return false;
    if (onSimplex) {
      const double vv = v.Length2();
      const double gap = vv - v.Dot(p.w);  // an upper bound of |v| (|v| - distance)
      if (gap <= settings.relativeError * vv || gap <= settings.absoluteError * std::sqrt(vv) ||
          simplex.Contains(p.w, settings.relativeError * settings.relativeError * maxW2)) {
        result.converged = true;
        break;
      }
    }
    const double before = onSimplex ? v.Length2() : -1.0;
    simplex.Add(p);
    maxW2 = std::max(maxW2, p.w.Length2());
    v = simplex.Solve();
    onSimplex = true;
    const double vv = v.Length2();
    if (simplex.count == 4 || AtOrigin(vv, maxW2, settings)) {
      result.touching = true;
      result.converged = true;
      break;
    }
    if (before >= 0.0 && vv >= before) {  // no progress left in this precision
      result.converged = true;
      break;
    }
  }
  result.pointA = simplex.PointA();
  result.pointB = simplex.PointB();
  result.distance = result.touching ? 0.0 : v.Length();
  return true;
}

bool Intersect(const DSupportMap& a, const DSupportMap& b, const Settings& settings, DVec3& axis,
               Simplex* simplexOut) {
  Simplex simplex;
  DVec3 v = StartDirection(a, b, axis);
  double maxW2 = 0.0;
  bool touching = true;  // unless an axis is found within the bound
  const int bound = std::max(settings.maxIterations, 1);
  for (int step = 0; step < bound; ++step) {
    const Vertex p = SupportVertex(a, b, v);
    if (!p.w.IsFinite()) return false;
    if (v.Dot(p.w) > 0.0) {  // all of A - B lies beyond the plane v . x = v . w > 0
      axis = v;
      touching = false;
      break;
    }
    if (simplex.Contains(p.w, settings.relativeError * settings.relativeError * maxW2)) break;
    simplex.Add(p);
    maxW2 = std::max(maxW2, p.w.Length2());
    const DVec3 next = simplex.Solve();
    if (simplex.count == 4 || AtOrigin(next.Length2(), maxW2, settings)) break;
    v = next;
    axis = v;  // the best direction so far, should the shapes part next time
  }
  if (simplexOut) *simplexOut = simplex;
  return touching;
}

}  // namespace qibo::gjk
