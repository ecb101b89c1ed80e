#pragma once

#include <cstdint>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/object/CountedPtr.h"

// A tube swept along an animated knot curve, optionally with a flat shadow
// band below it on the plane y = -19.
//
// The tube is 100 rings of 12 vertices around the curve, rebuilt on every
// engine update from the curve at the current phase (which advances 100
// degrees a second). The torus registers its update when it is constructed
// and removes it when it is destroyed.
//
// Two outputs follow a slow angle s that grows 3 degrees per update:
// a = 8 sin s and b = 8 - a; scenes use them to move things in step.
class CTTorus1 : public CTShape {
  QIBO_CLASS(CTTorus1)

 public:
  static constexpr int kRings = 100;
  static constexpr int kSides = 12;
  static constexpr int kTubeVertices = kRings * kSides;  // 1200
  static constexpr int kTubeFaces = 2 * kTubeVertices;   // 2400
  static constexpr int kShadowVertices = 2 * kRings;     // 200
  static constexpr double kShadowY = -19.0;
  static constexpr uint32_t kTubeState = 0x110;    // local space, shared
  static constexpr uint32_t kShadowState = 0x116;  // local, shared, two-sided, lit
  // Steps along the curve and around the tube.
  static constexpr double kRingStep = 0.06283186;
  static constexpr double kSideStep = 0.5235988;

  explicit CTTorus1(const char* name = "Torus");
  ~CTTorus1() override;

  // The curve point at parameter u along the curve and phase t for a mode
  // (1..5; any other value gives a plain circle of radius 8).
  static Vector3 CurvePoint(int mode, double u, double t);
  // Whether the tube radius pulses in that mode.
  static bool Pulses(int mode) { return mode == 4 || mode == 5; }

  void SetMode(int mode) { m_mode = mode; }
  int GetMode() const { return m_mode; }
  // The shadow band is built and drawn only while enabled; it needs the
  // material "ShadowMat", made on first use.
  void EnableShadow(bool enable);
  bool IsShadowEnabled() const { return m_shadow; }

  // Lays out vertex references and faces of both render shapes, then runs
  // the update once with no elapsed time so that the positions are set.
  void Build();
  bool IsBuilt() const { return m_built; }
  // Advances the phase by dt milliseconds and, when built, rebuilds the
  // positions and normals; also steps the slow angle.
  void Update(int32_t dt);

  double GetA() const { return m_a; }
  double GetB() const { return m_b; }
  double GetPhase() const { return m_phase; }
  void SetPhase(double phase) { m_phase = static_cast<float>(phase); }
  double GetSlowAngle() const { return m_s; }

  // The tube.
  DRenderShape* GetRenderShape() override { return &m_tube; }
  DRenderShape* GetShadowShape() { return &m_shadowShape; }
  // Draws the tube with material (the shape's own when null) and, when
  // enabled and built, the shadow with "ShadowMat".
  void Render(const RenderInfo_t& info, CTMaterial* material) override;
  // The farthest tube position in direction d (the origin before Build).
  Vector3 GetSupport(const Vector3& d) override;
  // A fixed box around everything the torus can draw in any mode and phase
  // (the curve stays within 12 of the origin and the tube within 3 of the
  // curve; with the shadow it reaches down to the band), so that a volume
  // kept by a drawable stays valid while the tube moves.
  Ref<CTShape> GetBoundingBox() override;
  Ref<CTShape> GetBoundingVolume() override { return GetBoundingBox(); }
  static constexpr double kReach = 15.0;

 private:
  void BuildTube();
  void BuildShadow();
  // Positions and normals from the curve at the current phase.
  void Reshape();

  DRenderShape m_tube;
  DRenderShape m_shadowShape;
  CountedPtr<CTMaterial> m_shadowMaterial;
  int m_mode = 1;
  float m_phase = 0.0f;
  bool m_shadow = false;
  bool m_built = false;
  double m_s = 0.0;
  double m_a = 0.0;
  double m_b = 8.0;
};
