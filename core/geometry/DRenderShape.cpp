#include "core/geometry/DRenderShape.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

#include "core/geometry/MeshMerge.h"
#include "core/kernel/Logging.h"
#include "core/object/BufferAllocator.h"
#include "core/scene/math/DTransform.h"

using namespace qibo::mesh;

namespace {

void LogError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogError(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  qiBO_Error(text, nullptr);
}

bool FaceIsValid(const DFace& face, const DBases& bases) {
  if (face.GetNormalNo() != -1 && !bases.ValidNormal(face.GetNormalNo())) return false;
  const bool vertexNormals = (face.GetFlags() & DFace::kVertexNormals) != 0;
  for (int i = 0; i < face.GetNumVertices(); ++i) {
    if (!bases.ValidVertex(face.GetVertexNo(i))) return false;
    const DVertex& vertex = face.GetVertex(bases, i);
    if (!bases.ValidVector(vertex.vector)) return false;
    if (vertexNormals && !bases.ValidNormal(vertex.normal)) return false;
  }
  return true;
}

template <class T>
bool ResizePool(DPool<T>& pool, int count, const char* what) {
  if (count < 0) {
    LogError("Render shape: %s count %d is negative and was ignored", what, count);
    return false;
  }
  return pool.Resize(count);
}

}  // namespace

// ---- DRenderShape: lifetime and pools ----

DRenderShape::DRenderShape() { UpdateBases(); }

DRenderShape::~DRenderShape() {
  RemoveFaces();
  if (!m_facesNotOwned) std::free(static_cast<void*>(m_faces));
}

void DRenderShape::Clear() {
  RemoveFaces();
  if (!m_facesNotOwned) std::free(static_cast<void*>(m_faces));
  m_faces = nullptr;
  m_faceCapacity = 0;
  m_facesNotOwned = false;
  m_vertices.Free();
  m_edges.Free();
  m_normals.Free();
  m_vectors.Free();
  m_material = nullptr;
  m_defaultMaterial = nullptr;
  m_state = 0;
  m_flags = 0;
  UpdateBases();
  Touch();
}

bool DRenderShape::CopyFrom(const DRenderShape& other) {
  if (&other == this) return true;
  // Room for everything first, so that a refusal leaves the shape as it was.
  if (!m_vertices.Reserve(other.m_vertices.Count()) || !m_edges.Reserve(other.m_edges.Count()) ||
      !m_normals.Reserve(other.m_normals.Count()) || !m_vectors.Reserve(other.m_vectors.Count()) ||
      !ReserveFaces(other.m_faceCount))
    return false;
  RemoveFaces();
  m_vertices.CopyFrom(other.m_vertices);
  m_edges.CopyFrom(other.m_edges);
  m_normals.CopyFrom(other.m_normals);
  m_vectors.CopyFrom(other.m_vectors);
  for (int i = 0; i < other.m_faceCount; ++i) {
    DFace* face = DFace::New();
    *face = *other.m_faces[i];
    m_faces[i] = face;
  }
  m_faceCount = other.m_faceCount;
  m_material = other.m_material;
  m_defaultMaterial = other.m_defaultMaterial;
  m_state = other.m_state;
  m_flags = other.m_flags;
  UpdateBases();
  Touch();
  return true;
}

void DRenderShape::SetPresence(uint32_t flag, int count) {
  if (count > 0)
    m_flags |= flag;
  else
    m_flags &= ~flag;
}

void DRenderShape::SetVertexCount(int count) {
  if (ResizePool(m_vertices, count, "vertex")) SetPresence(kHasVertices, count);
  UpdateBases();
  Touch();
}

void DRenderShape::SetNormalCount(int count) {
  if (ResizePool(m_normals, count, "normal")) SetPresence(kHasNormals, count);
  UpdateBases();
  Touch();
}

void DRenderShape::SetVectorCount(int count) {
  if (ResizePool(m_vectors, count, "position")) SetPresence(kHasVectors, count);
  UpdateBases();
  Touch();
}

void DRenderShape::SetEdgeCount(int count) {
  if (ResizePool(m_edges, count, "edge")) SetPresence(kHasEdges, count);
  Touch();
}

void DRenderShape::SetFaceCount(int count) {
  if (count < 0) {
    LogError("Render shape: face count %d is negative and was ignored", count);
    return;
  }
  if (count < m_faceCount) {
    for (int i = std::max(count, m_baseFaceCount); i < m_faceCount; ++i) m_faces[i]->Delete();
    m_faceCount = count;
    m_baseFaceCount = std::min(m_baseFaceCount, count);
  } else {
    if (!ReserveFaces(count)) return;
    while (m_faceCount < count) m_faces[m_faceCount++] = DFace::New();
  }
  SetPresence(kHasFaces, count);
  Touch();
}

