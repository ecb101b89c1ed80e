#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/kernel/DefUpdateManager.h"
#include "core/object/Ref.h"
#include "core/scene/math/Vector3.h"
#include "tests/support/TempDir.h"

namespace qibo::test {

// Each test runs in a directory of its own with the engine's log and
// message manager running, and ends with qiBO_Deinit. Objects made through
// Make are held until the end of the test.
class MotionFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <class T>
  T* Make(const char* name) {
    Ref<T> object = qibo::Create<T>();
    object->SetName(name);
    m_owned.emplace_back(object.Get());
    return object.Get();
  }

  static DefUpdateManager* Updates();
  // n ticks of the message manager, elapsed milliseconds each.
  static void Tick(int32_t elapsed, int n = 1);
  static bool Logged(const std::string& text);

  TempDir m_dir;
  std::vector<Ref<CTReferenced>> m_owned;
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
