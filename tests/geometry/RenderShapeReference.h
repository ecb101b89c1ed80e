#pragma once

// Plain quadratic scans of the render shape's algorithms, written the
// straightforward way to hold the fast ones against, and a random mesh with
// duplicates around the merge tolerance.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "core/geometry/DRenderShape.h"

namespace qibo::test {

struct RefFace {
  int count = 0;
  int v[3] = {};  // zero past count
  int edges[3] = {};
  int normal = -1;
  uint32_t flags = 0, groups = 0;
  const CTMaterial* material = nullptr;
  bool operator==(const RefFace&) const = default;
};

struct RefMesh {
  std::vector<Vector3> vectors, normals;
  std::vector<DVertex> vertices;
  std::vector<DEdge> edges;
  std::vector<RefFace> faces;

  explicit RefMesh(const DRenderShape& s)
      : vectors(s.GetVectors(), s.GetVectors() + s.GetVectorCount()),
        normals(s.GetNormals(), s.GetNormals() + s.GetNormalCount()),
        vertices(s.GetVertices(), s.GetVertices() + s.GetVertexCount()),
        edges(s.GetEdges(), s.GetEdges() + s.GetEdgeCount()) {
    for (int i = 0; i < s.GetFaceCount(); ++i) {
      const DFace& f = *s.GetFace(i);
      RefFace r{f.GetNumVertices(), {}, {}, f.GetNormalNo(), f.GetFlags(), f.GetSmoothingGroups(),
                f.GetMaterial()};
      for (int k = 0; k < 3; ++k) r.v[k] = k < r.count ? f.GetVertexNo(k) : 0, r.edges[k] = f.GetEdgeNo(k);
      faces.push_back(r);
    }
  }
  const Vector3& Position(const RefFace& f, int k) const {
    return vectors[static_cast<size_t>(vertices[static_cast<size_t>(f.v[k])].vector)];
  }
};

// Bit for bit, so that NaNs compare too.
template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), sizeof(T) * a.size()) == 0);
}
inline bool operator==(const RefMesh& a, const RefMesh& b) {
  return SameBits(a.vectors, b.vectors) && SameBits(a.normals, b.normals) &&
         SameBits(a.vertices, b.vertices) && SameBits(a.edges, b.edges) && a.faces == b.faces;
}

inline bool RefNear(float a, float b) { return std::fabs(a - b) < 1e-5f; }
inline bool RefSameVector(const Vector3& a, const Vector3& b) {
  return RefNear(a.x, b.x) && RefNear(a.y, b.y) && RefNear(a.z, b.z);
}
inline bool RefSameVertex(const DVertex& a, const DVertex& b) {
  return a.vector == b.vector && a.normal == b.normal && RefNear(a.u, b.u) && RefNear(a.v, b.v);
}

// Each element against every kept one before it, the first match wins;
// then every index into the pool is remapped (-1 outside it), if any went.
template <class T, class Same>
void RefMerge(std::vector<T>& pool, Same same, const std::vector<int*>& indices) {
  std::vector<T> kept;
  std::vector<int> map;
  for (const T& x : pool) {
    size_t k = 0;
    while (k < kept.size() && !same(kept[k], x)) ++k;
    if (k == kept.size()) kept.push_back(x);
    map.push_back(static_cast<int>(k));
  }
  if (kept.size() < pool.size())
    for (int* i : indices)
      *i = *i >= 0 && *i < static_cast<int>(map.size()) ? map[static_cast<size_t>(*i)] : -1;
  pool = kept;
}

inline void RefOptimize(RefMesh& m) {
  std::vector<int*> vectors, normals, vertices;
  for (DVertex& v : m.vertices) vectors.push_back(&v.vector), normals.push_back(&v.normal);
  for (RefFace& f : m.faces) {
    normals.push_back(&f.normal);
    for (int k = 0; k < f.count; ++k) vertices.push_back(&f.v[k]);
  }
  RefMerge(m.vectors, RefSameVector, vectors);
  RefMerge(m.normals, RefSameVector, normals);
  RefMerge(m.vertices, RefSameVertex, vertices);
  for (size_t i = 1; i < m.faces.size(); ++i)  // insertion sort: stable
    for (size_t j = i; j > 0 && std::less<const CTMaterial*>()(m.faces[j].material, m.faces[j - 1].material);
         --j)
      std::swap(m.faces[j], m.faces[j - 1]);
}

inline void RefBuildEdges(RefMesh& m, bool byPosition) {
  m.edges.clear();
  for (size_t f = 0; f < m.faces.size(); ++f) {
    RefFace& face = m.faces[f];
    const auto end = [&](int k) {
      return byPosition ? m.vertices[static_cast<size_t>(face.v[k])].vector : face.v[k];
    };
    for (int k = 0, prev = face.count > 0 ? end(face.count - 1) : 0; k < face.count; prev = end(k++)) {
      const int cur = end(k);
      size_t e = 0;
      while (e < m.edges.size() && !(m.edges[e].start == cur && m.edges[e].end == prev)) ++e;
      if (e < m.edges.size())
        m.edges[e].face1 = static_cast<int>(f);
      else
        m.edges.push_back(DEdge{prev, cur, static_cast<int>(f), -1});
      face.edges[k] = static_cast<int>(e);
    }
    for (int k = face.count; k < 3; ++k) face.edges[k] = -1;
  }
}

