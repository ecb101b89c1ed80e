#pragma once

#include <cstdint>
#include <limits>

#include "core/geometry/CTSphere.h"
#include "core/object/CountedPtr.h"
#include "core/object/Ref.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"
#include "demo/effects/CTWaterPlane.h"
#include "demo/scenes/CTDemoScene.h"

// The third scene: a water tank into which balls rain.
//
// - The room: three boxes of "ConwayMat" (white, texture "cubes1", power
//   100): a floor 100 x 0.5 x 100 whose top is at y = -1.5, a wall 0.5 x 49
//   x 98 along x = -50 and a wall 98 x 49 x 0.5 along z = 50; the tank is
//   open towards +x and -z.
// - The water: a plane of size 99 at y = 0 with both wave amplitudes ten
//   times their defaults (A 1.0, B 0.4), material "WaterMat" (texture
//   "cubes2", alpha 0.6); the plane is also its drawable's collision volume.
// - An environment whose region is the water plane (fog density 1, ambient
//   light (0, 1, 1), the density of water): a camera inside the waves sees
//   the murky water, and the balls in it float and drag.
// - Balls ("BolMat": white, specular, texture "cubes3"; radius kBallRadius)
//   appear every 100 ms at (x, 45, z), x and z uniform in -10 .. 10, unless
//   the frame rate is below 35 and more than 20 balls exist. Each is a
//   rigid body (CTSplashController) of kBallDensity; balls pass through
//   each other (one collision group). A ball falls under gravity,
//   splashes on the water (a bounce with kBallRestitution), then passes
//   through the surface and sinks through the water, and is removed once
//   its centre is below y = -1. The frame rate is estimated from each
//   update as 1 / (elapsed x 0.001).
//
// While inactive the balls hang still, the waves stand and the water's
// environment is not registered with the engine.
//
// Extent in root coordinates: (-50, -2, -50) .. (50, 47.5, 50); the balls
// fall in the column x, z of -11 .. 11 from y = 45. Framing: from the open
// corner, a camera at (60, 40, -60) looking at (0, 10, 0) shows the whole
// tank; a camera at (0, 15, -35) looking along +z at (0, 15, 0) watches
// the lower half of the rain hit the water (new balls appear above its
// view).
class CTWaterTankScene : public CTDemoScene {
  QIBO_CLASS(CTWaterTankScene)

 public:
  static constexpr int32_t kSpawnPeriod = 100;  // ms
  static constexpr float kSpawnHeight = 45.0f;
  static constexpr float kRemoveBelow = -1.0f;
  static constexpr double kMinFrameRate = 35.0;
  static constexpr int kCrowd = 20;  // below kMinFrameRate no ball joins more than this many
  static constexpr double kBallRadius = 0.6;
  static constexpr double kWaterSize = 99.0;
  static constexpr double kWaveScale = 10.0;
  static constexpr float kWaterDensity = 1000.0f;  // kg per cubic metre
  static constexpr double kBallDensity = 2000.0;   // kg per cubic metre: a ball sinks
  static constexpr float kBallRestitution = 0.45f;
  // The water's collision group, which a ball joins after its splash; the
  // balls' own, so that they pass through each other as they rain.
  static constexpr uint32_t kWaterGroup = 0x20;
  static constexpr uint32_t kBallGroup = 0x40;

  explicit CTWaterTankScene(const char* name = "Water tank scene");
  ~CTWaterTankScene() override;

  CTGroup* GetBalls() const { return m_balls.Get(); }
  int GetBallCount() const { return m_balls ? m_balls->NumChildren() : 0; }
  CTWaterPlane* GetWater() const { return m_water.Get(); }
  CTDrawable* GetWaterDrawable() const { return m_waterDrawable; }
  CTEnvironment* GetEnvironment() const { return m_environment.Get(); }
  // Frames per second from the last update; infinite before the first.
  double GetFrameRate() const { return m_frameRate; }

 protected:
  void DoBuild() override;
  void OnActivate() override;
  void OnDeactivate() override;
  void Animate(int32_t elapsed) override;

 private:
  // The 100 ms update: one new ball, unless the frame rate rule forbids it.
  void Spawn(int32_t elapsed);
  void BuildRoom(CTGroup* parent);
  void AddBall();
  void RemoveFallenBalls();
  // Runs or stops every ball's controller.
  void EnableBalls(bool enable);

  Ref<CTGroup> m_balls;  // also a child of the root
  Ref<CTWaterPlane> m_water;
  CTDrawable* m_waterDrawable = nullptr;  // held by the root
  Ref<CTEnvironment> m_environment;       // also a child of the root
  Ref<CTSphere> m_ball;
  CountedPtr<CTMaterial> m_ballMaterial;
  double m_frameRate = std::numeric_limits<double>::infinity();
};
