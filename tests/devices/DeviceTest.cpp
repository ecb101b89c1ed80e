#include <gtest/gtest.h>

#include "core/kernel/CTErrorManager.h"
#include "core/object/Ref.h"
#include "tests/devices/TestDevices.h"

using Journal = std::vector<std::string>;

namespace {

class DeviceTest : public qibo::test::DeviceFixture {};

}  // namespace

TEST_F(DeviceTest, NewDevice_HasDefaultsAndItsProperties) {
  TestDevice* device = Make("d");
  Ref hold(device);
  EXPECT_STREQ(device->GetName(), "Default device");
  EXPECT_TRUE(device->IsEnabled());
  EXPECT_FALSE(device->IsStarted());
  EXPECT_EQ(device->GetDeviceID(), -1);
  EXPECT_EQ(device->GetParent(), nullptr);
  EXPECT_EQ(device->GetSubDeviceCount(), 0);
  EXPECT_TRUE(device->GetPropertyByName("DeviceID").ReadOnly());
  EXPECT_TRUE(device->GetPropertyByName("Started").ReadOnly());
  DProperty& enabled = device->GetPropertyByName("Enabled");
  EXPECT_EQ(enabled.GetType(), ptBoolean);
  EXPECT_FALSE(enabled.ReadOnly());
  EXPECT_TRUE(enabled.Persistent());
}

TEST_F(DeviceTest, Start_RunsStartDeviceOnceAndTakesTheClassDescription) {
  TestDevice* device = Make("d");
  Ref hold(device);
  ASSERT_TRUE(device->Start());
  EXPECT_TRUE(device->IsStarted());
  EXPECT_STREQ(device->GetName(), "Test device");
  EXPECT_TRUE(device->GetPropertyByName("Started").ToInt());
  EXPECT_EQ(Log(device), (Journal{"CTDevice::Start()", "Device started"}));

  // Again: a warning, success, and no second StartDevice.
  EXPECT_TRUE(device->Start());
  EXPECT_TRUE(Logged(device, "Device.Start: Already started", kCodeWarning));
  EXPECT_EQ(CTTestDevice::s_journal, Journal{"start d"});
}

TEST_F(DeviceTest, Stop_OfAStoppedDeviceWarnsAndSucceeds) {
  TestDevice* device = Make("d");
  Ref hold(device);
  EXPECT_TRUE(device->Stop());
  EXPECT_TRUE(Logged(device, "Device.Stop: Not started", kCodeWarning));
  EXPECT_TRUE(CTTestDevice::s_journal.empty());

  ASSERT_TRUE(device->Start());
  device->SetName("renamed");
  EXPECT_TRUE(device->Stop());
  EXPECT_FALSE(device->IsStarted());
  EXPECT_STREQ(device->GetName(), "Test device");
  EXPECT_TRUE(Logged(device, "Device stopped", kCodeInfo));
  EXPECT_EQ(CTTestDevice::s_journal, (Journal{"start d", "stop d"}));
}

TEST_F(DeviceTest, Start_FailsForADisabledDeviceOrAFailingStartDevice) {
  TestDevice* disabled = Make("off");
  TestDevice* failing = Make("bad");
  Ref<CTReferenced> hold1(disabled), hold2(failing);
  ASSERT_TRUE(disabled->Disable());
  EXPECT_FALSE(disabled->Start());
  EXPECT_EQ(disabled->LastErrorMsg(), "Cannot start: Device disabled");

  failing->m_failStart = true;
  EXPECT_FALSE(failing->Start());
  EXPECT_FALSE(failing->IsStarted());
  EXPECT_FALSE(Logged(failing, "Device started", kCodeInfo));
  EXPECT_EQ(failing->LastErrorMsg(), "test start failure");
  EXPECT_EQ(CTTestDevice::s_journal, Journal{"start bad"});
}

