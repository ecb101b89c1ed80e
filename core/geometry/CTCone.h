#pragma once

#include "core/geometry/CTShape.h"
#include "core/geometry/ShapeKit.h"
#include "core/object/DSetterBinding.h"

// A solid cone around the Y axis: its base, a disc of radius r, lies in the
// plane y = 0 around the origin, its apex at (0, h, 0).
//
// Its render shape has kSegments segments: per segment one mantle triangle
// from two rim vertices to an apex vertex of its own (smooth normals across
// the mantle; u = angle / 2 pi, v = 1 at the rim and 0 at the apex), and a
// base disc with its centre, flat, facing -Y.
//
// Point and half-space tests are not answered (0); the support function,
// the line test and the bounding volumes are exact.
class CTCone : public CTShape {
  QIBO_CLASS(CTCone)

 public:
  static constexpr uint32_t kChunkID = 0x6FB65AD0;  // double r, double h
  static constexpr int kSegments = 16;

  explicit CTCone(const char* name = "Cone") : CTShape(name) {}
  CTCone(const CTCone& other) = default;

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

  double CalcVolume() override;
  double CalcArea() override;
  CTShape* Copy() const override { return new CTCone(*this); }
  // The apex or the rim point farthest along d (the base's centre for a d
  // along the axis when the base is farther).
  Vector3 GetSupport(const Vector3& d) override;
  Vector3 GetNormal(const Vector3&) override { return Vector3(1, 0, 0); }
  bool IsConvex() const override { return true; }
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;
  DRenderShape* GetRenderShape() override;

 private:
  void BuildRenderShape();

  double m_radius = 0.5;
  double m_height = 1.0;
  // Radius and Height written as properties go through SetDimensions.
  qibo::DSetterBinding<double, 2> m_dimensionsBinding{0.5, 1.0};
  DShapeMesh m_render;
};
