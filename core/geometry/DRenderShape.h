#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/DFace.h"
#include "core/geometry/DPool.h"
#include "core/scene/math/Vector3.h"

class CTMaterial;
class DTransform;

// An edge between two vertices (for vector edges: two positions) and the
// faces on either side; face1 is -1 while only one face uses it.
struct DEdge {
  int start = 0;
  int end = 0;
  int face0 = -1;
  int face1 = -1;
};
static_assert(sizeof(DEdge) == 16);

// The engine's polygon mesh: four shared pools (positions, normals,
// vertices, edges) and a list of faces. Shapes build one to hand geometry to
// the renderer; importers build one per model.
//
// Ownership: the shape owns its pools and its faces. With a base shape, the
// first GetBaseFaceCount() faces of the list belong to the base and are
// never deleted here (the clone stage borrows faces this way); a face list
// marked as not owned is not freed either.
//
// The change stamp grows with every change made through the shape's
// operations, setters included; a renderer that keeps a copy on the GPU
// compares it. Code that writes into the pools directly calls Touch().
//
// Where the memory for more elements cannot be had, the operation is
// refused with a logged error (engine log): an Add answers -1 or null, a
// count setter or CopyFrom leaves the shape as it was, and an algorithm
// stops before it changes anything.
//
// Not thread-safe: one thread works on a shape at a time.
class DRenderShape {
 public:
  // Flags word.
  static constexpr uint32_t kHasVectors = 0x01;
  static constexpr uint32_t kHasNormals = 0x02;
  static constexpr uint32_t kHasVertices = 0x04;
  static constexpr uint32_t kHasEdges = 0x08;
  static constexpr uint32_t kHasFaces = 0x10;
  // Two elements are the same when every component differs by less.
  static constexpr float kMergeTolerance = 1e-5f;

  DRenderShape();
  ~DRenderShape();
  DRenderShape(const DRenderShape&) = delete;
  DRenderShape& operator=(const DRenderShape&) = delete;

  // Frees the pools, deletes the own faces, forgets the base shape, zeroes
  // the materials, the state and the flags.
  void Clear();
  // A deep copy: pools, faces field by field, materials, state and flags.
  // The base shape link is not copied. False, the shape unchanged, when the
  // memory for the copy cannot be had.
  bool CopyFrom(const DRenderShape& other);

  int GetIdentifier() const { return m_identifier; }
  void SetIdentifier(int id) {
    m_identifier = id;
    Touch();
  }

  // ---- Pools ----
  int GetVertexCount() const { return m_vertices.Count(); }
  int GetNormalCount() const { return m_normals.Count(); }
  int GetVectorCount() const { return m_vectors.Count(); }
  int GetEdgeCount() const { return m_edges.Count(); }
  int GetFaceCount() const { return m_faceCount; }
  // Each sets its presence flag for a non-zero count and clears it at zero;
  // a negative or refused count changes nothing.
  void SetVertexCount(int count);
  void SetNormalCount(int count);
  void SetVectorCount(int count);
  void SetEdgeCount(int count);
  // New faces come from DFace::New; surplus own faces are deleted.
  void SetFaceCount(int count);

  DVertex* GetVertices() { return m_vertices.Data(); }
  const DVertex* GetVertices() const { return m_vertices.Data(); }
  Vector3* GetNormals() { return m_normals.Data(); }
  const Vector3* GetNormals() const { return m_normals.Data(); }
  Vector3* GetVectors() { return m_vectors.Data(); }
  const Vector3* GetVectors() const { return m_vectors.Data(); }
  DEdge* GetEdges() { return m_edges.Data(); }
  const DEdge* GetEdges() const { return m_edges.Data(); }
  DFace* GetFace(int i) const { return m_faces[i]; }
  // The pools themselves, for stages that copy them whole. Whoever changes
  // one calls UpdateBases() and Touch() afterwards, and keeps the presence
  // flags in step.
  DPool<DVertex>& VertexPool() { return m_vertices; }
  const DPool<DVertex>& VertexPool() const { return m_vertices; }
  DPool<Vector3>& NormalPool() { return m_normals; }
  const DPool<Vector3>& NormalPool() const { return m_normals; }
  DPool<Vector3>& VectorPool() { return m_vectors; }
  const DPool<Vector3>& VectorPool() const { return m_vectors; }
  DPool<DEdge>& EdgePool() { return m_edges; }
  const DPool<DEdge>& EdgePool() const { return m_edges; }
  DFace* const* GetFaces() const { return m_faces; }

  // Appends p and a vertex referring to it; the vertex index (-1 when
  // refused). The vertex's other fields are the caller's to fill.
  int AddVertex(const Vector3& p);
  // Appends both positions, a vertex for each and an edge joining them; the
  // edge index, or -1 (and nothing added) when refused.
  int AddEdge(const Vector3& a, const Vector3& b);
  int AddNormal(const Vector3& n);
  // Appends a new face and returns it; null when refused.
  DFace* AddFace();

  Vector3& GetFaceNormal(int i) const { return m_faces[i]->GetNormal(m_bases); }
  const DBases& GetBases() const { return m_bases; }
  void UpdateBases() { m_bases.SetRenderShape(*this); }

  // Drops, with a logged error, every face that refers outside the pools
  // (a vertex, a vertex's position, the face normal unless -1, or, for a
  // face drawn with per-vertex normals, a vertex's normal); the number
  // dropped. Borrowed faces leave the list but are not deleted. Every
  // algorithm below runs it first, so none reads through a bad index.
  int CheckFaces();

