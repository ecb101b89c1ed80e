#pragma once

#include "core/geometry/CTShape.h"
#include "core/geometry/ShapeKit.h"
#include "core/object/DSetterBinding.h"

// A sphere around its origin.
//
// Its render shape is a latitude-longitude mesh with smooth normals: render
// quality q gives 8q segments around the Y axis and 4q from pole to pole
// (q = 2: 16 x 8). Texture u runs once around, v from the top pole (0) to
// the bottom one (1).
class CTSphere : public CTShape {
  QIBO_CLASS(CTSphere)

 public:
  static constexpr uint32_t kChunkID = 0x0169D761;  // double radius, int render quality
  // 256 segments around, 128 down: about 65,000 triangles, far beyond what
  // any sphere on screen shows.
  static constexpr int kMaxQuality = 32;

  explicit CTSphere(const char* name = "Sphere") : CTShape(name) {}
  CTSphere(const CTSphere& other) = default;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // The radius must be finite and not negative; others are refused with a
  // warning (false).
  bool SetRadius(double radius);
  double GetRadius() const { return m_radius; }
  // Values below 1 are ignored (with a warning); values above kMaxQuality
  // are cut to it.
  void SetRenderQuality(int quality);
  int GetRenderQuality() const { return m_quality; }

  double CalcVolume() override;
  double CalcArea() override;
  CTShape* Copy() const override { return new CTSphere(*this); }
  Vector3 GetSupport(const Vector3& d) override;
  Vector3 GetNormal(const Vector3& p) override;
  double GetMaxY(const Vector3& p) override;
  bool IsConvex() const override { return true; }
  intersect_t CheckWithPoint(const Vector3& p, const DTransform* transform) override;
  intersect_t CheckWithHalfspace(const Plane3& plane, const DTransform* transform) override;
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;
  DRenderShape* GetRenderShape() override;

 protected:
  void UpdateCWMatrix() override;

 private:
  void BuildRenderShape();

  double m_radius = 0.5;
  double m_radius2 = 0.25;
  int m_quality = 2;
  // Radius and RenderQuality written as properties go through their setters.
  qibo::DSetterBinding<double> m_radiusBinding{0.5};
  qibo::DSetterBinding<int> m_qualityBinding{2};
  DShapeMesh m_render;
};
