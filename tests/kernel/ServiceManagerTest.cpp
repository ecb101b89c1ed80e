#include <gtest/gtest.h>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "tests/support/EngineFixture.h"

// Test services. The outer one depends on the inner one: the inner one must
// be stopped first.
class CTTestService : public CTManager {
  QIBO_CLASS(CTTestService)
};
class TestServiceImpl : public CTTestService {
  QIBO_CLASS(TestServiceImpl)

 public:
  static inline std::vector<std::string> s_stops;
  void DependOn(CTManager* dependent) { AddDependency(dependent); }

 protected:
  bool DoStop() override {
    s_stops.push_back(GetCD()->GetName().c_str());
    return true;
  }
};
class TestDependentService : public TestServiceImpl {
  QIBO_CLASS(TestDependentService)
};
class TestStubbornService : public CTManager {
  QIBO_CLASS(TestStubbornService)

 public:
  static inline int s_refusals = 0;

 protected:
  bool DoStop() override {
    ++s_refusals;
    return false;
  }
};
class TestNotAManager : public CTReferenced {
  QIBO_CLASS(TestNotAManager)
};

QIBO_IMPLEMENT_CLASS(CTTestService, CTManager, .desc = "Test service", .isAbstract = true)
QIBO_IMPLEMENT_CLASS(TestServiceImpl, CTTestService, .desc = "Test service")
QIBO_IMPLEMENT_CLASS(TestDependentService, TestServiceImpl, .desc = "Dependent service")
QIBO_IMPLEMENT_CLASS(TestStubbornService, CTManager, .desc = "Stubborn service")
QIBO_IMPLEMENT_CLASS(TestNotAManager, CTReferenced)

namespace {

class ServiceManagerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    TestServiceImpl::s_stops.clear();
    qiBO_RegisterClass(TestServiceImpl::_CD());
  }
};

}  // namespace

TEST_F(ServiceManagerTest, InterfaceAndImplementationFindOneService) {
  EXPECT_EQ(qiBO_FindService(CTTestService::_CD()), nullptr);
  CTManager* byInterface = qiBO_GetService(CTTestService::_CD());
  ASSERT_NE(byInterface, nullptr);
  EXPECT_EQ(byInterface->GetCD(), TestServiceImpl::_CD());
  EXPECT_EQ(qiBO_GetService(TestServiceImpl::_CD()), byInterface);
  EXPECT_EQ(qiBO_GetService(TestServiceImpl::_CD()->ID()), byInterface);
  EXPECT_EQ(qiBO_FindService(CTTestService::_CD()), byInterface);
  EXPECT_TRUE(byInterface->IsStarted());
  EXPECT_STREQ(byInterface->GetName(), "Test service");
  // The class manager is itself a service and answers its interface.
  EXPECT_EQ(qiBO_GetService(CTClassManager::_CD()), qiBO_FindService(qibo::ClassId("DefClassManager")));
}

TEST_F(ServiceManagerTest, ServiceByNameAcceptsClassNameShortNameAndDescription) {
  CTManager* service = qiBO_GetService(CTTestService::_CD());
  EXPECT_EQ(qiBO_GetServiceByName("TestServiceImpl"), service);
  EXPECT_EQ(qiBO_GetServiceByName("testservice"), service);   // "CT" + name finds the interface
  EXPECT_EQ(qiBO_GetServiceByName("test SERVICE"), service);  // the description
  EXPECT_EQ(qiBO_FindServiceByName("class manager"), qiBO_GetService(CTClassManager::_CD()));
  EXPECT_EQ(qiBO_GetServiceByName("no such thing"), nullptr);
}

TEST_F(ServiceManagerTest, NonManagersAndUnknownIdsGiveNull) {
  qiBO_RegisterClass(TestNotAManager::_CD());
  EXPECT_EQ(qiBO_GetService(TestNotAManager::_CD()), nullptr);
  EXPECT_EQ(qiBO_GetService(TestNotAManager::_CD()->ID()), nullptr);
  EXPECT_EQ(qiBO_GetService(0x12345678u), nullptr);
  EXPECT_EQ(qiBO_GetService(static_cast<const ClassDesc*>(nullptr)), nullptr);
  EXPECT_EQ(TestNotAManager::_CD()->GetInstances(), 0);
}

