#pragma once

#include <cstdint>

#include "core/object/Ref.h"
#include "core/scene/CTDrawable.h"
#include "demo/effects/CTTorus1.h"
#include "demo/scenes/CTDemoScene.h"

// The second scene: three knot tubes. A centre tube in mode 3 (material
// "Torus1Mat", texture "cubes3") turns about the vertical axis over its
// shadow band; two satellites, mode 4 ("Torus2Mat", texture "cubes4") and
// mode 5 ("Torus1Mat"), circle it on opposite sides at kOrbitRadius. The
// centre tube's outputs move the satellites: one rides at height a, the
// other at height b - 8, so they bob in opposite phase as a swings from -8
// to 8.
//
// Extent in root coordinates: about (-36, -23, -36) .. (36, 23, 36), the
// satellites' paths included; the centre tube within 13 of the origin, its
// shadow band on y = -19. Framing: a camera at (0, 20, -85) looking at the
// origin shows the whole dance; at (0, 0, -45) the centre tube fills the
// view with the satellites sweeping past.
class CTDoubleTorusScene : public CTDemoScene {
  QIBO_CLASS(CTDoubleTorusScene)

 public:
  static constexpr double kOrbitRadius = 20.0;
  static constexpr double kOrbitRate = 0.3;  // radians per second
  static constexpr double kTurnRate = 0.5;   // the centre tube, radians per second

  explicit CTDoubleTorusScene(const char* name = "Double torus scene");

  // 0: the centre tube (mode 3), 1 and 2: the satellites (modes 4 and 5).
  CTTorus1* GetTorus(int i) const { return i >= 0 && i < 3 ? m_tori[i].Get() : nullptr; }
  CTDrawable* GetTorusDrawable(int i) const { return i >= 0 && i < 3 ? m_drawables[i] : nullptr; }

 protected:
  void DoBuild() override;
  void Animate(int32_t elapsed) override;

 private:
  // Places the satellites from the orbit angle and the centre's outputs.
  void Place();

  Ref<CTTorus1> m_tori[3];
  CTDrawable* m_drawables[3] = {};  // held by the root
  double m_orbit = 0.0;
  double m_turn = 0.0;
};
