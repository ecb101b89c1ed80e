#pragma once

#include <cstdint>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"

// An animated water surface: a square grid of (N + 1)^2 vertices over
// size x by size z around the origin, its heights the sum of two waves,
//   y = B cos(pz + kz z) + A sin(px + kx x),
// drawn with texture coordinates that reflect the camera's view in the
// surface (a cheap environment map).
//
// Animation: SetAnimated(true) registers the update that advances the wave
// phases (px += dt / 1000, pz = 1.15543 px); SetAnimated(false) removes it.
// The scene that shows the plane turns it on while its drawable is shown
// and off when it is hidden, so that a plane out of view costs nothing.
// The update is removed when the plane is destroyed.
//
// As a collision volume the plane is the box of size (size x, 2 (A + B),
// size z) around its origin. The grid lives in shape space: the shape
// transform does not move it.
class CTWaterPlane : public CTShape {
  QIBO_CLASS(CTWaterPlane)

 public:
  static constexpr uint32_t kGridState = 0x116;  // local, shared, two-sided, lit
  static constexpr double kPhaseRatio = 1.15543;
  // Alpha of the vertices without a material.
  static constexpr float kDefaultAlpha = 0.7f;

  explicit CTWaterPlane(const char* name = "Waterplane");
  ~CTWaterPlane() override;

  // Both sizes; a size that is negative or not finite is refused (false).
  bool SetSize(double size);
  double GetSizeX() const { return m_sizeX; }
  double GetSizeZ() const { return m_sizeZ; }
  // Grid cells per side, 1..1024; others are refused (false).
  bool SetResolution(int n);
  int GetResolution() const { return m_n; }
  void SetAmplitudes(double a, double b);
  double GetAmplitudeA() const { return m_ampA; }
  double GetAmplitudeB() const { return m_ampB; }
  void SetWaveNumbers(double kx, double kz);
  double GetWaveNumberX() const { return m_kx; }
  double GetWaveNumberZ() const { return m_kz; }
  void SetPhases(double px, double pz);
  double GetPhaseX() const { return m_px; }
  double GetPhaseZ() const { return m_pz; }
  // The further scale value the plane carries (1.0); not used for drawing.
  float GetScale() const { return m_scale; }

  // Registers (true) or removes (false) the animation update.
  void SetAnimated(bool animated);
  bool IsAnimated() const { return m_animated; }
  // The animation step: dt milliseconds.
  void Update(int32_t dt);

  // The surface height and unit normal above (x, z), shape space.
  double GetHeightAt(double x, double z) const;
  Vector3 GetNormalAt(double x, double z) const;

  // Rebuilds the grid layout (positions flat, normals up, colours from the
  // material) and marks the heights stale.
  void BuildGrid() { BuildGrid(m_material.Get()); }
  // The same with the vertex colours and alpha of material (white and 0.7
  // without one).
  void BuildGrid(CTMaterial* material);
  // Heights and normals of every vertex from the current phases.
  void UpdateHeights();
  bool HeightsValid() const { return m_heightsValid; }
  bool IsGridBuilt() const { return m_gridBuilt; }

  // The surface over (p.x, p.z); kNoY outside the plane's extent.
  double GetMaxY(const Vector3& p) override;
  double GetMaxYAndNormal(const Vector3& p, Vector3& normal) override;
  Vector3 GetNormal(const Vector3& p) override;
  // (+-size x / 2, +-(A + B), +-size z / 2) by the signs of d.
  Vector3 GetSupport(const Vector3& d) override;
  bool IsConvex() const override { return true; }
  Ref<CTShape> GetBoundingBox() override;
  Ref<CTShape> GetBoundingVolume() override { return GetBoundingBox(); }
  intersect_t CheckWithPoint(const Vector3& p, const DTransform* transform) override;
  intersect_t CheckWithHalfspace(const Plane3& plane, const DTransform* transform) override;
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;
  bool GetBoxExtent(Vector3& centre, Vector3& half) const override;
  double CalcVolume() override;
  double CalcArea() override;

  // The grid (built on first use).
  DRenderShape* GetRenderShape() override;
  // Computes the reflection texture coordinates for the camera of info
  // and draws the grid.
  void Render(const RenderInfo_t& info, CTMaterial* material) override;
  // The reflection texture coordinates for an eye point in shape space and
  // the entity's world transform (null: identity). Public so that the
  // mapping can be checked without a renderer.
  void ComputeReflection(const Vector3& eye, const DTransform* world);

 private:
  Vector3 HalfExtent() const;

  DRenderShape m_grid;
  double m_sizeX = 10.0;
  double m_sizeZ = 10.0;
  int m_n = 20;
  double m_ampA = 0.1;
  double m_ampB = 0.04;
  double m_kx = 1.0;
  double m_kz = 1.0;
  float m_px = 0.0f;
  float m_pz = 0.0f;
  float m_scale = 1.0f;
  bool m_heightsValid = false;
  bool m_gridBuilt = false;
  bool m_animated = false;
  CTMaterial* m_gridMaterial = nullptr;  // the material the colours were taken from
};