int DRenderShape::AddVertex(const Vector3& p) {
  DVertex vertex;
  vertex.vector = m_vectors.Add(p);
  if (vertex.vector < 0) return -1;
  const int index = m_vertices.Add(vertex);
  if (index < 0) {
    m_vectors.SetCountUnchecked(vertex.vector);
    return -1;
  }
  m_flags |= kHasVectors | kHasVertices;
  UpdateBases();
  Touch();
  return index;
}

int DRenderShape::AddEdge(const Vector3& a, const Vector3& b) {
  const Vector3 end = b;  // b may live in the position pool, which AddVertex may move
  const int vectors = m_vectors.Count(), vertices = m_vertices.Count();
  DEdge edge;
  edge.start = AddVertex(a);
  edge.end = edge.start < 0 ? -1 : AddVertex(end);
  const int index = edge.end < 0 ? -1 : m_edges.Add(edge);
  if (index < 0) {  // refused: the vertices added for it go again
    m_vectors.SetCountUnchecked(vectors);
    m_vertices.SetCountUnchecked(vertices);
    SetPresence(kHasVectors, vectors);
    SetPresence(kHasVertices, vertices);
    UpdateBases();
    return -1;
  }
  m_flags |= kHasEdges;
  Touch();
  return index;
}

int DRenderShape::AddNormal(const Vector3& n) {
  const int index = m_normals.Add(n);
  if (index < 0) return -1;
  m_flags |= kHasNormals;
  UpdateBases();
  Touch();
  return index;
}

DFace* DRenderShape::AddFace() {
  DFace* face = DFace::New();
  if (!AppendFace(face)) {
    face->Delete();
    return nullptr;
  }
  m_flags |= kHasFaces;
  Touch();
  return face;
}

// ---- Face list ----

bool DRenderShape::ReserveFaces(int capacity) {
  if (capacity <= m_faceCapacity) return true;
  const size_t bytes = sizeof(DFace*) * static_cast<size_t>(capacity);
  void* faces = nullptr;
  if (m_facesNotOwned) {
    // Someone else's storage: move to our own.
    faces = qibo::TryRealloc(nullptr, bytes);
    if (faces && m_faceCount > 0)
      std::memcpy(faces, m_faces, sizeof(DFace*) * static_cast<size_t>(m_faceCount));
  } else {
    faces = qibo::TryRealloc(static_cast<void*>(m_faces), bytes);
  }
  if (!faces) {
    LogError("Render shape: no memory for a list of %d faces; refused", capacity);
    return false;
  }
  m_faces = static_cast<DFace**>(faces);
  m_faceCapacity = capacity;
  m_facesNotOwned = false;
  return true;
}

bool DRenderShape::AppendFace(DFace* face) {
  if (m_faceCount == m_faceCapacity) {
    if (m_faceCapacity == INT_MAX) {
      LogError("Render shape: a list of %d faces cannot grow; refused", INT_MAX);
      return false;
    }
    if (!ReserveFaces(qibo::GrowCapacity(m_faceCapacity))) return false;
  }
  m_faces[m_faceCount++] = face;
  return true;
}

void DRenderShape::RemoveFaces() {
  for (int i = m_baseFaceCount; i < m_faceCount; ++i) m_faces[i]->Delete();
  m_faceCount = 0;
  m_baseFaceCount = 0;
  m_baseShape = nullptr;
}

void DRenderShape::OwnFaces() {
  for (int i = 0; i < m_baseFaceCount; ++i) {
    DFace* copy = DFace::New();
    *copy = *m_faces[i];
    m_faces[i] = copy;
  }
  m_baseFaceCount = 0;
  m_baseShape = nullptr;
}

void DRenderShape::SetBaseShape(DRenderShape* base, int count) {
  if (base && (count < 0 || count > m_faceCount)) {
    LogError("Render shape: %d base faces asked of a list of %d; clamped", count, m_faceCount);
    count = std::clamp(count, 0, m_faceCount);
  }
  m_baseShape = base;
  m_baseFaceCount = base ? count : 0;
  Touch();
}