  // ---- Algorithms ----
  // An algorithm that rewrites faces first replaces borrowed faces by own
  // copies (the base's stay as they are) and forgets the base shape.
  //
  // Normal pool sized to the face count; face i gets normal i, recomputed
  // (zero for a face of fewer than three vertices). The faces lose their
  // per-vertex normal flags: those normals' slots now hold face normals.
  void RecalcFaceNormals();
  // Per-vertex normals from smoothing groups: faces sharing a group bit and
  // a vertex index add their normals at that vertex; every face gets its
  // own vertices, then Optimize merges them again. Linear for meshes with at
  // most 64 faces at a vertex; at a vertex with more the sums are the same
  // up to rounding.
  void ApplySmoothingGroups();
  // Edges between vertices (BuildEdges) or positions (BuildVectorEdges); an
  // edge walked in opposite directions by two faces is shared by them (the
  // first such edge; a later face walking it takes the second face slot).
  // Linear time.
  void BuildEdges();
  void BuildVectorEdges();
  // Merges equal positions, then equal normals, then equal vertices (same
  // position and normal, texture coordinates within the tolerance; the
  // colour is not compared), each equal to the first earlier kept one;
  // shrinks the pools and sorts the faces by material, keeping the order of
  // equal materials. Runs in about linear time. The edge pool is not
  // remapped: build edges afterwards. A vertex index outside its pool
  // becomes -1 when its pool is merged.
  void Optimize();

  // ---- Transforming in place ----
  void Transform(const DTransform& t);
  void TransformVectors(const DTransform& t);
  void TransformNormals(const DTransform& t);
  void BackTransform(const DTransform& t);
  void BackTransformVectors(const DTransform& t);
  void BackTransformNormals(const DTransform& t);

  // ---- Render state ----
  CTMaterial* GetMaterial() const { return m_material; }
  // Setting the material it already has is no change.
  void SetMaterial(CTMaterial* material) {
    if (m_material == material) return;
    m_material = material;
    Touch();
  }
  // Filled by the pipeline from the material service when empty.
  CTMaterial* GetDefaultMaterial() const { return m_defaultMaterial; }
  void SetDefaultMaterial(CTMaterial* material) {
    m_defaultMaterial = material;
    Touch();
  }
  uint32_t GetState() const { return m_state; }
  // The top eight bits only record what one pipeline run drew (set and
  // cleared every frame): changing just those is no change of the shape.
  void SetState(uint32_t state) {
    const bool changed = ((m_state ^ state) & 0x00FFFFFFu) != 0;
    m_state = state;
    if (changed) Touch();
  }
  uint32_t GetFlags() const { return m_flags; }
  void SetFlags(uint32_t flags) {
    m_flags = flags;
    Touch();
  }
  uint32_t GetChangeStamp() const { return m_stamp; }
  void Touch() { ++m_stamp; }

  // ---- Borrowed faces ----
  DRenderShape* GetBaseShape() const { return m_baseShape; }
  int GetBaseFaceCount() const { return m_baseFaceCount; }
  // The first count faces of this shape's list are base's: they are never
  // deleted here. Faces are appended with AddFace or copied by
  // BorrowFaces.
  void SetBaseShape(DRenderShape* base, int count);
  // Replaces the face list by pointers to base's faces (shared, not
  // copied): this shape's own faces are deleted first. False, the shape
  // unchanged, when the list cannot be had.
  bool BorrowFaces(DRenderShape& base);
  // The face storage belongs to someone else and is not freed here.
  void SetFaceStorageNotOwned(bool notOwned) {
    m_facesNotOwned = notOwned;
    Touch();
  }

 private:
  // Deletes the own faces and empties the list.
  void RemoveFaces();
  bool ReserveFaces(int capacity);
  void SortFacesByMaterial();
  bool AppendFace(DFace* face);
  // Replaces the borrowed faces by own copies and forgets the base: an
  // algorithm that rewrites faces must not change the base's.
  void OwnFaces();
  // Sets flag for a non-zero count, clears it at zero.
  void SetPresence(uint32_t flag, int count);
  // Normal pool of exactly the face count, face i's normal in slot i; false,
  // nothing changed, when the pool cannot grow.
  bool ComputeFaceNormals();
  // BuildEdges over vertex indices, or over position indices.
  void BuildEdgeList(bool byPosition);
  // Optimize's three merges; each remaps whatever refers to its pool.
  // map is scratch space.
  void MergePositions(std::vector<int>& map);
  void MergeNormals(std::vector<int>& map);
  void MergeVertices(std::vector<int>& map);

  int m_identifier = -1;
  DBases m_bases;
  DRenderShape* m_baseShape = nullptr;
  int m_baseFaceCount = 0;
  DPool<DVertex> m_vertices;
  DPool<DEdge> m_edges;
  DPool<Vector3> m_normals;
  bool m_facesNotOwned = false;
  int m_faceCount = 0;
  int m_faceCapacity = 0;
  DFace** m_faces = nullptr;
  DPool<Vector3> m_vectors;
  CTMaterial* m_material = nullptr;         // not counted
  CTMaterial* m_defaultMaterial = nullptr;  // not counted
  uint32_t m_state = 0;                     // the pipeline's state bits
  uint32_t m_flags = 0;
  uint32_t m_stamp = 0;
};
