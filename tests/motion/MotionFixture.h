#pragma once

#include <gtest/gtest.h>

#include "core/kernel/DefUpdateManager.h"
#include "core/scene/math/Vector3.h"
#include "tests/support/EngineFixture.h"

namespace qibo::test {

// The engine's log and message manager run from the start of each test.
class MotionFixture : public EngineFixture {
 protected:
  void SetUp() override;

  static DefUpdateManager* Updates();
  // n ticks of the message manager, elapsed milliseconds each.
  static void Tick(int32_t elapsed, int n = 1);
};

inline void ExpectNear(const Vector3& a, const Vector3& b) {
  EXPECT_NEAR((a - b).Length(), 0.0f, 1e-4f)
      << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y << ", " << b.z << ")";
}

// Compared as rotations (q and -q are one) and as unit quaternions.
inline void ExpectSameRotation(const Quaternion& a, const Quaternion& b) {
  const float s = a.Dot(b) < 0.0f ? -1.0f : 1.0f;
  const float d[4] = {a.x - s * b.x, a.y - s * b.y, a.z - s * b.z, a.w - s * b.w};
  for (float c : d) EXPECT_NEAR(c, 0.0f, 1e-5f) << a.x << " " << a.y << " " << a.z << " " << a.w;
  EXPECT_NEAR(a.Dot(a), 1.0f, 1e-5f);
}

}  // namespace qibo::test
