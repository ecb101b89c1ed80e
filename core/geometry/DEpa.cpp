#include "core/geometry/DEpa.h"

#include <algorithm>
#include <vector>

namespace qibo::gjk {

namespace {

// Growth steps and faces: far more than a pair of primitives needs; a
// polytope that grows beyond them answers its best face so far.
constexpr int kMaxSteps = 64;
constexpr size_t kMaxFaces = 512;

struct Face {
  int v[3];
  DVec3 normal;           // unit, outwards
  double distance = 0.0;  // of the face's plane from the origin
};

struct Edge {
  int from, to;
};

class Polytope {
 public:
  Polytope(const DSupportMap& a, const DSupportMap& b) : m_a(a), m_b(b) {}

  // A tetrahedron with volume from GJK's final simplex, adding support
  // points where it has fewer than four vertices. False when there is none.
  bool Start(const Simplex& simplex, double tolerance);
  bool Expand(const Settings& settings);
  void Answer(Penetration& result) const;

 private:
  Vertex SupportAlong(const DVec3& d) const {
    Vertex p;
    p.a = m_a.Support(d);
    p.b = m_b.Support(-d);
    p.w = p.a - p.b;
    return p;
  }
  bool AddIfApart(const DVec3& d, double tolerance);
  bool MakeFace(int i, int j, int k);
  const Face& Closest() const;

