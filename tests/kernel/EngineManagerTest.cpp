#include <gtest/gtest.h>

#include <vector>

#include "core/devices/CTTimer.h"
#include "core/kernel/CTApplication.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "tests/support/EngineFixture.h"

// A clock the test turns by hand. Sleep advances it, so frames that wait
// for time cost no real time. A script of readings can make the clock
// repeat a time or jump.
class TestClockTimer : public CTTimer {
  QIBO_CLASS(TestClockTimer)

 public:
  static inline TestClockTimer* s_current = nullptr;
  TestClockTimer() { s_current = this; }
  ~TestClockTimer() override {
    if (s_current == this) s_current = nullptr;
  }

  int32_t SetTime(int32_t t) override { return m_now = t; }
  int32_t GetRawTime() override { return m_now; }
  int32_t GetTime() override { return m_paused ? m_pausedAt : m_now; }
  bool Pause() override {
    if (!m_paused) m_pausedAt = m_now;
    m_paused = true;
    return true;
  }
  bool Continue() override {
    if (m_paused) m_now = m_pausedAt;
    m_paused = false;
    return true;
  }
  void Sleep(int32_t ms) override {
    sleeps.push_back(ms);
    m_now += ms;
  }
  void Advance(int32_t ms) { m_now += ms; }

  std::vector<int32_t> sleeps;

 protected:
  bool StartDevice() override { return Reset(); }

 private:
  int32_t m_now = 0;
  int32_t m_pausedAt = 0;
  bool m_paused = false;
};
QIBO_IMPLEMENT_CLASS(TestClockTimer, CTTimer, .desc = "Test clock")

// Counts its ticks and can end the loop from inside a frame.
class FrameCounter : public CTNamed {
 public:
  void OnTick(int32_t elapsed) {
    ticks.push_back(elapsed);
    if (stopAfter > 0 && static_cast<int>(ticks.size()) == stopAfter) stopResult = qiBO_StopLoop();
  }
  std::vector<int32_t> ticks;
  int stopAfter = 0;
  bool stopResult = true;
};

namespace {

class EngineManagerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    qiBO_RegisterClass(TestClockTimer::_CD());
  }
  DefEngineManager* Engine() {
    return static_cast<DefEngineManager*>(qiBO_GetService(CTEngineManager::_CD()));
  }
};

}  // namespace

TEST_F(EngineManagerTest, FramesFollowTheTimer) {
  DefEngineManager* engine = Engine();
  ASSERT_NE(engine, nullptr);
  TestClockTimer* clock = TestClockTimer::s_current;
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(engine->GetTimer(), clock);
  clock->Advance(16);
  EXPECT_EQ(qiBO_DoFrame(), 16);
  EXPECT_EQ(engine->GetWorldTime(), 16u);
  EXPECT_DOUBLE_EQ(engine->GetFrameTime(), 0.016);
  EXPECT_EQ(qiBO_GetFrameID(), 1u);
}

TEST_F(EngineManagerTest, RepeatedTimeWaitsInOneMillisecondSleeps) {
  Engine();
  TestClockTimer* clock = TestClockTimer::s_current;
  ASSERT_NE(clock, nullptr);
  clock->Advance(5);
  qiBO_DoFrame();
  EXPECT_EQ(qiBO_DoFrame(), 1);  // the clock stood still: one 1 ms sleep
  EXPECT_EQ(clock->sleeps, std::vector<int32_t>{1});
}

TEST_F(EngineManagerTest, StallIsClampedToOneSecond) {
  DefEngineManager* engine = Engine();
  TestClockTimer* clock = TestClockTimer::s_current;
  ASSERT_NE(clock, nullptr);
  clock->Advance(5000);
  EXPECT_EQ(qiBO_DoFrame(), 1000);
  EXPECT_EQ(engine->GetWorldTime(), 5000u);  // time is not lost, only the frame length is capped
  clock->Advance(10);
  EXPECT_EQ(qiBO_DoFrame(), 10);
}

