#include <gtest/gtest.h>

#include "core/devices/CTUserJoystick.h"
#include "core/devices/DefDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"
#include "core/persist/IniFile.h"
#include "tests/devices/TestDevices.h"

using Journal = std::vector<std::string>;

// A device manager that remembers which devices announced themselves.
class TestRecordingDeviceManager : public DefDeviceManager {
  QIBO_CLASS(TestRecordingDeviceManager)

 public:
  std::vector<CTDevice*> m_registered;
  void RegisterDevice(CTDevice* device) override { m_registered.push_back(device); }
};
QIBO_IMPLEMENT_CLASS(TestRecordingDeviceManager, DefDeviceManager, .desc = "Recording device manager")

namespace {

const uint32_t kTestKind = CTTestDevice::_CD()->ID();
const uint32_t kGadgetKind = CTTestGadget::_CD()->ID();

class DeviceManagerTest : public qibo::test::DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    for (ClassDesc* cd :
         {TestDevice::_CD(), TestOtherDevice::_CD(), TestBrokenGadget::_CD(), TestDisabledGadget::_CD()})
      qiBO_RegisterClass(cd);
    m_manager = qibo::Cast<DefDeviceManager>(qiBO_GetService(CTDeviceManager::_CD()));
    ASSERT_NE(m_manager, nullptr);
  }

  int Index(const CTDevice* device) const {
    for (int i = 0; i < m_manager->GetDeviceCount(); ++i)
      if (m_manager->GetDeviceNo(i) == device) return i;
    return -1;
  }
  int Uses(const CTDevice* device) const { return m_manager->GetUseCount(Index(device)); }
  static CTTestDevice* AsTest(CTDevice* device) { return static_cast<CTTestDevice*>(device); }

  DefDeviceManager* m_manager = nullptr;
};

}  // namespace

TEST_F(DeviceManagerTest, GetDevice_CreatesAndStartsAnImplementationOfTheClass) {
  EXPECT_EQ(m_manager->GetDeviceCount(), 0);
  CTDevice* device = m_manager->GetDevice(kTestKind, false);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->GetCD(), TestDevice::_CD());  // the first registered candidate
  EXPECT_TRUE(device->IsStarted());
  EXPECT_STREQ(device->GetName(), "Test device");
  EXPECT_EQ(m_manager->GetDeviceCount(), 1);
  EXPECT_EQ(Uses(device), 1);
  EXPECT_TRUE(m_manager->IsExclusive(0));
  EXPECT_EQ(m_manager->GetDeviceNo(1), nullptr);
  EXPECT_EQ(m_manager->GetDeviceNo(-1), nullptr);
  m_manager->ReleaseDevice(device);
}

TEST_F(DeviceManagerTest, Exclusive_NeverGetsADeviceInUseAndShared_NeverAnExclusiveOne) {
  CTDevice* exclusive = m_manager->GetDevice(kTestKind, false);
  CTDevice* shared = m_manager->GetDevice(kTestKind, true);
  ASSERT_NE(exclusive, nullptr);
  ASSERT_NE(shared, nullptr);
  EXPECT_NE(shared, exclusive);

  // A second shared request joins the shared device.
  EXPECT_EQ(m_manager->GetDevice(kTestKind, true), shared);
  EXPECT_EQ(Uses(shared), 2);
  EXPECT_FALSE(m_manager->IsExclusive(Index(shared)));

  // An exclusive request takes neither.
  CTDevice* other = m_manager->GetDevice(kTestKind, false);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, exclusive);
  EXPECT_NE(other, shared);
  EXPECT_EQ(m_manager->GetDeviceCount(), 3);

  m_manager->ReleaseDevice(exclusive);
  m_manager->ReleaseDevice(other);
  // Released devices are free again: exclusive requests reuse them.
  EXPECT_EQ(m_manager->GetDevice(kTestKind, false), exclusive);
  EXPECT_EQ(m_manager->GetDeviceCount(), 3);
  m_manager->ReleaseDevice(exclusive);
  m_manager->ReleaseDevice(shared);
  m_manager->ReleaseDevice(shared);
}

