#pragma once

#include <cstdint>

#include "core/scene/math/Plane3.h"
#include "core/scene/math/Vector3.h"

class CTMaterial;
class DRenderShape;

// One corner of a face: a position and a normal (by index into the shape's
// pools), a texture coordinate and a colour. Several vertices may share a
// position and differ in normal or texture coordinate.
struct DVertex {
  float r = 0.0f, g = 0.0f, b = 0.0f;  // 0..1; the renderer clamps at 1
  float a = 0.0f;                      // carried and copied, not interpreted
  float u = 0.0f, v = 0.0f;
  int vector = 0;  // index into the position pool
  int normal = 0;  // index into the normal pool
};
static_assert(sizeof(DVertex) == 32);

// A view of one render shape's pools. Pools move when they grow: refresh the
// view (SetRenderShape, DRenderShape::UpdateBases) after adding elements.
// The counts let every face access check its indices.
struct DBases {
  Vector3* normals = nullptr;
  Vector3* vectors = nullptr;
  DVertex* vertices = nullptr;
  int normalCount = 0;
  int vectorCount = 0;
  int vertexCount = 0;

  void SetRenderShape(const DRenderShape& shape);
  bool ValidNormal(int i) const { return i >= 0 && i < normalCount; }
  bool ValidVector(int i) const { return i >= 0 && i < vectorCount; }
  bool ValidVertex(int i) const { return i >= 0 && i < vertexCount; }
};

// A triangle (or a face still being built) of a render shape. Its indices
// refer to the pools of the shape it belongs to, reached through a DBases.
// Faces come from a process-wide pool: make them with New() and give them
// back with Delete(); a shape owns the faces in its list.
//
// Accessors that take DBases do not check indices; DRenderShape::CheckFaces
// drops faces that refer outside the pools before any algorithm reads them.
class DFace {
 public:
  static constexpr uint32_t kSmoothed = 0x1;
  static constexpr uint32_t kVertexNormals = 0x2;  // use per-vertex normals

  DFace() { Clear(); }

  static DFace* New();
  void Delete();

  void Clear();
  // False (nothing stored) when the face already has three vertices.
  bool AddVertex(int vertex);
  void SetVertices(int a, int b, int c);
  void ClearVertices() { m_count = 0; }
  bool IsTriangle() const { return m_count == 3; }
  int GetNumVertices() const { return m_count; }
  int GetVertexNo(int i) const { return m_vertices[i]; }
  int* GetIndexData() { return m_vertices; }
  const int* GetIndexData() const { return m_vertices; }
  bool ContainsVertex(int vertex) const;

  DVertex& GetVertex(const DBases& bases, int i) const { return bases.vertices[m_vertices[i]]; }
  int GetVectorNo(const DBases& bases, int i) const { return GetVertex(bases, i).vector; }
  Vector3& GetVector(const DBases& bases, int i) const { return bases.vectors[GetVectorNo(bases, i)]; }
  Vector3& GetNormal(const DBases& bases) const { return bases.normals[m_normal]; }
  // The i-th vertex's normal for a smoothed face, else the face normal.
  Vector3& GetNormal(const DBases& bases, int i) const;
  int GetNormalNo() const { return m_normal; }
  void SetNormal(int normal) { m_normal = normal; }
  // normalise((P1 - P0) x (P2 - P0)) into the face's normal slot; a face
  // with fewer than three vertices or without a slot is left alone.
  void UpdateNormal(const DBases& bases);
  void UpdatePlane(const DBases& bases) { UpdateNormal(bases); }
  float GetPlaneDist(const DBases& bases) const;
  Plane3 GetPlane(const DBases& bases) const;
  // Reverses the winding.
  void Flip();

  float CalcArea(const DBases& bases) const;
  // The face's signed share of the volume of a closed mesh.
  float CalcVolume(const DBases& bases) const;
  Vector3 MidPoint(const DBases& bases) const;

  // The number of vertices strictly in front of the plane (n . p > d).
  int CheckAgainstPlane(const DBases& bases, const Plane3& plane) const;
  // No vertex strictly in front (an empty face: true).
  bool CheckAgainstPlaneIn(const DBases& bases, const Plane3& plane) const;
  // At least one vertex not strictly in front (an empty face: false).
  bool CheckAgainstPlaneOut(const DBases& bases, const Plane3& plane) const;
  bool CheckConvexity(const DBases& bases) const;
  // Whether p projects into the face along its normal.
  bool IsUnder(const DBases& bases, const Vector3& p) const;

  uint32_t GetFlags() const { return m_flags; }
  void SetFlags(uint32_t flags) { m_flags = flags; }
  uint32_t GetSmoothingGroups() const { return m_smoothing; }
  void SetSmoothingGroups(uint32_t groups) { m_smoothing = groups; }
  CTMaterial* GetMaterial() const { return m_material; }
  void SetMaterial(CTMaterial* material) { m_material = material; }
  int GetEdgeNo(int i) const { return m_edges[i]; }
  void SetEdgeNo(int i, int edge) { m_edges[i] = edge; }
  uint32_t GetSpare(int i) const { return m_spare[i]; }
  void SetSpare(int i, uint32_t value) { m_spare[i] = value; }

 private:
  // The stored face normal where the face has a slot, else the normal of
  // its first three positions (zero for fewer).
  Vector3 PlaneNormal(const DBases& bases) const;

  uint32_t m_flags = 0;
  uint32_t m_spare[4] = {};  // copied with the face, not interpreted
  int m_count = 0;
  int m_vertices[3] = {};
  int m_edges[3] = {-1, -1, -1};  // edge j joins vertex j-1 and vertex j
  int m_normal = -1;
  uint32_t m_smoothing = 0xFFFFFFFFu;
  CTMaterial* m_material = nullptr;  // not counted
};
