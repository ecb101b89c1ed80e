#pragma once

#include "core/geometry/CTShape.h"
#include "core/geometry/ShapeKit.h"
#include "core/object/DSetterBinding.h"

// A box centred on its origin: full edge lengths x, y, z. Corners, in index
// order: 0 (-,-,-), 1 (+,-,-), 2 (+,-,+), 3 (-,-,+), 4 (-,+,-), 5 (+,+,-),
// 6 (+,+,+), 7 (-,+,+) of the half dimensions.
//
// Its render shape: the 8 corners, the normals +X, +Y, +Z, -X, -Y, -Z, four
// vertices per side and two triangles per side, listed by sides 0, 3, 1, 4,
// 2, 5; the X sides use the material "Box X-direction material" (red), the
// Y sides "Box Y-direction material" (green), the Z sides "Box Z-direction
// material" (blue), from the material service.
class CTBox : public CTShape {
  QIBO_CLASS(CTBox)

 public:
  static constexpr uint32_t kChunkID = 0xFC519ED3;  // dimensions (vector)
  static constexpr const char* kSideMaterialNames[3] = {
      "Box X-direction material", "Box Y-direction material", "Box Z-direction material"};

  explicit CTBox(const char* name = "Cube") : CTShape(name) {}
  explicit CTBox(double edge) : CTBox() { SetDimensions(edge); }
  explicit CTBox(const Vector3& dimensions) : CTBox() { SetDimensions(dimensions); }
  CTBox(const CTBox& other) = default;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // Edge lengths must be finite and not negative; others are refused with a
  // warning (false) and the box keeps its size.
  bool SetDimensions(double edge);
  bool SetDimensions(const Vector3& dimensions);
  const Vector3& GetDimensions() const { return m_dimensions; }
  const Vector3& GetHalfDimensions() const { return m_half; }
  // Corner i (0..7, see above) in shape space, the pivot not added.
  Vector3 GetCorner(int i) const;

  double CalcVolume() override;
  double CalcArea() override;
  CTShape* Copy() const override { return new CTBox(*this); }
  Vector3 GetSupport(const Vector3& d) override;
  // The normal of the side whose plane is nearest to p.
  Vector3 GetNormal(const Vector3& p) override;
  double GetMaxY(const Vector3& p) override;
  bool IsConvex() const override { return true; }
  Ref<CTShape> GetBoundingSphere() override;
  Ref<CTShape> GetBoundingBox() override { return Ref<CTShape>(this); }
  Ref<CTShape> GetBoundingVolume() override { return Ref<CTShape>(this); }
  intersect_t CheckWithPoint(const Vector3& p, const DTransform* transform) override;
  intersect_t CheckWithHalfspace(const Plane3& plane, const DTransform* transform) override;
  bool GetBoxExtent(Vector3& centre, Vector3& half) const override {
    centre = Centre();
    half = m_half;
    return true;
  }
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;
  DRenderShape* GetRenderShape() override;

 protected:
  void UpdateCWMatrix() override;
  // The box's centre in shape space: the origin, or a CTBBox's pivot (its
  // shape transform's position). Not virtual: the frustum test asks for it
  // once per plane.
  Vector3 Centre() const {
    return m_pivoted && m_transform.HasPosition() ? m_transform.GetPosition() : Vector3();
  }

  bool m_pivoted = false;  // a CTBBox: the shape transform's position is the centre

 private:
  void BuildRenderShape();

  Vector3 m_dimensions;
  Vector3 m_half;
  // Width, Height and Depth written as properties go through SetDimensions.
  qibo::DSetterBinding<float, 3> m_dimensionsBinding{0.0f, 0.0f, 0.0f};
  DShapeMesh m_render;
  // The side materials the faces point at, held while the mesh uses them.
  CountedPtr<CTMaterial> m_sideMaterials[3];
};