  const DSupportMap& m_a;
  const DSupportMap& m_b;
  std::vector<Vertex> m_vertices;
  std::vector<Face> m_faces;
  DVec3 m_inside;  // the first tetrahedron's centre: the polytope only grows, so it stays inside
};

// Adds the support point along d (or -d) if it lies apart from the
// affine hull of the vertices so far.
bool Polytope::AddIfApart(const DVec3& d, double tolerance) {
  for (const DVec3& direction : {d, -d}) {
    const Vertex p = SupportAlong(direction);
    if (!p.w.IsFinite()) return false;
    const size_t n = m_vertices.size();
    double apart = 0.0;
    const DVec3 rel = p.w - m_vertices[0].w;
    if (n == 1) {
      apart = rel.Length();
    } else if (n == 2) {
      const DVec3 axis = m_vertices[1].w - m_vertices[0].w;
      apart = rel.Cross(axis).Length() / std::max(axis.Length(), 1e-300);
    } else {
      const DVec3 normal = (m_vertices[1].w - m_vertices[0].w).Cross(m_vertices[2].w - m_vertices[0].w);
      apart = std::abs(rel.Dot(normal)) / std::max(normal.Length(), 1e-300);
    }
    if (apart > tolerance) {
      m_vertices.push_back(p);
      return true;
    }
  }
  return false;
}

bool Polytope::Start(const Simplex& simplex, double tolerance) {
  for (int i = 0; i < simplex.count; ++i) m_vertices.push_back(simplex.v[i]);
  if (m_vertices.empty()) m_vertices.push_back(SupportAlong(DVec3(1.0, 0.0, 0.0)));
  static const DVec3 kAxes[3] = {DVec3(1, 0, 0), DVec3(0, 1, 0), DVec3(0, 0, 1)};
  if (m_vertices.size() == 1) {
    bool added = false;
    for (const DVec3& axis : kAxes) added = added || AddIfApart(axis, tolerance);
    if (!added) return false;
  }
  if (m_vertices.size() == 2) {
    const DVec3 line = m_vertices[1].w - m_vertices[0].w;
    bool added = false;
    for (const DVec3& axis : kAxes) {
      const DVec3 across = line.Cross(axis);
      if (across.Length2() > 0.0) added = added || AddIfApart(across, tolerance);
    }
    if (!added) return false;
  }
  if (m_vertices.size() == 3) {
    const DVec3 normal = (m_vertices[1].w - m_vertices[0].w).Cross(m_vertices[2].w - m_vertices[0].w);
    if (normal.Length2() <= 0.0 || !AddIfApart(normal, tolerance)) return false;
  }
  m_inside = (m_vertices[0].w + m_vertices[1].w + m_vertices[2].w + m_vertices[3].w) * 0.25;
  return MakeFace(0, 1, 2) && MakeFace(0, 3, 1) && MakeFace(0, 2, 3) && MakeFace(1, 3, 2);
}

// A face of vertices i, j, k, turned so that its normal points away from
// the inside of the polytope. False for a face without area.
bool Polytope::MakeFace(int i, int j, int k) {
  Face face{{i, j, k}, {}, 0.0};
  const DVec3& a = m_vertices[static_cast<size_t>(i)].w;
  DVec3 normal = (m_vertices[static_cast<size_t>(j)].w - a).Cross(m_vertices[static_cast<size_t>(k)].w - a);
  const double length = normal.Length();
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  normal = normal * (1.0 / length);
  if (normal.Dot(a - m_inside) < 0.0) {
    normal = -normal;
    std::swap(face.v[1], face.v[2]);
  }
  face.normal = normal;
  face.distance = normal.Dot(a);
  m_faces.push_back(face);
  return true;
}

const Face& Polytope::Closest() const {
  return *std::min_element(m_faces.begin(), m_faces.end(),
                           [](const Face& x, const Face& y) { return x.distance < y.distance; });
}

bool Polytope::Expand(const Settings& settings) {
  for (int step = 0; step < kMaxSteps; ++step) {
    const Face nearest = Closest();
    const Vertex p = SupportAlong(nearest.normal);
    if (!p.w.IsFinite()) return false;
    const double reach = p.w.Dot(nearest.normal);
    const double tolerance = std::max(settings.absoluteError, settings.relativeError * std::abs(reach));
    if (reach - nearest.distance <= tolerance) return true;
    if (m_faces.size() + 8 > kMaxFaces) return true;

    // Faces that see the new point go; the edges they shared with faces
    // that stay (each seen once) make the horizon the new faces rise from.
    const int index = static_cast<int>(m_vertices.size());
    m_vertices.push_back(p);
    std::vector<Edge> horizon;
    for (size_t f = 0; f < m_faces.size();) {
      const Face& face = m_faces[f];
      if (face.normal.Dot(p.w - m_vertices[static_cast<size_t>(face.v[0])].w) <= 0.0) {
        ++f;
        continue;
      }
      for (int e = 0; e < 3; ++e) {
        const Edge edge{face.v[e], face.v[(e + 1) % 3]};
        auto twin = std::find_if(horizon.begin(), horizon.end(),
                                 [&](const Edge& o) { return o.from == edge.to && o.to == edge.from; });
        if (twin != horizon.end())
          horizon.erase(twin);
        else
          horizon.push_back(edge);
      }
      m_faces[f] = m_faces.back();
      m_faces.pop_back();
    }
    for (const Edge& edge : horizon) MakeFace(edge.from, edge.to, index);
    if (m_faces.empty()) return false;
  }
  return true;
}

void Polytope::Answer(Penetration& result) const {
  const Face& face = Closest();
  const Vertex& p0 = m_vertices[static_cast<size_t>(face.v[0])];
  const Vertex& p1 = m_vertices[static_cast<size_t>(face.v[1])];
  const Vertex& p2 = m_vertices[static_cast<size_t>(face.v[2])];
  // The weights of the origin's projection on the face.
  const DVec3 point = face.normal * face.distance;
  const DVec3 e0 = p1.w - p0.w, e1 = p2.w - p0.w, rel = point - p0.w;
  const double d00 = e0.Dot(e0), d01 = e0.Dot(e1), d11 = e1.Dot(e1);
  const double d20 = rel.Dot(e0), d21 = rel.Dot(e1);
  const double denominator = d00 * d11 - d01 * d01;
  double u = 1.0 / 3.0, w = 1.0 / 3.0;
  if (denominator > 0.0) {
    u = (d11 * d20 - d01 * d21) / denominator;
    w = (d00 * d21 - d01 * d20) / denominator;
  }
  const double t = 1.0 - u - w;
  result.normal = face.normal;
  result.depth = std::max(face.distance, 0.0);
  result.pointA = p0.a * t + p1.a * u + p2.a * w;
  result.pointB = p0.b * t + p1.b * u + p2.b * w;
}

}  // namespace

bool Penetrate(const DSupportMap& a, const DSupportMap& b, const Settings& settings, const Simplex& start,
               Penetration& result) {
  Polytope polytope(a, b);
  double scale2 = 0.0;
  for (int i = 0; i < start.count; ++i) scale2 = std::max(scale2, start.v[i].w.Length2());
  const double tolerance = std::max(settings.absoluteError, settings.relativeError * std::sqrt(scale2));
  if (!polytope.Start(start, tolerance) || !polytope.Expand(settings)) return false;
  polytope.Answer(result);
  return result.normal.IsFinite() && std::isfinite(result.depth) && result.pointA.IsFinite() &&
         result.pointB.IsFinite();
}

}  // namespace qibo::gjk
