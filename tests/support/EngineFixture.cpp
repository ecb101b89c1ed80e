#include "tests/support/EngineFixture.h"

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"

namespace qibo::test {

void EngineFixture::SetUp() { ASSERT_TRUE(m_dir.Enter()); }

void EngineFixture::TearDown() {
  m_owned.clear();
  qiBO_Deinit();
  m_dir.Leave();
}

void EngineFixture::StartLog() { qiBO_GetErrorsCount(); }

int EngineFixture::CountLogged(const std::string& text) {
  int count = 0;
  for (int i = 0; i < qiBO_GetErrorsCount(); ++i)
    if (std::string(qiBO_GetErrorNo(i)->message).find(text) != std::string::npos) ++count;
  return count;
}

}  // namespace qibo::test
