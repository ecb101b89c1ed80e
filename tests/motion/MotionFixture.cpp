#include "tests/motion/MotionFixture.h"

#include "core/kernel/Kernel.h"

namespace qibo::test {

void MotionFixture::SetUp() {
  ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
  StartLog();
  ASSERT_NE(Updates(), nullptr);
  Tick(0);
}

DefUpdateManager* MotionFixture::Updates() {
  return qibo::Cast<DefUpdateManager>(qibo::GetService<CTUpdateManager>());
}

void MotionFixture::Tick(int32_t elapsed, int n) {
  for (int i = 0; i < n; ++i) Updates()->Tick(elapsed);
}

}  // namespace qibo::test
