#include "core/geometry/DFace.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

#include "core/geometry/DRenderShape.h"

namespace {

// ---- The face pool ----
// Released faces wait in a list; New takes the most recent one. One mutex
// guards the list, so faces may be made and released on any thread (an
// importer may run on a worker). The pool frees its faces when the process
// ends; a face released after that is freed directly.

enum : int { kPoolUnborn, kPoolAlive, kPoolGone };
std::atomic<int> g_poolState{kPoolUnborn};  // constant-initialised, outlives the pool

class FacePool {
 public:
  FacePool() { g_poolState.store(kPoolAlive); }
  ~FacePool() {
    std::lock_guard<std::mutex> lock(m_mutex);
    g_poolState.store(kPoolGone);
    for (DFace* face : m_free) delete face;
    m_free.clear();
  }
  DFace* Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_free.empty()) return nullptr;
    DFace* face = m_free.back();
    m_free.pop_back();
    return face;
  }
  void Give(DFace* face) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_free.push_back(face);
  }

 private:
  std::mutex m_mutex;
  std::vector<DFace*> m_free;
};

FacePool* Pool() {
  if (g_poolState.load() == kPoolGone) return nullptr;
  static FacePool pool;
  return &pool;
}

}  // namespace

// ---- DBases ----

void DBases::SetRenderShape(const DRenderShape& shape) {
  // The view writes through to the shape's pools, as the faces do.
  normals = const_cast<Vector3*>(shape.GetNormals());
  vectors = const_cast<Vector3*>(shape.GetVectors());
  vertices = const_cast<DVertex*>(shape.GetVertices());
  normalCount = shape.GetNormalCount();
  vectorCount = shape.GetVectorCount();
  vertexCount = shape.GetVertexCount();
}

// ---- DFace ----

DFace* DFace::New() {
  if (FacePool* pool = Pool()) {
    if (DFace* face = pool->Take()) {
      face->Clear();
      return face;
    }
  }
  return new DFace;
}

void DFace::Delete() {
  if (FacePool* pool = Pool())
    pool->Give(this);
  else
    delete this;
}

void DFace::Clear() {
  m_flags = 0;
  std::fill(std::begin(m_spare), std::end(m_spare), 0u);
  m_count = 0;
  std::fill(std::begin(m_vertices), std::end(m_vertices), 0);
  std::fill(std::begin(m_edges), std::end(m_edges), -1);
  m_normal = -1;
  m_smoothing = 0xFFFFFFFFu;
  m_material = nullptr;
}

bool DFace::AddVertex(int vertex) {
  if (m_count >= 3) return false;
  m_vertices[m_count++] = vertex;
  return true;
}

void DFace::SetVertices(int a, int b, int c) {
  m_vertices[0] = a;
  m_vertices[1] = b;
  m_vertices[2] = c;
  m_count = 3;
}

bool DFace::ContainsVertex(int vertex) const {
  for (int i = 0; i < m_count; ++i)
    if (m_vertices[i] == vertex) return true;
  return false;
}

Vector3& DFace::GetNormal(const DBases& bases, int i) const {
  if (m_flags & kVertexNormals) return bases.normals[GetVertex(bases, i).normal];
  return GetNormal(bases);
}

void DFace::UpdateNormal(const DBases& bases) {
  if (m_count < 3 || !bases.ValidNormal(m_normal)) return;
  const Vector3& p0 = GetVector(bases, 0);
  bases.normals[m_normal] = (GetVector(bases, 1) - p0).Cross(GetVector(bases, 2) - p0).Normalized();
}

Vector3 DFace::PlaneNormal(const DBases& bases) const {
  if (bases.ValidNormal(m_normal)) return bases.normals[m_normal];
  if (m_count < 3) return Vector3();
  const Vector3& p0 = GetVector(bases, 0);
  return (GetVector(bases, 1) - p0).Cross(GetVector(bases, 2) - p0).Normalized();
}

float DFace::GetPlaneDist(const DBases& bases) const {
  return m_count > 0 ? PlaneNormal(bases).Dot(GetVector(bases, 0)) : 0.0f;
}

Plane3 DFace::GetPlane(const DBases& bases) const {
  Plane3 plane;
  plane.normal = PlaneNormal(bases);
  plane.d = m_count > 0 ? plane.normal.Dot(GetVector(bases, 0)) : 0.0f;
  return plane;
}

void DFace::Flip() {
  std::reverse(m_vertices, m_vertices + m_count);
  // Edge j joins vertex j-1 and j: after reversing, slot j holds old slot
  // (count - j) mod count.
  if (m_count > 1) std::reverse(m_edges + 1, m_edges + m_count);
}

float DFace::CalcArea(const DBases& bases) const {
  // A fan around vertex 0.
  float area = 0.0f;
  for (int i = 2; i < m_count; ++i) {
    const Vector3& p0 = GetVector(bases, 0);
    area += 0.5f * (GetVector(bases, i - 1) - p0).Cross(GetVector(bases, i) - p0).Length();
  }
  return area;
}

float DFace::CalcVolume(const DBases& bases) const {
  if (m_count < 3) return 0.0f;
  return -(1.0f / 3.0f) * CalcArea(bases) * PlaneNormal(bases).Dot(GetVector(bases, 0));
}

Vector3 DFace::MidPoint(const DBases& bases) const {
  Vector3 sum;
  for (int i = 0; i < m_count; ++i) sum += GetVector(bases, i);
  return m_count > 0 ? sum / static_cast<float>(m_count) : sum;
}

int DFace::CheckAgainstPlane(const DBases& bases, const Plane3& plane) const {
  int inFront = 0;
  for (int i = 0; i < m_count; ++i)
    if (plane.normal.Dot(GetVector(bases, i)) > plane.d) ++inFront;
  return inFront;
}

bool DFace::CheckAgainstPlaneIn(const DBases& bases, const Plane3& plane) const {
  return CheckAgainstPlane(bases, plane) == 0;
}

bool DFace::CheckAgainstPlaneOut(const DBases& bases, const Plane3& plane) const {
  return m_count > 0 && CheckAgainstPlane(bases, plane) < m_count;
}

bool DFace::CheckConvexity(const DBases& bases) const {
  if (m_count <= 3) return true;  // a triangle is convex, whatever rounding says
  Vector3 first;
  for (int i = 0; i < m_count; ++i) {
    const Vector3& a = GetVector(bases, i);
    const Vector3 e0 = GetVector(bases, (i + 1) % m_count) - a;
    const Vector3 e1 = GetVector(bases, (i + 2) % m_count) - GetVector(bases, (i + 1) % m_count);
    const Vector3 turn = e0.Cross(e1);
    if (i == 0)
      first = turn;
    else if (turn.Dot(first) < 0.0f)
      return false;
  }
  return true;
}

bool DFace::IsUnder(const DBases& bases, const Vector3& p) const {
  if (m_count < 3) return false;
  const Vector3 normal = PlaneNormal(bases);
  const Vector3* prev = &GetVector(bases, m_count - 1);
  for (int i = 0; i < m_count; ++i) {
    const Vector3& cur = GetVector(bases, i);
    if ((cur - *prev).Cross(p - *prev).Dot(normal) < 0.0f) return false;
    prev = &cur;
  }
  return true;
}
