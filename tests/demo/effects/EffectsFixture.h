#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/scene/math/Vector3.h"
#include "tests/support/TempDir.h"

namespace qibo::test {

// Each effect test runs in a directory of its own with a fresh engine, and
// drives the timed updates by ticking the message manager by hand.
class EffectsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Enter());
    qiBO_Init();
    m_updates = qibo::GetService<CTUpdateManager>();
    ASSERT_NE(m_updates, nullptr);
    ASSERT_TRUE(m_updates->IsStarted());
  }
  void TearDown() override {
    qiBO_Deinit();
    m_dir.Leave();
  }
  // One engine update after ms of world time.
  void Tick(int32_t ms) { m_updates->Tick(ms); }

  static void ExpectNear(const Vector3& actual, const Vector3& expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
  }

  TempDir m_dir;
  CTUpdateManager* m_updates = nullptr;
};

}  // namespace qibo::test