bool DRenderShape::BorrowFaces(DRenderShape& base) {
  if (&base == this) return true;
  if (!ReserveFaces(base.m_faceCount)) return false;
  RemoveFaces();
  for (int i = 0; i < base.m_faceCount; ++i) m_faces[i] = base.m_faces[i];
  m_faceCount = base.m_faceCount;
  m_baseShape = &base;
  m_baseFaceCount = base.m_faceCount;
  SetPresence(kHasFaces, m_faceCount);
  Touch();
  return true;
}

int DRenderShape::CheckFaces() {
  UpdateBases();
  int kept = 0, dropped = 0, droppedBorrowed = 0;
  for (int i = 0; i < m_faceCount; ++i) {
    DFace* face = m_faces[i];
    if (FaceIsValid(*face, m_bases)) {
      m_faces[kept++] = face;
      continue;
    }
    ++dropped;
    if (i < m_baseFaceCount)
      ++droppedBorrowed;  // the base's: leave it be
    else
      face->Delete();
  }
  if (dropped == 0) return 0;
  m_faceCount = kept;
  m_baseFaceCount -= droppedBorrowed;
  SetPresence(kHasFaces, m_faceCount);
  if (dropped == 1)
    LogError("Render shape: 1 face refers outside the pools and was dropped");
  else
    LogError("Render shape: %d faces refer outside the pools and were dropped", dropped);
  Touch();
  return dropped;
}

void DRenderShape::SortFacesByMaterial() {
  const auto less = [](const DFace* a, const DFace* b) {
    return std::less<const CTMaterial*>()(a->GetMaterial(), b->GetMaterial());
  };
  // Most meshes have one material: no buffer, no moves.
  if (!std::is_sorted(m_faces, m_faces + m_faceCount, less))
    std::stable_sort(m_faces, m_faces + m_faceCount, less);
}

// ---- Algorithms ----

bool DRenderShape::ComputeFaceNormals() {
  if (!m_normals.Resize(m_faceCount)) return false;
  SetPresence(kHasNormals, m_faceCount);
  UpdateBases();
  for (int i = 0; i < m_faceCount; ++i) {
    m_normals[i] = Vector3();  // stays zero for a face of fewer than three vertices
    m_faces[i]->SetNormal(i);
    m_faces[i]->UpdateNormal(m_bases);
  }
  return true;
}

void DRenderShape::RecalcFaceNormals() {
  CheckFaces();
  OwnFaces();
  if (!ComputeFaceNormals()) return;
  // The per-vertex normals lived in slots that now hold face normals.
  for (int i = 0; i < m_faceCount; ++i)
    m_faces[i]->SetFlags(m_faces[i]->GetFlags() & ~(DFace::kSmoothed | DFace::kVertexNormals));
  Touch();
}

void DRenderShape::BuildEdges() { BuildEdgeList(false); }

void DRenderShape::BuildVectorEdges() { BuildEdgeList(true); }

// Each face walks its edges from its last vertex; an edge walked the other
// way by an earlier face is shared (the first such edge), any other gets a
// new one. The table finds an edge by its (start, end) pair: the first edge
// with that pair.
void DRenderShape::BuildEdgeList(bool byPosition) {
  CheckFaces();
  OwnFaces();
  size_t halfEdges = 0;
  for (int f = 0; f < m_faceCount; ++f) halfEdges += static_cast<size_t>(m_faces[f]->GetNumVertices());
  // At most one edge per half-edge: with that room no Add below is refused.
  if (!m_edges.Reserve(static_cast<int>(halfEdges))) return;
  m_edges.Resize(0);
  IndexTable table(halfEdges);
  const auto slot = [&](int start, int end) -> int& {
    const uint64_t hash =
        Mix(static_cast<uint64_t>(static_cast<uint32_t>(start)) << 32 | static_cast<uint32_t>(end));
    return table.Slot(hash, [&](int e) { return m_edges[e].start == start && m_edges[e].end == end; });
  };
  for (int f = 0; f < m_faceCount; ++f) {
    DFace* face = m_faces[f];
    const int n = face->GetNumVertices();
    const auto end = [&](int k) {
      const int v = face->GetVertexNo(k);
      return byPosition ? m_vertices[v].vector : v;
    };
    int prev = n > 0 ? end(n - 1) : 0;
    for (int k = 0; k < n; ++k) {
      const int cur = end(k);
      int edge = slot(cur, prev);
      if (edge >= 0) {
        m_edges[edge].face1 = f;
      } else {
        edge = m_edges.Add(DEdge{prev, cur, f, -1});
        int& first = slot(prev, cur);
        if (first < 0) first = edge;
      }
      face->SetEdgeNo(k, edge);
      prev = cur;
    }
    for (int k = n; k < 3; ++k) face->SetEdgeNo(k, -1);
  }
  m_flags |= kHasEdges;
  Touch();
}