TEST_F(DeviceManagerTest, ReleaseDevice_StopsAtTheLastUseAndKeepsTheEntry) {
  CTDevice* device = m_manager->GetDevice(kTestKind, true);
  ASSERT_EQ(m_manager->GetDevice(kTestKind, true), device);
  AsTest(device)->m_tag = "d";

  m_manager->ReleaseDevice(device);
  EXPECT_TRUE(device->IsStarted());
  EXPECT_EQ(Uses(device), 1);
  m_manager->ReleaseDevice(device);
  EXPECT_FALSE(device->IsStarted());
  EXPECT_EQ(Uses(device), 0);
  EXPECT_EQ(m_manager->GetDeviceCount(), 1);
  EXPECT_EQ(CTTestDevice::s_journal, (Journal{"start ?", "stop d"}));

  // A later request starts it again.
  EXPECT_EQ(m_manager->GetDevice(kTestKind, false), device);
  EXPECT_TRUE(device->IsStarted());
  EXPECT_EQ(CTTestDevice::s_journal.back(), "start d");
  EXPECT_TRUE(m_manager->IsExclusive(0));
  m_manager->ReleaseDevice(device);
  EXPECT_FALSE(m_manager->IsExclusive(0));

  // Unknown devices are ignored.
  m_manager->ReleaseDevice(nullptr);
  TestDevice* stranger = Make("stranger");
  Ref hold(stranger);
  m_manager->ReleaseDevice(stranger);
  EXPECT_EQ(m_manager->GetDeviceCount(), 1);
}

TEST_F(DeviceManagerTest, NoStartableImplementation_LeavesUnusedEntries) {
  EXPECT_EQ(m_manager->GetDevice(kGadgetKind, true), nullptr);
  ASSERT_EQ(m_manager->GetDeviceCount(), 2);
  EXPECT_EQ(m_manager->GetDeviceNo(0)->GetCD(), TestBrokenGadget::_CD());
  EXPECT_EQ(m_manager->GetDeviceNo(1)->GetCD(), TestDisabledGadget::_CD());
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(m_manager->GetUseCount(i), 0);
    EXPECT_FALSE(m_manager->IsExclusive(i));
    EXPECT_FALSE(m_manager->GetDeviceNo(i)->IsStarted());
  }
  // Only the enabled one was tried.
  EXPECT_EQ(CTTestDevice::s_journal, Journal{"start ?"});

  // The next request retries the kept device instead of making new ones.
  EXPECT_EQ(m_manager->GetDevice(kGadgetKind, false), nullptr);
  EXPECT_EQ(m_manager->GetDeviceCount(), 2);
}

TEST_F(DeviceManagerTest, FailedCandidates_AreSkippedForTheNextOne) {
  CTTestDevice::s_refuseStart = {TestDevice::_CD()};
  CTDevice* device = m_manager->GetDevice(kTestKind, false);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->GetCD(), TestOtherDevice::_CD());
  ASSERT_EQ(m_manager->GetDeviceCount(), 2);
  EXPECT_EQ(m_manager->GetUseCount(0), 0);
  EXPECT_EQ(m_manager->GetUseCount(1), 1);
  m_manager->ReleaseDevice(device);
}

TEST_F(DeviceManagerTest, SettingsCanDisableAnImplementation) {
  ASSERT_TRUE(qibo::IniWriteString(".\\qibo.ini", "TestDevice", "Enabled", "False"));
  CTDevice* device = m_manager->GetDevice(TestDevice::_CD()->ID(), true);
  EXPECT_EQ(device, nullptr);
  ASSERT_EQ(m_manager->GetDeviceCount(), 1);
  EXPECT_FALSE(m_manager->GetDeviceNo(0)->IsEnabled());
  EXPECT_TRUE(CTTestDevice::s_journal.empty());
  // A disabled device is never handed out.
  EXPECT_EQ(m_manager->GetDevice(kTestKind, true), nullptr);
}

