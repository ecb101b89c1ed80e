#pragma once

#include <vector>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/object/Ref.h"

// A set of points in shape space, with a render shape of its own that the
// importers fill with the model's vertices and faces (GetRenderShape hands
// it out for that; UsePointsOfRenderShape then takes its positions as the
// points).
//
// The support function is exact on the points. The half-space test is
// exact on the points (0 without any); the point and line tests answer for
// the points' axis-aligned bounds (0 without any points). GetMaxY walks the
// render shape's faces.
//
// Chunks (both written with level-of-detail bit 0x2):
//   0x15CF1021  int n, then n points (Vector3)
//   0x15CF1022  the render shape: int n, n positions (Vector3); int n, n
//               normals (Vector3); int n, n vertices (float r, g, b, a, u,
//               v, int position, int normal); int n, n faces (int a, b, c,
//               int normal, int flags, int smoothing groups, reference
//               material)
// A count above kMaxStreamCount, or of more records than the rest of its
// chunk holds, refuses the chunk before anything is made (points stay as
// they were, the render shape is left empty); faces that refer outside the
// pools are dropped.
class CTPointShape : public CTShape {
  QIBO_CLASS(CTPointShape)

 public:
  static constexpr uint32_t kChunkID = 0x15CF1021;
  static constexpr uint32_t kMeshChunkID = 0x15CF1022;
  static constexpr int kMaxStreamCount = 1 << 20;
  // Point sets this small are cheaper to draw than to cull.
  static constexpr int kCullThreshold = 20;

  explicit CTPointShape(const char* name = "Pointshape");
  CTPointShape(const CTPointShape& other);

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // Removes the points and empties the render shape.
  virtual void Clear();

  // Points must be finite; others are refused with a warning (false).
  bool AddPoint(const Vector3& p);
  int GetPointCount() const { return static_cast<int>(m_points.size()); }
  const std::vector<Vector3>& GetPoints() const { return m_points; }
  // The render shape's positions become the points.
  void UsePointsOfRenderShape();
  // Takes counted references on the materials the faces point at (and lets
  // go of the others): for whoever sets face materials through
  // GetRenderShape, so that they live as long as the shape.
  void HoldFaceMaterials();

  CTShape* Copy() const override { return new CTPointShape(*this); }
  void ApplyTransform(const DTransform& t) override;
  Vector3 GetSupport(const Vector3& d) override;
  Vector3 GetNormal(const Vector3&) override { return Vector3(); }
  double GetMaxY(const Vector3& p) override;
  bool IsConvex() const override { return true; }
  bool WorthCulling() const override { return GetPointCount() > kCullThreshold; }
  // Around the origin, reaching the farthest point; null without points.
  Ref<CTShape> GetBoundingSphere() override;
  intersect_t CheckWithPoint(const Vector3& p, const DTransform* transform) override;
  intersect_t CheckWithHalfspace(const Plane3& plane, const DTransform* transform) override;
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;
  DRenderShape* GetRenderShape() override;

 private:
  // The points' bounds as centre and half extents; false without points.
  bool Bounds(Vector3& centre, Vector3& half) const;
  void WriteMesh(Stream* stream);
  void ReadMesh(Stream* stream);

  std::vector<Vector3> m_points;
  DRenderShape m_mesh;
  std::vector<Ref<CTMaterial>> m_faceMaterials;
};