namespace {

// Faces by vertex, in face order, each face once per vertex.
struct VertexFaces {
  std::vector<int> start;  // faces of vertex v: list[start[v] .. start[v + 1])
  std::vector<int> list;

  VertexFaces(DFace* const* faces, int faceCount, int vertexCount) {
    start.assign(static_cast<size_t>(vertexCount) + 1, 0);
    ForEach(faces, faceCount, [&](int v, int) { ++start[static_cast<size_t>(v) + 1]; });
    for (size_t v = 0; v < static_cast<size_t>(vertexCount); ++v) start[v + 1] += start[v];
    list.resize(static_cast<size_t>(start.back()));
    std::vector<int> fill(start.begin(), start.end() - 1);
    ForEach(faces, faceCount,
            [&](int v, int f) { list[static_cast<size_t>(fill[static_cast<size_t>(v)]++)] = f; });
  }

  template <class Visit>
  static void ForEach(DFace* const* faces, int faceCount, Visit visit) {
    for (int f = 0; f < faceCount; ++f) {
      const DFace& face = *faces[f];
      for (int k = 0; k < face.GetNumVertices(); ++k) {
        const int v = face.GetVertexNo(k);
        bool repeated = false;
        for (int j = 0; j < k; ++j) repeated = repeated || face.GetVertexNo(j) == v;
        if (!repeated) visit(v, f);
      }
    }
  }
};

// Up to this many faces at one vertex, each vertex normal is summed exactly
// as face f's normal followed by its partners in face order. A vertex with
// more (the tip of a fan) sums once per smoothing mask, in face order: the
// same normals up to rounding, without a cost that grows with the square of
// the fan.
constexpr int kExactFan = 64;

class SmoothingSums {
 public:
  SmoothingSums(const DPool<Vector3>& normals, const std::vector<uint32_t>& groups,
                const VertexFaces& adjacency)
      : m_normals(normals), m_groups(groups), m_adjacency(adjacency) {}

  // Face f's normal plus those of the other faces at v that share a group.
  Vector3 At(int f, int v) {
    const uint32_t groups = m_groups[static_cast<size_t>(f)];
    if (groups == 0) return m_normals[f];
    const int* first = m_adjacency.list.data() + m_adjacency.start[static_cast<size_t>(v)];
    const int* last = m_adjacency.list.data() + m_adjacency.start[static_cast<size_t>(v) + 1];
    if (last - first > kExactFan) return FanSum(v, groups, first, last);
    Vector3 sum = m_normals[f];
    for (const int* g = first; g != last; ++g)
      if (*g != f && (groups & m_groups[static_cast<size_t>(*g)])) sum += m_normals[*g];
    return sum;
  }

 private:
  Vector3 FanSum(int v, uint32_t groups, const int* first, const int* last) {
    const uint64_t key = static_cast<uint64_t>(v) << 32 | groups;
    const auto found = m_fans.find(key);
    if (found != m_fans.end()) return found->second;
    Vector3 sum;
    for (const int* g = first; g != last; ++g)
      if (groups & m_groups[static_cast<size_t>(*g)]) sum += m_normals[*g];
    m_fans.emplace(key, sum);
    return sum;
  }

  const DPool<Vector3>& m_normals;  // face normals in slots 0..F-1
  const std::vector<uint32_t>& m_groups;
  const VertexFaces& m_adjacency;
  std::unordered_map<uint64_t, Vector3> m_fans;
};

}  // namespace

