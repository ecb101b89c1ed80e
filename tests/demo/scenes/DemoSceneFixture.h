#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/kernel/DefUpdateManager.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/object/Ref.h"
#include "core/scene/CTEntity.h"
#include "tests/support/TempDir.h"

namespace qibo::test::scenes {

// Each test runs in a directory of its own with the engine's log and
// message manager running and rand() seeded, and ends with qiBO_Deinit.
// Objects made through Make are held until the end of the test. World time
// passes only through Tick, so every run is the same.
class DemoSceneFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <class T>
  T* Make() {
    Ref<T> object = qibo::Create<T>();
    m_owned.emplace_back(object.Get());
    return object.Get();
  }

  static DefUpdateManager* Updates();
  // The engine, started (it keeps the always-drawn list).
  static DefEngineManager* Engine();
  // n ticks of the message manager, elapsed milliseconds each.
  static void Tick(int32_t elapsed, int n = 1);

  TempDir m_dir;
  std::vector<Ref<CTReferenced>> m_owned;
};

// Position and rotation of every entity under root (root included), in tree
// order, and the phases of the tubes and water surfaces they draw: equal
// signatures mean nothing moved.
std::vector<float> MotionSignature(CTEntity* root);

}  // namespace qibo::test::scenes