TEST_F(DeviceManagerTest, DeviceID_SelectsAmongDevicesOfOneClass) {
  CTDevice* three = m_manager->GetDevice(kTestKind, 3, true);
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->GetDeviceID(), 3);
  CTDevice* four = m_manager->GetDevice(kTestKind, 4, true);
  ASSERT_NE(four, nullptr);
  EXPECT_NE(four, three);
  EXPECT_EQ(four->GetDeviceID(), 4);
  EXPECT_EQ(m_manager->GetDevice(kTestKind, 3, true), three);
  EXPECT_EQ(m_manager->GetDevice(kTestKind, true), three);  // -1: any
  for (CTDevice* d : {three, three, three, four}) m_manager->ReleaseDevice(d);
}

TEST_F(DeviceManagerTest, GetDeviceByName_UsesTheExactClassName) {
  CTDevice* device = m_manager->GetDevice("TestOtherDevice", true);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->GetCD(), TestOtherDevice::_CD());
  EXPECT_EQ(m_manager->GetDevice("CTTestDevice", true), device);
  EXPECT_EQ(m_manager->GetDevice("NoSuchDevice", true), nullptr);
  EXPECT_EQ(m_manager->GetDevice(static_cast<const char*>(nullptr), true), nullptr);
  EXPECT_EQ(m_manager->GetDeviceCount(), 1);
  m_manager->ReleaseDevice(device);
  m_manager->ReleaseDevice(device);
}

TEST_F(DeviceManagerTest, ShareDevice_AddsAUseToRegisteredDevicesOnly) {
  TestDevice* stranger = Make("stranger");
  Ref hold(stranger);
  EXPECT_FALSE(m_manager->ShareDevice(stranger));
  EXPECT_EQ(m_manager->LastErrorMsg(), "Unable to share an unregistered device");
  EXPECT_FALSE(stranger->IsStarted());

  CTDevice* device = m_manager->GetDevice(kTestKind, false);
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(m_manager->ShareDevice(device));  // also a device held exclusively
  EXPECT_EQ(Uses(device), 2);
  m_manager->ReleaseDevice(device);
  m_manager->ReleaseDevice(device);
  ASSERT_FALSE(device->IsStarted());

  // A stopped device is started again; one that cannot start is refused.
  EXPECT_TRUE(m_manager->ShareDevice(device));
  EXPECT_TRUE(device->IsStarted());
  m_manager->ReleaseDevice(device);
  ASSERT_TRUE(device->Disable());
  EXPECT_FALSE(m_manager->ShareDevice(device));
  EXPECT_EQ(m_manager->LastErrorMsg(), "Unable to share a disabled device");
  EXPECT_EQ(Uses(device), 0);
}

TEST_F(DeviceManagerTest, CreateAllDevices_MakesOneUnusedDeviceOfEachClassWithout) {
  CTDevice* held = m_manager->GetDevice(TestDevice::_CD()->ID(), true);
  ASSERT_NE(held, nullptr);
  m_manager->CreateAllDevices();
  int joysticks = 0, others = 0, gadgets = 0, testDevices = 0;
  for (int i = 0; i < m_manager->GetDeviceCount(); ++i) {
    const ClassDesc* cd = m_manager->GetDeviceNo(i)->GetCD();
    joysticks += cd == CTUserJoystick::_CD();
    others += cd == TestOtherDevice::_CD();
    gadgets += cd->CheckGroupID(kGadgetKind);
    testDevices += cd == TestDevice::_CD();
    if (m_manager->GetDeviceNo(i) == held) continue;
    EXPECT_EQ(m_manager->GetUseCount(i), 0);
    // Started unless it cannot be: the gadgets are broken or disabled.
    EXPECT_EQ(m_manager->GetDeviceNo(i)->IsStarted(), !cd->CheckGroupID(kGadgetKind))
        << cd->GetName().c_str();
  }
  EXPECT_EQ(joysticks, 1);
  EXPECT_EQ(others, 1);
  EXPECT_EQ(gadgets, 2);
  EXPECT_EQ(testDevices, 1);
  const int count = m_manager->GetDeviceCount();

  m_manager->CreateAllDevices();
  EXPECT_EQ(m_manager->GetDeviceCount(), count);
  m_manager->ReleaseDevice(held);
}

