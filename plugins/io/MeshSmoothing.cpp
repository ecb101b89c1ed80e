#include "plugins/io/MeshSmoothing.h"

#include <algorithm>
#include <functional>

#include "core/geometry/DRenderShape.h"

namespace qibo::io {

namespace {

constexpr int kExactGroups = 64;

// The faces at each position, as index ranges into one list.
struct FacesAt {
  std::vector<int> start;  // positions + 1 entries
  std::vector<int> list;

  explicit FacesAt(const DMeshCorners& mesh) : start(mesh.positions.size() + 1, 0) {
    for (const auto& face : mesh.faces)
      for (int v : face) ++start[static_cast<size_t>(v) + 1];
    for (size_t v = 1; v < start.size(); ++v) start[v] += start[v - 1];
    list.resize(static_cast<size_t>(start.back()));
    std::vector<int> next(start.begin(), start.end() - 1);
    for (size_t f = 0; f < mesh.faces.size(); ++f)
      for (int v : mesh.faces[f])
        list[static_cast<size_t>(next[static_cast<size_t>(v)]++)] = static_cast<int>(f);
  }
};

// One smoothed vertex: a position and the groups it stands for.
struct Smoothed {
  uint32_t groups;
  int vertex;  // in the shape's vertex pool
};

}  // namespace

void FillSmoothedMesh(const DMeshCorners& mesh, DRenderShape& shape) {
  const uint32_t state = shape.GetState();
  shape.Clear();
  shape.SetState(state);
  const int positions = static_cast<int>(mesh.positions.size());
  const int faces = static_cast<int>(mesh.faces.size());
  const auto groupsOf = [&](int f) {
    return static_cast<size_t>(f) < mesh.smoothing.size() ? mesh.smoothing[static_cast<size_t>(f)]
                                                          : 0xFFFFFFFFu;
  };

  // Face normals first: they keep slots 0..F-1.
  std::vector<Vector3> normals(static_cast<size_t>(faces));
  for (int f = 0; f < faces; ++f) {
    const auto& face = mesh.faces[static_cast<size_t>(f)];
    const Vector3& p0 = mesh.positions[static_cast<size_t>(face[0])];
    const Vector3 n = (mesh.positions[static_cast<size_t>(face[1])] - p0)
                          .Cross(mesh.positions[static_cast<size_t>(face[2])] - p0);
    const float length = n.Length();
    normals[static_cast<size_t>(f)] = length > 0.0f ? n * (1.0f / length) : Vector3();
  }

  // One vertex per position and group set met there (a face without a
  // group gets vertices of its own when its corners are placed).
  const FacesAt at(mesh);
  std::vector<DVertex> vertices;
  vertices.reserve(static_cast<size_t>(positions));
  normals.reserve(static_cast<size_t>(faces) + static_cast<size_t>(positions));
  std::vector<Smoothed> smoothed;  // per position, sorted by groups
  std::vector<int> first(static_cast<size_t>(positions) + 1, 0);
  std::vector<std::pair<uint32_t, int>> met;       // groups, face
  std::vector<std::pair<uint32_t, Vector3>> sums;  // groups, summed normal
  const auto vertexAt = [&](int v) {
    DVertex vertex;
    vertex.r = vertex.g = vertex.b = vertex.a = 1.0f;
    vertex.vector = v;
    if (2 * static_cast<size_t>(v) + 1 < mesh.uv.size()) {
      vertex.u = mesh.uv[2 * static_cast<size_t>(v)];
      vertex.v = mesh.uv[2 * static_cast<size_t>(v) + 1];
    }
    return vertex;
  };
  for (int v = 0; v < positions; ++v) {
    first[static_cast<size_t>(v)] = static_cast<int>(smoothed.size());
    met.clear();
    for (int i = at.start[static_cast<size_t>(v)]; i < at.start[static_cast<size_t>(v) + 1]; ++i) {
      const int f = at.list[static_cast<size_t>(i)];
      if (groupsOf(f) != 0) met.emplace_back(groupsOf(f), f);
    }
    // Mostly one group set meets at a position: no sorting then.
    const bool alike =
        std::all_of(met.begin(), met.end(), [&](const auto& m) { return m.first == met[0].first; });
    if (!alike) std::sort(met.begin(), met.end());
    sums.clear();
    for (const auto& [groups, f] : met) {
      if (sums.empty() || sums.back().first != groups) sums.emplace_back(groups, Vector3());
      sums.back().second += normals[static_cast<size_t>(f)];
    }
    const bool exact = sums.size() <= static_cast<size_t>(kExactGroups);
    for (const auto& [groups, own] : sums) {
      Vector3 sum = own;
      if (exact)
        for (const auto& [other, theirs] : sums)
          if (other != groups && (other & groups)) sum += theirs;
      DVertex vertex = vertexAt(v);
      vertex.normal = faces + static_cast<int>(vertices.size());
      normals.push_back(sum.Normalized());
      smoothed.push_back({groups, static_cast<int>(vertices.size())});
      vertices.push_back(vertex);
    }
  }
  first[static_cast<size_t>(positions)] = static_cast<int>(smoothed.size());

  // The faces, sorted by material as rendering wants them.
  std::vector<int> order(static_cast<size_t>(faces));
  for (int f = 0; f < faces; ++f) order[static_cast<size_t>(f)] = f;
  const auto materialOf = [&](int f) {
    return static_cast<size_t>(f) < mesh.materials.size() ? mesh.materials[static_cast<size_t>(f)] : nullptr;
  };
  const auto byMaterial = [&](int a, int b) {
    return std::less<const CTMaterial*>()(materialOf(a), materialOf(b));
  };
  // Most meshes have one material: nothing to move.
  if (!std::is_sorted(order.begin(), order.end(), byMaterial))
    std::stable_sort(order.begin(), order.end(), byMaterial);
  shape.SetFaceCount(faces);
  for (int i = 0; i < faces; ++i) {
    const int f = order[static_cast<size_t>(i)];
    const uint32_t groups = groupsOf(f);
    int corner[3];
    for (int k = 0; k < 3; ++k) {
      const int v = mesh.faces[static_cast<size_t>(f)][static_cast<size_t>(k)];
      if (groups == 0) {
        DVertex vertex = vertexAt(v);
        vertex.normal = f;
        corner[k] = static_cast<int>(vertices.size());
        vertices.push_back(vertex);
        continue;
      }
      const Smoothed* begin = smoothed.data() + first[static_cast<size_t>(v)];
      const Smoothed* end = smoothed.data() + first[static_cast<size_t>(v) + 1];
      corner[k] = std::lower_bound(begin, end, groups, [](const Smoothed& s, uint32_t g) {
                    return s.groups < g;
                  })->vertex;
    }
    DFace* face = shape.GetFace(i);
    face->SetVertices(corner[0], corner[1], corner[2]);
    face->SetNormal(f);
    face->SetFlags(DFace::kSmoothed | DFace::kVertexNormals);
    face->SetSmoothingGroups(groups);
    face->SetMaterial(materialOf(f));
  }

  shape.SetVectorCount(positions);
  std::copy(mesh.positions.begin(), mesh.positions.end(), shape.GetVectors());
  shape.SetNormalCount(static_cast<int>(normals.size()));
  std::copy(normals.begin(), normals.end(), shape.GetNormals());
  shape.SetVertexCount(static_cast<int>(vertices.size()));
  std::copy(vertices.begin(), vertices.end(), shape.GetVertices());
  shape.UpdateBases();
}

}  // namespace qibo::io