TEST_F(DeviceTest, ChildStart_StartsTheParentFirstAndTellsIt) {
  TestDevice* parent = Make("parent");
  TestDevice* child = Make("child");
  Ref<CTReferenced> hold1(parent), hold2(child);
  child->SetParent(parent);

  // A parent's start leaves its children alone.
  ASSERT_TRUE(parent->Start());
  EXPECT_FALSE(child->IsStarted());
  ASSERT_TRUE(parent->Stop());
  CTTestDevice::s_journal.clear();

  ASSERT_TRUE(child->Start());
  EXPECT_TRUE(parent->IsStarted());
  EXPECT_EQ(CTTestDevice::s_journal, (Journal{"start parent", "start child"}));
  ASSERT_EQ(parent->m_messages.size(), 1u);
  EXPECT_EQ(parent->m_messages[0].first, 0x21344568);
  EXPECT_EQ(parent->m_messages[0].second, child);
}

TEST_F(DeviceTest, ChildStart_FailsWithTheNameOfAParentThatCannotStart) {
  TestDevice* parent = Make("parent");
  TestDevice* child = Make("child");
  Ref<CTReferenced> hold1(parent), hold2(child);
  parent->SetName("Rack");
  ASSERT_TRUE(parent->Disable());  // before it has the child, which stays enabled
  child->SetParent(parent);

  EXPECT_FALSE(child->Start());
  EXPECT_FALSE(child->IsStarted());
  EXPECT_EQ(child->LastErrorMsg(), "Device.Start: Unable to start Rack");
  EXPECT_TRUE(CTTestDevice::s_journal.empty());

  // A parent that fails in its own start has been renamed by then.
  ASSERT_TRUE(parent->Enable());
  parent->m_failStart = true;
  EXPECT_FALSE(child->Start());
  EXPECT_EQ(child->LastErrorMsg(), "Device.Start: Unable to start Test device");
  EXPECT_EQ(CTTestDevice::s_journal, Journal{"start parent"});
}

TEST_F(DeviceTest, Stop_StopsChildrenFirstInListOrderAndTellsTheParent) {
  TestDevice* parent = Make("parent");
  TestDevice* first = Make("first");
  TestDevice* second = Make("second");
  Ref<CTReferenced> hold1(parent), hold2(first), hold3(second);
  first->SetParent(parent);
  second->SetParent(parent);
  ASSERT_TRUE(first->Start());
  ASSERT_TRUE(second->Start());
  parent->m_messages.clear();
  CTTestDevice::s_journal.clear();

  ASSERT_TRUE(parent->Stop());
  EXPECT_EQ(CTTestDevice::s_journal, (Journal{"stop first", "stop second", "stop parent"}));
  EXPECT_FALSE(first->IsStarted());
  EXPECT_FALSE(second->IsStarted());
  const std::vector<std::pair<int, void*>> told{{0x21344567, first}, {0x21344567, second}};
  EXPECT_EQ(parent->m_messages, told);
}

TEST_F(DeviceTest, Stop_FailsAtTheFirstChildThatCannotStop) {
  TestDevice* parent = Make("parent");
  TestDevice* first = Make("first");
  TestDevice* second = Make("second");
  Ref<CTReferenced> hold1(parent), hold2(first), hold3(second);
  first->SetParent(parent);
  second->SetParent(parent);
  ASSERT_TRUE(first->Start());
  ASSERT_TRUE(second->Start());
  second->m_failStop = true;
  CTTestDevice::s_journal.clear();

  EXPECT_FALSE(parent->Stop());
  EXPECT_EQ(parent->LastErrorMsg(), "Device.Stop: Child Device.Stop failed");
  EXPECT_TRUE(parent->IsStarted());
  EXPECT_FALSE(first->IsStarted());
  EXPECT_TRUE(second->IsStarted());
  EXPECT_EQ(CTTestDevice::s_journal, (Journal{"stop first", "stop second"}));
  second->m_failStop = false;
}

