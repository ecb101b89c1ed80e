#include "tests/motion/MotionFixture.h"

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"

namespace qibo::test {

void MotionFixture::SetUp() {
  ASSERT_TRUE(m_dir.Enter());
  qiBO_GetErrorsCount();  // the log runs from the start
  ASSERT_NE(Updates(), nullptr);
  Tick(0);
}

void MotionFixture::TearDown() {
  m_owned.clear();
  qiBO_Deinit();
  m_dir.Leave();
}

DefUpdateManager* MotionFixture::Updates() {
  return qibo::Cast<DefUpdateManager>(qibo::GetService<CTUpdateManager>());
}

void MotionFixture::Tick(int32_t elapsed, int n) {
  for (int i = 0; i < n; ++i) Updates()->Tick(elapsed);
}

bool MotionFixture::Logged(const std::string& text) {
  for (int i = 0; i < qiBO_GetErrorsCount(); ++i)
    if (std::string(qiBO_GetErrorNo(i)->message).find(text) != std::string::npos) return true;
  return false;
}

}  // namespace qibo::test
