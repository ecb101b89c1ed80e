#pragma once

#include "core/geometry/CTShape.h"

// A box centred on its origin: full edge lengths x, y, z. Corners, in index
// order: 0 (-,-,-), 1 (+,-,-), 2 (+,-,+), 3 (-,-,+), 4 (-,+,-), 5 (+,+,-),
// 6 (+,+,+), 7 (-,+,+) of the half dimensions.
class CTBox : public CTShape {
  QIBO_CLASS(CTBox)

 public:
  static constexpr uint32_t kChunkID = 0xFC519ED3;  // dimensions (vector)

  explicit CTBox(const char* name = "Cube") : CTShape(name) {}
  explicit CTBox(double edge) : CTBox() { SetDimensions(edge); }
  explicit CTBox(const Vector3& dimensions) : CTBox() { SetDimensions(dimensions); }
  CTBox(const CTBox& other) = default;

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  void SetDimensions(double edge);
  void SetDimensions(const Vector3& dimensions);
  const Vector3& GetDimensions() const { return m_dimensions; }
  const Vector3& GetHalfDimensions() const { return m_half; }
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
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;

 protected:
  void UpdateCWMatrix() override;
  // The box's own point for a test point already in shape space (the pivot
  // of a CTBBox is taken off here).
  virtual Vector3 Local(const Vector3& p) const { return p; }

 private:
  Vector3 m_dimensions;
  Vector3 m_half;
};
