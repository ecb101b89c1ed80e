#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/scene/math/Vector3.h"
#include "tests/support/EngineFixture.h"

namespace qibo::test {

// Each effect test drives the timed updates by ticking the message manager
// by hand.
class EffectsFixture : public EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    m_updates = qibo::GetService<CTUpdateManager>();
    ASSERT_NE(m_updates, nullptr);
    ASSERT_TRUE(m_updates->IsStarted());
  }
  // One engine update after ms of world time.
  void Tick(int32_t ms) { m_updates->Tick(ms); }

  static void ExpectNear(const Vector3& actual, const Vector3& expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
  }

  CTUpdateManager* m_updates = nullptr;
};

}  // namespace qibo::test