TEST_F(DeviceTest, Disable_OfAStartedParentStopsAndDisablesBothChildrenFirst) {
  TestDevice* parent = Make("parent");
  TestDevice* first = Make("first");
  TestDevice* second = Make("second");
  Ref<CTReferenced> hold1(parent), hold2(first), hold3(second);
  first->SetParent(parent);
  second->SetParent(parent);
  ASSERT_TRUE(first->Start());
  ASSERT_TRUE(second->Start());
  CTTestDevice::s_journal.clear();

  ASSERT_TRUE(parent->Disable());
  EXPECT_EQ(CTTestDevice::s_journal, (Journal{"stop first", "stop second", "stop parent"}));
  for (CTDevice* d :
       {static_cast<CTDevice*>(parent), static_cast<CTDevice*>(first), static_cast<CTDevice*>(second)}) {
    EXPECT_FALSE(d->IsEnabled());
    EXPECT_FALSE(d->IsStarted());
  }
  EXPECT_FALSE(parent->Start());
  EXPECT_EQ(parent->LastErrorMsg(), "Cannot start: Device disabled");
}

TEST_F(DeviceTest, Disable_FailsWhenAChildCannotBeDisabled) {
  TestDevice* parent = Make("parent");
  TestDevice* child = Make("child");
  Ref<CTReferenced> hold1(parent), hold2(child);
  child->SetParent(parent);
  ASSERT_TRUE(child->Start());
  child->m_failStop = true;

  EXPECT_FALSE(parent->Disable());
  EXPECT_EQ(parent->LastErrorMsg(), "Could not disable child device");
  EXPECT_TRUE(parent->IsEnabled());
  EXPECT_TRUE(parent->IsStarted());
  child->m_failStop = false;
}

TEST_F(DeviceTest, Enable_EnablesTheParentButStartsNothing) {
  TestDevice* parent = Make("parent");
  TestDevice* child = Make("child");
  Ref<CTReferenced> hold1(parent), hold2(child);
  child->SetParent(parent);
  ASSERT_TRUE(parent->Disable());
  EXPECT_FALSE(child->IsEnabled());

  ASSERT_TRUE(child->Enable());
  EXPECT_TRUE(child->IsEnabled());
  EXPECT_TRUE(parent->IsEnabled());
  EXPECT_FALSE(child->IsStarted());
  EXPECT_FALSE(parent->IsStarted());
  EXPECT_TRUE(CTTestDevice::s_journal.empty());
}

TEST_F(DeviceTest, EnabledProperty_ChangesTheFlagWithoutStopping) {
  TestDevice* device = Make("d");
  Ref hold(device);
  ASSERT_TRUE(device->Start());
  device->GetPropertyByName("Enabled").FromString("false");
  device->ApplyChanges();
  EXPECT_FALSE(device->IsEnabled());
  EXPECT_TRUE(device->IsStarted());
  EXPECT_EQ(CTTestDevice::s_journal, Journal{"start d"});
}

TEST_F(DeviceTest, Restart_StopsThenStarts) {
  TestDevice* device = Make("d");
  Ref hold(device);
  // A stopped device: the "not started" warning, then a start.
  ASSERT_TRUE(device->Restart());
  EXPECT_TRUE(Logged(device, "Device.Stop: Not started", kCodeWarning));
  EXPECT_TRUE(device->IsStarted());
  ASSERT_TRUE(device->Restart());
  EXPECT_EQ(CTTestDevice::s_journal, (Journal{"start d", "stop d", "start d"}));

  device->m_failStop = true;
  EXPECT_FALSE(device->Restart());
  EXPECT_EQ(device->LastErrorMsg(), "Device.Restart: Device.Stop failed");
  EXPECT_TRUE(device->IsStarted());
  device->m_failStop = false;
}

TEST_F(DeviceTest, SetDeviceID_IsIgnoredWhileStarted) {
  TestDevice* device = Make("d");
  Ref hold(device);
  device->SetDeviceID(2);
  EXPECT_EQ(device->GetDeviceID(), 2);
  ASSERT_TRUE(device->Start());
  device->SetDeviceID(5);
  EXPECT_EQ(device->GetDeviceID(), 2);
  ASSERT_TRUE(device->Stop());
  device->SetDeviceID(5);
  EXPECT_EQ(device->GetDeviceID(), 5);
}

