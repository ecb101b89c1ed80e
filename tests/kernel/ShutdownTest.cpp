#include <gtest/gtest.h>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/CTFrontEndManager.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "tests/support/TempDir.h"

// Every service that needs no engine, requested and shut down twice. The
// sanitizers fail the test program on a leak or a use after free.
TEST(ShutdownTest, EngineFreeServicesStartAndStopCleanly) {
  qibo::test::TempDir dir;
  ASSERT_TRUE(dir.Enter());
  const ClassDesc* interfaces[] = {CTServiceManager::_CD(), CTClassManager::_CD(),    CTErrorManager::_CD(),
                                   CTUpdateManager::_CD(),  CTFrontEndManager::_CD(), CTPlugInManager::_CD()};
  for (int round = 0; round < 2; ++round) {
    for (const ClassDesc* cd : interfaces) {
      CTManager* service = qiBO_GetService(cd);
      ASSERT_NE(service, nullptr) << cd->GetName().c_str();
      EXPECT_TRUE(service->IsStarted()) << cd->GetName().c_str();
    }
    auto* services = qibo::FindService<CTServiceManager>();
    ASSERT_NE(services, nullptr);
    EXPECT_EQ(services->GetServiceCount(), 6);
    qiBO_Deinit();
    for (const ClassDesc* cd : interfaces) EXPECT_EQ(qiBO_FindService(cd), nullptr) << cd->GetName().c_str();
  }
}