void DRenderShape::ApplySmoothingGroups() {
  CheckFaces();
  OwnFaces();
  const int faceCount = m_faceCount;
  std::vector<uint32_t> groups(static_cast<size_t>(faceCount));
  size_t slots = 0;
  for (int f = 0; f < faceCount; ++f) {
    groups[static_cast<size_t>(f)] = m_faces[f]->GetSmoothingGroups();
    slots += static_cast<size_t>(m_faces[f]->GetNumVertices());
  }
  // A face normal per face and a normal and a vertex per corner: with that
  // room nothing below is refused, and a refusal here changes nothing.
  const auto room = [](size_t n) { return static_cast<int>(std::min<size_t>(n, INT_MAX)); };
  if (!m_normals.Reserve(room(static_cast<size_t>(faceCount) + slots)) || !m_vertices.Reserve(room(slots)))
    return;
  ComputeFaceNormals();
  const VertexFaces adjacency(m_faces, faceCount, m_vertices.Count());
  SmoothingSums sums(m_normals, groups, adjacency);
  std::vector<DVertex> fresh;
  fresh.reserve(slots);
  for (int f = 0; f < faceCount; ++f) {
    DFace* face = m_faces[f];
    face->SetFlags(face->GetFlags() | DFace::kSmoothed | DFace::kVertexNormals);
    for (int k = 0; k < face->GetNumVertices(); ++k) {
      const int v = face->GetVertexNo(k);
      DVertex copy = m_vertices[v];
      copy.normal = m_normals.Add(sums.At(f, v));
      fresh.push_back(copy);
    }
  }
  for (int i = faceCount; i < m_normals.Count(); ++i) m_normals[i].Normalize();
  int next = 0;
  for (int f = 0; f < faceCount; ++f) {
    int* indices = m_faces[f]->GetIndexData();
    for (int k = 0; k < m_faces[f]->GetNumVertices(); ++k) indices[k] = next++;
  }
  m_vertices.Resize(static_cast<int>(fresh.size()));
  if (!fresh.empty()) std::memcpy(m_vertices.Data(), fresh.data(), sizeof(DVertex) * fresh.size());
  SetPresence(kHasVertices, m_vertices.Count());
  UpdateBases();
  Optimize();
  SetPresence(kHasNormals, m_normals.Count());
}

void DRenderShape::MergePositions(std::vector<int>& map) {
  const int kept = MergeDuplicates<Vector3, VectorTraits>(m_vectors.Data(), m_vectors.Count(), map);
  if (kept == m_vectors.Count()) return;
  m_vectors.Resize(kept);
  for (int i = 0; i < m_vertices.Count(); ++i) m_vertices[i].vector = Remap(map, m_vertices[i].vector);
}

void DRenderShape::MergeNormals(std::vector<int>& map) {
  const int kept = MergeDuplicates<Vector3, VectorTraits>(m_normals.Data(), m_normals.Count(), map);
  if (kept == m_normals.Count()) return;
  m_normals.Resize(kept);
  for (int i = 0; i < m_vertices.Count(); ++i) m_vertices[i].normal = Remap(map, m_vertices[i].normal);
  for (int f = 0; f < m_faceCount; ++f) m_faces[f]->SetNormal(Remap(map, m_faces[f]->GetNormalNo()));
}

void DRenderShape::MergeVertices(std::vector<int>& map) {
  const int kept = MergeDuplicates<DVertex, VertexTraits>(m_vertices.Data(), m_vertices.Count(), map);
  if (kept == m_vertices.Count()) return;
  m_vertices.Resize(kept);
  for (int f = 0; f < m_faceCount; ++f) {
    int* indices = m_faces[f]->GetIndexData();
    for (int k = 0; k < m_faces[f]->GetNumVertices(); ++k) indices[k] = Remap(map, indices[k]);
  }
}

void DRenderShape::Optimize() {
  CheckFaces();
  OwnFaces();
  std::vector<int> map;  // old index -> new, shared by the three merges
  MergePositions(map);
  MergeNormals(map);
  MergeVertices(map);
  m_vectors.Shrink();
  m_normals.Shrink();
  m_vertices.Shrink();
  m_edges.Shrink();
  UpdateBases();
  SortFacesByMaterial();
  Touch();
}

// ---- Transforming in place ----

void DRenderShape::Transform(const DTransform& t) {
  TransformVectors(t);
  TransformNormals(t);
}

void DRenderShape::TransformVectors(const DTransform& t) {
  if (m_vectors.Count() > 0) t.TransformPoints(m_vectors.Data(), m_vectors.Count());
  Touch();
}

void DRenderShape::TransformNormals(const DTransform& t) {
  if (m_normals.Count() > 0) t.TransformNormals(m_normals.Data(), m_normals.Count());
  Touch();
}

void DRenderShape::BackTransform(const DTransform& t) {
  BackTransformVectors(t);
  BackTransformNormals(t);
}

void DRenderShape::BackTransformVectors(const DTransform& t) {
  if (m_vectors.Count() > 0) t.BackTransformPoints(m_vectors.Data(), m_vectors.Count());
  Touch();
}

void DRenderShape::BackTransformNormals(const DTransform& t) {
  if (m_normals.Count() > 0) t.BackTransformNormals(m_normals.Data(), m_normals.Count());
  Touch();
}