TEST_F(EngineManagerTest, ConstantFrameTime) {
  DefEngineManager* engine = Engine();
  engine->GetPropertyByName("ConstantFrameTime").FromString("True");
  EXPECT_EQ(qiBO_DoFrame(), 9);  // the default 0.01f widened truncates to 9 ms
  engine->GetPropertyByName("FrameTime").FromString("0.02");
  TestClockTimer::s_current->Advance(500);  // ignored
  EXPECT_EQ(qiBO_DoFrame(), 20);
  EXPECT_EQ(qiBO_DoFrame(), 20);
  EXPECT_EQ(engine->GetWorldTime(), 49u);
}

TEST_F(EngineManagerTest, PauseHoldsTheFrameAndContinueResumesSmoothly) {
  DefEngineManager* engine = Engine();
  TestClockTimer* clock = TestClockTimer::s_current;
  clock->Advance(20);
  qiBO_DoFrame();
  const uint32_t frame = qiBO_GetFrameID();
  qiBO_Pause();
  EXPECT_EQ(qiBO_DoFrame(), 10);
  EXPECT_EQ(qiBO_GetFrameID(), frame);
  EXPECT_TRUE(qiBO_IsPaused());
  clock->Advance(3000);  // real time passes while paused
  qiBO_Continue();
  EXPECT_EQ(qiBO_DoFrame(), 20);  // about the last frame's length
  EXPECT_FALSE(qiBO_IsPaused());
  EXPECT_TRUE(qiBO_Continue());  // nothing left to continue
  EXPECT_EQ(engine->GetFrameID(), frame + 1);
}

TEST_F(EngineManagerTest, FpsStaysZeroForTheFirstSecond) {
  DefEngineManager* engine = Engine();
  TestClockTimer* clock = TestClockTimer::s_current;
  for (int i = 0; i < 100; ++i) {
    clock->Advance(10);
    qiBO_DoFrame();
  }
  EXPECT_EQ(engine->GetFPS(), 0.0f);  // exactly 1000 ms: not yet
  clock->Advance(10);
  qiBO_DoFrame();
  EXPECT_EQ(engine->GetFPS(), 99.0f);  // 100 frames before this one in 1010 ms, integer arithmetic
}

TEST_F(EngineManagerTest, MessagesTickWithTheFrameAndStopLoopEndsTheLoop) {
  Engine();
  auto* messages = qibo::GetService<CTUpdateManager>();
  ASSERT_NE(messages, nullptr);
  FrameCounter counter;
  counter.stopAfter = 3;
  messages->AddUpdate(&counter, qibo::AsUpdate(&FrameCounter::OnTick), 0, -1);
  TestClockTimer* clock = TestClockTimer::s_current;
  clock->Advance(7);
  qiBO_Loop();  // the clock stands still after the first frame: 1 ms frames
  EXPECT_EQ(counter.ticks, (std::vector<int32_t>{7, 1, 1}));
  EXPECT_FALSE(counter.stopResult);  // asked inside the running loop
  EXPECT_FALSE(qiBO_IsLooping());
  EXPECT_TRUE(qiBO_StopLoop());
  messages->RemoveAll(&counter);
}

TEST_F(EngineManagerTest, MainRunsTheApplicationByAnyOfItsNames) {
  EXPECT_EQ(qiBO_Main("NoSuchApplication", 0, nullptr), -1);
  EXPECT_EQ(qiBO_Main("Engine kernel", 0, nullptr), -1);  // a service, but not an application
}

class TestQuitApplication : public CTApplication {
  QIBO_CLASS(TestQuitApplication)

 public:
  int Run(int argc, const char**) override {
    qiBO_Quit(argc + 40);
    return exitCode;
  }
  void Quit(int code) override { exitCode = code; }
  int exitCode = 0;
};
QIBO_IMPLEMENT_CLASS(TestQuitApplication, CTApplication, .desc = "Quitting application")

TEST_F(EngineManagerTest, QuitReachesTheRunningApplication) {
  qiBO_RegisterClass(TestQuitApplication::_CD());
  EXPECT_EQ(qiBO_Main("quitting application", 2, nullptr), 42);
  EXPECT_EQ(qiBO_Main("TestQuitApplication", 1, nullptr), 41);
}