TEST_F(DeviceManagerTest, Stop_FailsWhileADeviceIsInUseAndReleasesEverythingElse) {
  CTDevice* used = m_manager->GetDevice(kTestKind, false);
  CTDevice* idle = m_manager->GetDevice(kTestKind, false);
  ASSERT_NE(used, nullptr);
  ASSERT_NE(idle, nullptr);
  AsTest(used)->m_tag = "used";
  AsTest(idle)->m_tag = "idle";
  m_manager->ReleaseDevice(idle);
  ASSERT_TRUE(idle->Start());                                   // started but unused
  ASSERT_EQ(m_manager->GetDevice(kGadgetKind, true), nullptr);  // two entries never started
  ASSERT_EQ(m_manager->GetDeviceCount(), 4);
  const int32_t alive = TestDevice::_CD()->GetInstances();
  CTTestDevice::s_journal.clear();

  EXPECT_FALSE(m_manager->Stop());
  EXPECT_TRUE(m_manager->IsStarted());
  ASSERT_EQ(m_manager->GetDeviceCount(), 1);
  EXPECT_EQ(m_manager->GetDeviceNo(0), used);
  EXPECT_TRUE(used->IsStarted());
  EXPECT_EQ(CTTestDevice::s_journal, Journal{"stop idle"});
  EXPECT_EQ(TestDevice::_CD()->GetInstances(), alive - 1);
  EXPECT_EQ(TestBrokenGadget::_CD()->GetInstances(), 0);
  EXPECT_EQ(TestDisabledGadget::_CD()->GetInstances(), 0);

  m_manager->ReleaseDevice(used);
  EXPECT_TRUE(m_manager->Stop());
  EXPECT_EQ(m_manager->GetDeviceCount(), 0);
  EXPECT_EQ(TestDevice::_CD()->GetInstances(), alive - 2);
}

TEST_F(DeviceManagerTest, Stop_KeepsAnUnusedDeviceThatCannotStop) {
  CTDevice* device = m_manager->GetDevice(kTestKind, true);
  ASSERT_NE(device, nullptr);
  m_manager->ReleaseDevice(device);
  ASSERT_TRUE(device->Start());
  AsTest(device)->m_failStop = true;
  EXPECT_FALSE(m_manager->Stop());
  EXPECT_EQ(m_manager->GetDeviceCount(), 1);
  AsTest(device)->m_failStop = false;
  EXPECT_TRUE(m_manager->Stop());
  EXPECT_EQ(m_manager->GetDeviceCount(), 0);
}

TEST_F(DeviceManagerTest, Stop_StopsEveryUnusedStartedDevice) {
  m_manager->CreateAllDevices();
  int started = 0;
  for (int i = 0; i < m_manager->GetDeviceCount(); ++i) started += m_manager->GetDeviceNo(i)->IsStarted();
  ASSERT_GE(started, 2);
  EXPECT_TRUE(m_manager->Stop());
  EXPECT_EQ(m_manager->GetDeviceCount(), 0);
  EXPECT_EQ(CTUserJoystick::_CD()->GetInstances(), 0);
  EXPECT_EQ(TestOtherDevice::_CD()->GetInstances(), 0);
  EXPECT_EQ(TestBrokenGadget::_CD()->GetInstances(), 0);
}

