#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/kernel/DefUpdateManager.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/scene/CTEntity.h"
#include "tests/support/EngineFixture.h"

namespace qibo::test::scenes {

// The engine's log and message manager run from the start of each test,
// with rand() seeded. World time passes only through Tick, so every run is
// the same.
class DemoSceneFixture : public EngineFixture {
 protected:
  void SetUp() override;

  static DefUpdateManager* Updates();
  // The engine, started (it keeps the always-drawn list).
  static DefEngineManager* Engine();
  // n frames of elapsed milliseconds each: the message manager's tick,
  // then the collision pass and the physics step of the services that run.
  static void Tick(int32_t elapsed, int n = 1);
};

// Position and rotation of every entity under root (root included), in tree
// order, and the phases of the tubes and water surfaces they draw: equal
// signatures mean nothing moved.
std::vector<float> MotionSignature(CTEntity* root);

}  // namespace qibo::test::scenes