TEST_F(DeviceTest, Tree_ParentAndChildrenStayConsistent) {
  TestDevice* a = Make("a");
  TestDevice* b = Make("b");
  TestDevice* c = Make("c");
  Ref<CTReferenced> hold1(a), hold2(b), hold3(c);
  EXPECT_EQ(b->SetParent(a), a);
  EXPECT_EQ(c->SetParent(a), a);
  EXPECT_EQ(b->SetParent(a), a);  // already there: listed once
  ASSERT_EQ(a->GetSubDeviceCount(), 2);
  EXPECT_EQ(a->GetSubDeviceNo(0), b);
  EXPECT_EQ(a->GetSubDeviceNo(1), c);
  EXPECT_EQ(a->GetSubDeviceNo(2), nullptr);
  EXPECT_EQ(a->GetSubDeviceNo(-1), nullptr);
  EXPECT_EQ(a->GetHolderCount(), 2);  // one mutual reference per child
  EXPECT_EQ(b->GetHolderCount(), 1);

  // AddSubDevice accepts only a device that already names this parent.
  a->AddSubDevice(c);
  b->AddSubDevice(c);
  EXPECT_EQ(a->GetSubDeviceCount(), 2);
  EXPECT_EQ(b->GetSubDeviceCount(), 0);

  // Moving c under b.
  EXPECT_EQ(c->SetParent(b), b);
  EXPECT_EQ(a->GetSubDeviceCount(), 1);
  EXPECT_EQ(b->GetSubDeviceNo(0), c);
  EXPECT_EQ(a->GetHolderCount(), 1);

  // No cycles: a may not go under its own grandchild, nor under itself.
  EXPECT_EQ(a->SetParent(c), nullptr);
  EXPECT_EQ(a->SetParent(a), nullptr);
  EXPECT_EQ(a->GetParent(), nullptr);

  // RemoveSubDevice leaves the child without a parent.
  b->RemoveSubDevice(c);
  EXPECT_EQ(c->GetParent(), nullptr);
  EXPECT_EQ(b->GetSubDeviceCount(), 0);
  EXPECT_EQ(c->GetHolderCount(), 0);
  EXPECT_EQ(b->SetParent(nullptr), nullptr);
  EXPECT_EQ(a->GetSubDeviceCount(), 0);
  EXPECT_EQ(a->GetHolderCount(), 0);
}

TEST_F(DeviceTest, RemoveSubDevice_MovesTheLastChildIntoTheGap) {
  TestDevice* parent = Make("p");
  Ref holdParent(parent);
  std::vector<TestDevice*> children;
  for (int i = 0; i < 20; ++i) {
    children.push_back(Make("c"));
    children.back()->AddRef(nullptr);
    children.back()->SetParent(parent);
  }
  ASSERT_EQ(parent->GetSubDeviceCount(), 20);
  parent->RemoveSubDevice(children[1]);
  EXPECT_EQ(parent->GetSubDeviceNo(1), children[19]);
  EXPECT_EQ(parent->GetSubDeviceCount(), 19);
  for (TestDevice* child : children) child->RemoveRef(nullptr);
  EXPECT_EQ(parent->GetSubDeviceCount(), 0);
}

TEST_F(DeviceTest, Delete_StopsTheDeviceAndUnhooksParentAndChildren) {
  TestDevice* parent = Make("parent");
  TestDevice* child = Make("child");
  TestDevice* grandchild = Make("grandchild");
  Ref<CTReferenced> holdParent(parent), holdGrandchild(grandchild);
  child->SetParent(parent);
  grandchild->SetParent(child);
  ASSERT_TRUE(grandchild->Start());
  CTTestDevice::s_journal.clear();

  child->Delete();
  EXPECT_EQ(CTTestDevice::s_journal, (Journal{"stop grandchild", "stop child"}));
  EXPECT_EQ(parent->GetSubDeviceCount(), 0);
  EXPECT_EQ(grandchild->GetParent(), nullptr);
  EXPECT_TRUE(parent->IsStarted());
}