TEST_F(DeviceManagerTest, DeletedFromOutside_LosesItsEntry) {
  CTDevice* device = m_manager->GetDevice(kTestKind, false);
  ASSERT_NE(device, nullptr);
  device->Delete();
  EXPECT_EQ(m_manager->GetDeviceCount(), 0);
}

TEST_F(DeviceManagerTest, DevicePtr_ReleasesTheOldDeviceOnReassignment) {
  CTDevice* first = m_manager->GetDevice(kTestKind, false);
  CTDevice* second = m_manager->GetDevice(kTestKind, false);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  {
    DevicePtr<CTDevice> ptr;
    ptr = first;  // adopts the use GetDevice counted
    EXPECT_EQ(ptr.Get(), first);
    EXPECT_EQ(first->GetRefCount(), 2);  // the manager's and the pointer's
    ptr = second;
    EXPECT_EQ(Uses(first), 0);
    EXPECT_FALSE(first->IsStarted());
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_EQ(Uses(second), 1);
    EXPECT_TRUE(second->IsStarted());
    ptr = second;  // the same device: nothing changes
    EXPECT_EQ(Uses(second), 1);
  }
  EXPECT_EQ(Uses(second), 0);
  EXPECT_FALSE(second->IsStarted());
  EXPECT_EQ(second->GetRefCount(), 1);
}

TEST_F(DeviceManagerTest, DevicePtr_ShareTakesAUseOfItsOwn) {
  CTDevice* device = m_manager->GetDevice(kTestKind, false);
  ASSERT_NE(device, nullptr);
  DevicePtr<CTDevice> ptr;
  ASSERT_TRUE(ptr.Share(device));
  EXPECT_TRUE(ptr.Share(device));  // already held: no second use
  EXPECT_EQ(Uses(device), 2);
  m_manager->ReleaseDevice(device);
  EXPECT_TRUE(device->IsStarted());
  ptr.Reset();
  EXPECT_FALSE(device->IsStarted());
  EXPECT_FALSE(ptr);

  TestDevice* stranger = Make("stranger");
  Ref hold(stranger);
  EXPECT_FALSE(ptr.Share(stranger));
  EXPECT_FALSE(ptr);
  EXPECT_EQ(stranger->GetRefCount(), 1);
}

TEST_F(DeviceManagerTest, DevicePtr_KeepsTheDeviceAfterTheManagerAndEmptiesOnDelete) {
  DevicePtr<CTDevice> ptr;
  ptr = m_manager->GetDevice(kTestKind, false);
  ASSERT_TRUE(ptr);
  CTDevice* device = ptr.Get();
  const int32_t alive = TestDevice::_CD()->GetInstances();
  ASSERT_TRUE(device->Stop());  // a stopped entry does not hold up the manager
  ASSERT_TRUE(m_manager->Stop());
  EXPECT_EQ(TestDevice::_CD()->GetInstances(), alive);  // still held by the pointer
  ptr->Delete();
  EXPECT_FALSE(ptr);
  EXPECT_EQ(TestDevice::_CD()->GetInstances(), alive - 1);
}

TEST_F(DeviceManagerTest, NewDevices_RegisterWithTheRunningDeviceManager) {
  qiBO_Deinit();
  qiBO_RegisterClass(TestRecordingDeviceManager::_CD());
  auto* recorder = qibo::Cast<TestRecordingDeviceManager>(qiBO_GetService(TestRecordingDeviceManager::_CD()));
  ASSERT_NE(recorder, nullptr);
  ASSERT_EQ(qiBO_FindService(CTDeviceManager::_CD()), recorder);
  TestDevice* device = Make("d");
  Ref hold(device);
  EXPECT_EQ(recorder->m_registered, std::vector<CTDevice*>{device});
  ASSERT_TRUE(recorder->Stop());
  TestDevice* later = Make("later");
  Ref holdLater(later);
  EXPECT_EQ(recorder->m_registered.size(), 1u);
}