TEST_F(ServiceManagerTest, ContextBindsOnlyThisKernel) {
  qiBO_Context context;
  qiBO_GetContext(&context);
  EXPECT_EQ(context.version, 11u);
  EXPECT_NE(context.serviceManager, nullptr);
  EXPECT_TRUE(qiBO_SetContext(&context));
  qiBO_Context other = context;
  other.version = 12;
  EXPECT_FALSE(qiBO_SetContext(&other));
  other.version = 0;
  EXPECT_TRUE(qiBO_SetContext(&other));
  other.serviceManager = nullptr;
  EXPECT_FALSE(qiBO_SetContext(&other));
  EXPECT_FALSE(qiBO_SetContext(nullptr));
  CTManager stranger;
  other.serviceManager = &stranger;
  EXPECT_FALSE(qiBO_SetContext(&other));
}

TEST_F(ServiceManagerTest, DeinitStopsEverythingAndRequestsRestart) {
  CTManager* first = qiBO_GetService(CTTestService::_CD());
  ASSERT_NE(first, nullptr);
  const int32_t alive = TestServiceImpl::_CD()->GetInstances();
  qiBO_Deinit();
  EXPECT_EQ(TestServiceImpl::s_stops, std::vector<std::string>{"TestServiceImpl"});
  EXPECT_EQ(TestServiceImpl::_CD()->GetInstances(), alive - 1);
  EXPECT_EQ(qiBO_FindService(CTTestService::_CD()), nullptr);
  // The registry was emptied with the class manager: register again.
  qiBO_RegisterClass(TestServiceImpl::_CD());
  CTManager* again = qiBO_GetService(CTTestService::_CD());
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->IsStarted());
}

TEST_F(ServiceManagerTest, ShutdownStopsDependentsFirst) {
  qiBO_RegisterClass(TestDependentService::_CD());
  auto* inner = qibo::GetService<TestServiceImpl>();
  auto* outer = static_cast<TestServiceImpl*>(qiBO_GetService(TestDependentService::_CD()));
  ASSERT_NE(inner, nullptr);
  ASSERT_NE(outer, nullptr);
  ASSERT_NE(inner, outer);
  inner->DependOn(outer);
  qiBO_Deinit();
  EXPECT_EQ(TestServiceImpl::s_stops, (std::vector<std::string>{"TestDependentService", "TestServiceImpl"}));
}

TEST_F(ServiceManagerTest, ShutdownGivesUpOnAServiceThatRefusesToStop) {
  qiBO_RegisterClass(TestStubbornService::_CD());
  CTManager* stubborn = qiBO_GetService(TestStubbornService::_CD());
  ASSERT_NE(stubborn, nullptr);
  qiBO_GetService(CTTestService::_CD());
  qiBO_Deinit();  // must return
  EXPECT_GE(TestStubbornService::s_refusals, 10);
  EXPECT_EQ(TestStubbornService::_CD()->GetInstances(), 0);  // released all the same
  EXPECT_EQ(TestServiceImpl::s_stops, std::vector<std::string>{"TestServiceImpl"});
}

TEST_F(ServiceManagerTest, ServiceListStartsWithTheServiceManager) {
  auto* services = qibo::GetService<CTServiceManager>();
  ASSERT_NE(services, nullptr);
  EXPECT_EQ(services->GetServiceNo(0), services);
  EXPECT_STREQ(services->GetName(), "Service manager");
  EXPECT_EQ(services->GetServiceNo(-1), nullptr);
  EXPECT_EQ(services->GetServiceNo(services->GetServiceCount()), nullptr);
  EXPECT_FALSE(services->SetClassManagerClass(CTClassManager::_CD()));  // abstract
  EXPECT_FALSE(services->SetClassManagerClass(TestServiceImpl::_CD()));
}