inline void RefSmooth(RefMesh& m) {
  const size_t faceCount = m.faces.size();
  m.normals.assign(faceCount, Vector3());
  for (size_t f = 0; f < faceCount; ++f) {
    RefFace& face = m.faces[f];
    face.normal = static_cast<int>(f);
    if (face.count < 3) continue;
    const Vector3& p0 = m.Position(face, 0);
    m.normals[f] = (m.Position(face, 1) - p0).Cross(m.Position(face, 2) - p0).Normalized();
  }
  std::vector<DVertex> fresh;
  for (size_t f = 0; f < faceCount; ++f) {
    RefFace& face = m.faces[f];
    face.flags |= 0x3;
    for (int k = 0; k < face.count; ++k) {
      Vector3 sum = m.normals[f];
      for (size_t g = 0; g < faceCount; ++g) {
        const RefFace& other = m.faces[g];
        const bool contains = std::count(other.v, other.v + other.count, face.v[k]) > 0;
        if (g != f && (face.groups & other.groups) && contains) sum += m.normals[g];
      }
      m.normals.push_back(sum);
      fresh.push_back(m.vertices[static_cast<size_t>(face.v[k])]);
      fresh.back().normal = static_cast<int>(m.normals.size()) - 1;
    }
  }
  for (size_t i = faceCount; i < m.normals.size(); ++i) m.normals[i].Normalize();
  int next = 0;
  for (RefFace& face : m.faces)
    for (int k = 0; k < face.count; ++k) face.v[k] = next++;
  m.vertices = fresh;
  RefOptimize(m);
}

// Elements are often an earlier one moved by an offset around the
// tolerance, so that chains a~b~c with a and c apart appear; `wild` adds
// NaN, infinite, huge and signed-zero coordinates.
class RandomMesh {
 public:
  explicit RandomMesh(unsigned seed) : m_rng(seed) {}

  void Fill(DRenderShape& s, int positions, int faces, bool wild) {
    const int normals = positions / 2, vertices = positions * 3 / 2;
    s.SetVectorCount(positions);
    for (int i = 0; i < positions; ++i) s.GetVectors()[i] = NextPoint(s.GetVectors(), i, wild, 4.0f);
    s.SetNormalCount(normals);
    for (int i = 0; i < normals; ++i) s.GetNormals()[i] = NextPoint(s.GetNormals(), i, wild, 1.0f);
    s.SetVertexCount(vertices);
    for (int i = 0; i < vertices; ++i)
      s.GetVertices()[i] = NextVertex(s.GetVertices(), i, positions, normals);
    static const uint32_t kGroups[] = {0u, 1u, 2u, 3u, 0xFFFFFFFFu};
    for (int i = 0; i < faces; ++i) {
      DFace* f = s.AddFace();
      const int a = Int(vertices);
      f->SetVertices(a, Chance(0.05) ? a : Int(vertices), Int(vertices));
      f->SetNormal(Int(normals + 1) - 1);
      f->SetSmoothingGroups(kGroups[Int(5)]);
      f->SetMaterial(Material(Int(3)));
    }
  }

  static CTMaterial* Material(int i) {
    static char materials[3];
    return reinterpret_cast<CTMaterial*>(&materials[2 - i]);
  }

 private:
  int Int(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_rng) < p; }
  float Offset() {
    static const float kOffsets[] = {0.0f, 5e-6f, 0.9e-5f, 1e-5f, 1.1e-5f, 1.8e-5f, 2e-5f, 1e-4f};
    return (Chance(0.5) ? -1.0f : 1.0f) * kOffsets[Int(8)];
  }
  float Grid(float scale) { return static_cast<float>(Int(8)) * 0.125f * scale; }

  Vector3 NextPoint(const Vector3* earlier, int count, bool wild, float scale) {
    if (count == 0 || Chance(0.3)) return Vector3(Grid(scale), Grid(scale), Grid(scale));
    Vector3 p = earlier[Int(count)];
    if (wild && Chance(0.1)) {
      static const float kWild[] = {std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    1e30f,
                                    -3e38f,
                                    3.4e38f,
                                    -0.0f,
                                    1e12f};
      p[Int(3)] = kWild[Int(8)];
    }
    for (int axis = 0; axis < 3; ++axis)
      if (Chance(0.5)) p[axis] += Offset();
    return p;
  }

  DVertex NextVertex(const DVertex* earlier, int count, int positions, int normals) {
    DVertex v;
    if (count > 0 && Chance(0.6)) {
      v = earlier[Int(count)];
      v.u += Offset();
      v.v += Offset();
    } else {
      v.vector = Int(positions), v.normal = Int(normals);
      v.u = Grid(1.0f), v.v = Grid(1.0f);
    }
    v.r = static_cast<float>(Int(256)) / 255.0f;  // colours never decide a merge
    return v;
  }

  std::mt19937 m_rng;
};

}  // namespace qibo::test
