#pragma once

#include "core/geometry/CTShape.h"

// A sphere around its origin.
class CTSphere : public CTShape {
  QIBO_CLASS(CTSphere)

 public:
  static constexpr uint32_t kChunkID = 0x0169D761;  // double radius, int render quality

  explicit CTSphere(const char* name = "Sphere") : CTShape(name) {}
  CTSphere(const CTSphere& other) = default;

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  void SetRadius(double radius);
  double GetRadius() const { return m_radius; }
  // Values below 1 are ignored.
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

 protected:
  void UpdateCWMatrix() override;

 private:
  double m_radius = 0.5;
  double m_radius2 = 0.25;
  int m_quality = 2;
};
