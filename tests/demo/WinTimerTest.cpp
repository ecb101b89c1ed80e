#include <gtest/gtest.h>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "demo/CTWinTimer.h"
#include "tests/support/EngineFixture.h"

// The timer over a counter the test turns by hand.
class TestWinTimer : public CTWinTimer {
  QIBO_CLASS(TestWinTimer)

 public:
  uint32_t counter = 0;

 protected:
  uint32_t Milliseconds() override { return counter; }
};
QIBO_IMPLEMENT_CLASS(TestWinTimer, CTWinTimer, .desc = "Hand-turned timer", .product = "qiBO Devices")

namespace {

class WinTimerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    m_timer = static_cast<TestWinTimer*>(static_cast<CTBasic*>(TestWinTimer::_CD()->Create()));
    ASSERT_NE(m_timer, nullptr);
    m_timer->AddRef(nullptr);
  }
  void TearDown() override {
    if (m_timer) m_timer->RemoveRef(nullptr);
    EngineFixture::TearDown();
  }
  // Starts at counter value `at`.
  void StartAt(uint32_t at) {
    m_timer->counter = at;
    ASSERT_TRUE(m_timer->Start());
  }

  TestWinTimer* m_timer = nullptr;
};

}  // namespace

TEST_F(WinTimerTest, DescriptorAndName) {
  const ClassDesc* cd = CTWinTimer::_CD();
  EXPECT_EQ(cd->ID(), 0x04C8916Du);
  EXPECT_STREQ(cd->GetDesc().c_str(), "MultiMedia Timer");
  EXPECT_STREQ(cd->GetProductName().c_str(), "qiBO Devices");
  EXPECT_EQ(cd->GetBuild(), 0);
  EXPECT_FALSE(cd->Abstract());
  EXPECT_TRUE(cd->CheckGroupID(CTTimer::_CD()->ID()));
  EXPECT_STREQ(m_timer->GetName(), "MultiMedia Timer");
}

TEST_F(WinTimerTest, TimeIsZeroAtStartAndFollowsTheCounter) {
  StartAt(123456);
  EXPECT_EQ(m_timer->GetTime(), 0);
  m_timer->counter += 250;
  EXPECT_EQ(m_timer->GetTime(), 250);
  EXPECT_EQ(m_timer->GetRawTime(), 250);
}

TEST_F(WinTimerTest, PauseFreezesAndContinueSkipsThePausedInterval) {
  StartAt(1000);
  m_timer->counter += 350;
  EXPECT_TRUE(m_timer->Pause());
  m_timer->counter += 5000;
  EXPECT_EQ(m_timer->GetTime(), 350);
  EXPECT_EQ(m_timer->GetRawTime(), 5350);  // the raw time ignores the pause
  EXPECT_EQ(m_timer->GetPropertyByName("PauseTime").ToInt(), 350);
  EXPECT_TRUE(m_timer->GetPropertyByName("Paused").ToInt());
  // A second Pause keeps the first frozen time.
  m_timer->counter += 10;
  m_timer->Pause();
  EXPECT_EQ(m_timer->GetTime(), 350);

  EXPECT_TRUE(m_timer->Continue());
  EXPECT_FALSE(m_timer->IsPaused());
  EXPECT_EQ(m_timer->GetTime(), 350);
  m_timer->counter += 50;
  EXPECT_EQ(m_timer->GetTime(), 400);
  // Continue without a pause changes nothing.
  m_timer->Continue();
  EXPECT_EQ(m_timer->GetTime(), 400);
}

TEST_F(WinTimerTest, MultiplierTwoRunsTimeTwiceAsFast) {
  m_timer->SetMultiplier(2);
  StartAt(70000);
  EXPECT_EQ(m_timer->GetTime(), 0);
  m_timer->counter += 500;
  EXPECT_EQ(m_timer->GetTime(), 1000);
}

TEST_F(WinTimerTest, MultiplierChangeWhileRunningJumpsByTheCounter) {
  StartAt(3000);
  m_timer->counter += 100;
  m_timer->GetPropertyByName("Multiplier").FromString("3");
  EXPECT_EQ(m_timer->GetMultiplier(), 3);
  // 3100 x 3 - 3000: the counter's value times the change, plus the 100.
  EXPECT_EQ(m_timer->GetTime(), 3100 * 2 + 100);
}

TEST_F(WinTimerTest, CounterWrapAroundKeepsCounting) {
  StartAt(0xFFFFFF00u);
  m_timer->counter += 0x200;  // wraps to 0x100
  EXPECT_EQ(m_timer->GetTime(), 0x200);
  // With a multiplier the product wraps as well.
  m_timer->SetMultiplier(2);
  m_timer->Reset();
  m_timer->counter += 0x80000000u;  // the doubled counter wraps through 2^32
  EXPECT_EQ(m_timer->GetTime(), 0);
  m_timer->counter += 0x10;
  EXPECT_EQ(m_timer->GetTime(), 0x20);
}

TEST_F(WinTimerTest, SetTimeAndResetWhilePaused) {
  StartAt(500);
  EXPECT_EQ(m_timer->SetTime(-42), -42);
  EXPECT_EQ(m_timer->GetTime(), -42);
  m_timer->counter += 42;
  EXPECT_EQ(m_timer->GetTime(), 0);
  m_timer->Pause();
  EXPECT_TRUE(m_timer->Reset());
  EXPECT_FALSE(m_timer->IsPaused());
  EXPECT_EQ(m_timer->GetPropertyByName("PauseTime").ToInt(), 0);
  m_timer->counter += 7;
  EXPECT_EQ(m_timer->GetTime(), 7);
}

TEST_F(WinTimerTest, PropertiesHaveTheirTypesAndAccess) {
  StartAt(0);
  m_timer->counter = 1234;
  m_timer->SetTime(0);  // LastTime = 1234
  DProperty& last = m_timer->GetPropertyByName("LastTime");
  EXPECT_EQ(last.GetType(), ptDWord);
  EXPECT_TRUE(last.ReadOnly());
  EXPECT_EQ(last.ToInt(), 1234);
  EXPECT_EQ(m_timer->GetPropertyByName("PauseTime").GetType(), ptDWord);
  EXPECT_TRUE(m_timer->GetPropertyByName("PauseTime").ReadOnly());
  EXPECT_EQ(m_timer->GetPropertyByName("Paused").GetType(), ptBoolean);
  EXPECT_FALSE(m_timer->GetPropertyByName("Paused").ReadOnly());
  EXPECT_EQ(m_timer->GetPropertyByName("Multiplier").GetType(), ptInteger);
  EXPECT_FALSE(m_timer->GetPropertyByName("Multiplier").ReadOnly());
}

TEST_F(WinTimerTest, DeviceManagerHandsOutTheTimerStarted) {
  qiBO_RegisterClass(CTWinTimer::_CD());
  auto* devices = qibo::GetService<CTDeviceManager>();
  ASSERT_NE(devices, nullptr);
  DevicePtr<CTTimer> timer;
  timer = static_cast<CTTimer*>(devices->GetDevice(CTTimer::_CD()->ID(), true));
  ASSERT_TRUE(timer);
  EXPECT_EQ(timer->GetCD(), CTWinTimer::_CD());
  EXPECT_TRUE(timer->IsStarted());
  // The real clock: the first readings are a few milliseconds at most, and
  // the time never runs backwards.
  const int32_t first = timer->GetTime();
  EXPECT_GE(first, 0);
  EXPECT_GE(timer->GetTime(), first);
  timer.Reset();
}
