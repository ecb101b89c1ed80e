#pragma once

#include "core/geometry/CTShape.h"
#include "core/geometry/ShapeKit.h"
#include "core/object/DSetterBinding.h"

// A quad of width w (along X) and height h (along Y) centred on its origin
// in the plane z = 0, with a thickness t along Z for the tests: point,
// half-space and line tests answer for the box w x h x t around the origin
// (a thickness of 0 makes it flat). The bounding box and sphere enclose that
// box; the support function is the base's.
//
// Its render shape: four vertices (texture (0, 1) at the lower left to
// (1, 0) at the upper right, so that a picture stands upright), two
// triangles facing -Z, drawn from both sides.
class CTSprite : public CTShape {
  QIBO_CLASS(CTSprite)

 public:
  static constexpr uint32_t kChunkID = 0x618D3E78;  // float w, float h, float t

  explicit CTSprite(const char* name = "Sprite") : CTShape(name) {}
  CTSprite(const CTSprite& other) = default;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // Sizes must be finite and not negative; others are refused with a
  // warning (false) and nothing changes.
  bool SetSize(double width, double height);
  bool SetSize(double size) { return SetSize(size, size); }
  bool SetThickness(double thickness);
  float GetWidth() const { return m_width; }
  float GetHeight() const { return m_height; }
  float GetThickness() const { return m_thickness; }

  CTShape* Copy() const override { return new CTSprite(*this); }
  bool IsConvex() const override { return true; }
  Ref<CTShape> GetBoundingSphere() override;
  Ref<CTShape> GetBoundingBox() override;
  intersect_t CheckWithPoint(const Vector3& p, const DTransform* transform) override;
  intersect_t CheckWithHalfspace(const Plane3& plane, const DTransform* transform) override;
  bool GetBoxExtent(Vector3& centre, Vector3& half) const override {
    centre = Vector3();
    half = Half();
    return true;
  }
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;
  DRenderShape* GetRenderShape() override;

 private:
  Vector3 Half() const { return Vector3(m_width, m_height, m_thickness) * 0.5f; }
  void BuildRenderShape();

  float m_width = 1.0f;
  float m_height = 1.0f;
  float m_thickness = 0.0f;
  // Width, Height and Thickness written as properties go through SetSize and
  // SetThickness.
  qibo::DSetterBinding<float, 2> m_sizeBinding{1.0f, 1.0f};
  qibo::DSetterBinding<float> m_thicknessBinding{0.0f};
  DShapeMesh m_render;
};
