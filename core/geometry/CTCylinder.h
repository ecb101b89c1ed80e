#pragma once

#include "core/geometry/CTShape.h"
#include "core/geometry/ShapeKit.h"
#include "core/object/DSetterBinding.h"

// A solid cylinder around the Y axis, centred on its origin: radius r,
// height h, from y = -h/2 to y = +h/2.
//
// Its render shape, for n segments (the render quality): 2n side vertices,
// a bottom and a top one at angle t = 2 pi i / n, (r sin t, -+h/2, r cos t),
// texture u = i / n and v = 0 (bottom) or h / (2 pi r) (top); the side of
// segment i has one flat normal at its middle angle and two triangles. Each
// drawn cap adds n rim vertices with texture coordinates
// ((sin t + 1) / 2, (cos t + 1) / 2), a centre vertex at (0.5, 0.5) and n
// triangles, all with the cap's normal (0, -+1, 0).
class CTCylinder : public CTShape {
  QIBO_CLASS(CTCylinder)

 public:
  static constexpr uint32_t kChunkID = 0x81ACDC60;  // double r, double h, int segments, char bottom, char top
  static constexpr int kDefaultSegments = 8;

  explicit CTCylinder(const char* name = "Cylinder") : CTShape(name) {}
  CTCylinder(const CTCylinder& other) = default;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // Sizes must be finite and not negative; others are refused with a
  // warning (false) and nothing changes.
  bool SetDimensions(double radius, double height);
  bool SetRadius(double radius) { return SetDimensions(radius, m_height); }
  bool SetHeight(double height) { return SetDimensions(m_radius, height); }
  double GetRadius() const { return m_radius; }
  double GetHeight() const { return m_height; }
  // Segments around the axis: at least 3 (fewer are ignored, with a
  // warning); more than 1024 are cut to 1024.
  void SetRenderQuality(int segments);
  int GetRenderQuality() const { return m_segments; }
  // Whether the bottom (y = -h/2) and the top cap are drawn.
  void SetRenderCaps(bool bottom, bool top);
  bool GetBottomCap() const { return m_bottomCap; }
  bool GetTopCap() const { return m_topCap; }

  double CalcVolume() override;
  double CalcArea() override;
  CTShape* Copy() const override { return new CTCylinder(*this); }
  Vector3 GetSupport(const Vector3& d) override;
  // The normal of the nearer of the mantle and the caps.
  Vector3 GetNormal(const Vector3& p) override;
  double GetMaxY(const Vector3& p) override;
  bool IsConvex() const override { return true; }
  Ref<CTShape> GetBoundingSphere() override;
  Ref<CTShape> GetBoundingBox() override;
  intersect_t CheckWithPoint(const Vector3& p, const DTransform* transform) override;
  intersect_t CheckWithHalfspace(const Plane3& plane, const DTransform* transform) override;
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;
  DRenderShape* GetRenderShape() override;

 private:
  void BuildRenderShape();
  void AddCap(DRenderShape& mesh, bool top);

  double m_radius = 0.5;
  double m_height = 1.0;
  double m_radius2 = 0.25;
  double m_halfHeight = 0.5;
  bool m_bottomCap = true;
  bool m_topCap = true;
  int m_segments = kDefaultSegments;
  // Radius, Height and the segment count written as properties go through
  // their setters.
  qibo::DSetterBinding<double, 2> m_dimensionsBinding{0.5, 1.0};
  qibo::DSetterBinding<int> m_segmentsBinding{kDefaultSegments};
  DShapeMesh m_render;
};
