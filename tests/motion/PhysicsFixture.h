#pragma once

#include <cstdint>

#include "core/geometry/CTCollisionManager.h"
#include "core/motion/CTDynaController.h"
#include "core/motion/DefPhysicsManager.h"
#include "core/scene/CTEntity.h"
#include "core/scene/CTEnvironment.h"
#include "tests/motion/MotionFixture.h"

namespace qibo::test {

// The motion fixture with the collision and physics services and the
// engine running (its default environment is the world's medium: Earth's
// gravity and air unless a test changes it). Steps are what a frame does
// for collisions and physics, without rendering.
class PhysicsFixture : public MotionFixture {
 protected:
  void SetUp() override;

  static DefPhysicsManager* Physics();
  static CTCollisionManager* Collisions();
  static CTEnvironment* World();
  // n frames of ms milliseconds: the collision pass, then the physics step.
  static void Step(int32_t ms, int n = 1);

  // An entity held by the fixture at position, with a collision volume
  // when one is given (registered with the collision service).
  CTEntity* Body(const char* name, Vector3 at, CTShape* volume = nullptr);
  // Its dynamics, enabled, with mass.
  CTDynaController* Dynamics(CTEntity* entity, double mass);
  // Volumes held by the fixture.
  CTShape* BoxVolume(Vector3 size);
  CTShape* BallVolume(double radius);
};

}  // namespace qibo::test
