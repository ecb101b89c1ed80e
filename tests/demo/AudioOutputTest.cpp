#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "demo/AudioOutput.h"
#include "tests/demo/MusicFiles.h"
#include "tests/support/TempDir.h"

using namespace qibo::demo;

namespace {

// The test environment selects SDL's dummy driver, which pulls sound at the
// device's pace from its own thread and drops it.
class AudioOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Enter());
    ASSERT_TRUE(qibo::test::WriteTinyModule("tiny.xm"));
    ASSERT_TRUE(qibo::test::WriteWav("short.wav", 1000, 44100, 2));
  }
  void TearDown() override {
    m_output.Close();
    m_dir.Leave();
  }

  qibo::test::TempDir m_dir;
  AudioOutput m_output;
};

}  // namespace

TEST_F(AudioOutputTest, DevicePullsFromTheDecoderOnceStarted) {
  std::string error;
  ASSERT_TRUE(m_output.Open(&error)) << error;
  m_output.SetSource(OpenModuleDecoder("tiny.xm", true));
  EXPECT_FALSE(m_output.IsPlaying());  // opened paused
  m_output.Start();
  EXPECT_TRUE(m_output.IsPlaying());
  // Wait for the audio thread's first callback (about 23 ms of sound); the
  // deadline only bounds a broken driver.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (m_output.PlayedFrames() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_GT(m_output.PlayedFrames(), 0);
}

TEST_F(AudioOutputTest, PumpAdvancesOnlyWhileRunning) {
  ASSERT_TRUE(m_output.Open());
  m_output.SetSource(OpenModuleDecoder("tiny.xm", true));
  m_output.Pump(4410);
  EXPECT_EQ(m_output.PlayedFrames(), 0);
  m_output.Start();
  m_output.Pump(4410);
  EXPECT_GE(m_output.PlayedFrames(), 4410);
  m_output.Stop();
  EXPECT_FALSE(m_output.IsPlaying());
  const int64_t stopped = m_output.PlayedFrames();
  m_output.Pump(4410);
  EXPECT_EQ(m_output.PlayedFrames(), stopped);
}

TEST_F(AudioOutputTest, StreamStopsPlayingAtItsEnd) {
  ASSERT_TRUE(m_output.Open());
  m_output.SetSource(OpenStreamDecoder("short.wav"));
  m_output.Start();
  m_output.Pump(2048);
  EXPECT_FALSE(m_output.IsPlaying());
  EXPECT_EQ(m_output.PlayedFrames(), 1000);
}

TEST_F(AudioOutputTest, NewSourceRestartsTheCount) {
  ASSERT_TRUE(m_output.Open());
  m_output.SetSource(OpenStreamDecoder("short.wav"));
  m_output.Start();
  m_output.Pump(2048);
  ASSERT_FALSE(m_output.IsPlaying());
  m_output.SetSource(OpenModuleDecoder("tiny.xm", true));
  EXPECT_TRUE(m_output.HasSource());
  EXPECT_TRUE(m_output.IsPlaying());
  m_output.SetSource(nullptr);
  EXPECT_FALSE(m_output.HasSource());
  EXPECT_FALSE(m_output.IsPlaying());
  EXPECT_EQ(m_output.PlayedFrames(), 0);
}

TEST_F(AudioOutputTest, ClosedOutputNeverPlays) {
  m_output.SetSource(OpenModuleDecoder("tiny.xm", true));
  m_output.Start();
  m_output.Pump(100);
  EXPECT_FALSE(m_output.IsOpen());
  EXPECT_FALSE(m_output.IsPlaying());
  EXPECT_EQ(m_output.PlayedFrames(), 0);
  // Open and close twice: the audio subsystem is released each time.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(m_output.Open());
    EXPECT_TRUE(m_output.IsOpen());
    m_output.Close();
    EXPECT_FALSE(m_output.IsOpen());
    EXPECT_FALSE(m_output.HasSource());
  }
}
