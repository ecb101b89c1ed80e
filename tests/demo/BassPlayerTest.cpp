#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "demo/CTBassPlayer.h"
#include "tests/demo/MusicFiles.h"
#include "tests/support/EngineFixture.h"

namespace {

constexpr int kSecond = 44100;  // frames

// Plays through SDL's dummy driver (see AudioEnvironment.cpp). Pump moves
// playback on without waiting for the device's own pace.
class BassPlayerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    ASSERT_TRUE(qibo::test::WriteTinyModule("tiny.xm"));
    ASSERT_TRUE(qibo::test::WriteWav("short.wav", kSecond / 5, 44100, 2));
    ASSERT_TRUE(qibo::test::WriteText("notes.txt", "This is not music.\n"));
    m_player = static_cast<CTBassPlayer*>(static_cast<CTBasic*>(CTBassPlayer::_CD()->Create()));
    ASSERT_NE(m_player, nullptr);
    m_player->AddRef(nullptr);
  }
  void TearDown() override {
    if (m_player) {
      m_player->Stop();
      m_player->RemoveRef(nullptr);
    }
    EngineFixture::TearDown();
  }

  CTBassPlayer* m_player = nullptr;
};

}  // namespace

TEST_F(BassPlayerTest, Descriptor) {
  const ClassDesc* cd = CTBassPlayer::_CD();
  EXPECT_EQ(cd->ID(), 0xB75ED65Fu);
  EXPECT_STREQ(cd->GetDesc().c_str(), "BASS Music Player");
  EXPECT_STREQ(cd->GetProductName().c_str(), "qiBO Devices");
  EXPECT_FALSE(cd->Abstract());
  EXPECT_TRUE(cd->CheckGroupID(CTMusicPlayer::_CD()->ID()));
}

TEST_F(BassPlayerTest, ModuleLoadsPlaysLoopsAndUnloads) {
  ASSERT_TRUE(m_player->Start());
  ASSERT_TRUE(m_player->Load("tiny.xm")) << m_player->LastErrorMsg().c_str();
  EXPECT_TRUE(m_player->IsModule());
  EXPECT_FALSE(m_player->IsActive());  // loaded, not yet playing
  EXPECT_TRUE(m_player->Play());
  EXPECT_TRUE(m_player->IsActive());
  // Twenty times the piece's length: module music loops.
  m_player->Pump(10 * kSecond);
  EXPECT_TRUE(m_player->IsActive());
  EXPECT_GE(m_player->GetPlayedMs(), 10000);
  EXPECT_TRUE(m_player->Unload());
  EXPECT_FALSE(m_player->IsLoaded());
  EXPECT_FALSE(m_player->IsActive());
}

TEST_F(BassPlayerTest, WavLoadsPlaysOnceAndUnloads) {
  ASSERT_TRUE(m_player->Start());
  ASSERT_TRUE(m_player->Load("short.wav"));
  EXPECT_TRUE(m_player->IsLoaded());
  EXPECT_FALSE(m_player->IsModule());
  EXPECT_TRUE(m_player->Play());
  EXPECT_TRUE(m_player->IsActive());
  m_player->Pump(kSecond);
  EXPECT_FALSE(m_player->IsActive());
  EXPECT_EQ(m_player->GetPlayedMs(), 200);
  EXPECT_TRUE(m_player->Unload());
  EXPECT_FALSE(m_player->IsLoaded());
}

// The engine's names, backslashes and any case, reach the file.
TEST_F(BassPlayerTest, EngineStyleNamesFindTheirFiles) {
  ASSERT_TRUE(m_player->Start());
  ASSERT_EQ(mkdir("RunFiles", 0755), 0);
  ASSERT_EQ(rename("tiny.xm", "RunFiles/tiny.xm"), 0);
  for (const char* name : {"runfiles\\tiny.xm", "RUNFILES/Tiny.XM"}) {
    EXPECT_TRUE(m_player->Load(name)) << name;
    EXPECT_TRUE(m_player->IsModule()) << name;
  }
  EXPECT_FALSE(m_player->Load("runfiles\\missing.xm"));
}

TEST_F(BassPlayerTest, DeviceThreadPullsTheMusic) {
  ASSERT_TRUE(m_player->Start());
  ASSERT_TRUE(m_player->Load("tiny.xm"));
  ASSERT_TRUE(m_player->Play());
  // No pumping: SDL's audio thread takes the sound. The deadline only
  // bounds a broken driver.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (m_player->GetPlayedMs() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_GT(m_player->GetPlayedMs(), 0);
}

TEST_F(BassPlayerTest, TextFileCannotBePlayed) {
  ASSERT_TRUE(m_player->Start());
  EXPECT_FALSE(m_player->Load("notes.txt"));
  EXPECT_TRUE(m_player->HasError());
  EXPECT_STREQ(m_player->LastErrorMsg().c_str(), "Can't play the file");
  EXPECT_FALSE(m_player->IsLoaded());
  EXPECT_FALSE(m_player->Play());
  EXPECT_FALSE(m_player->Load("missing.xm"));
  EXPECT_STREQ(m_player->LastErrorMsg().c_str(), "Can't play the file");
  // A good file afterwards clears the error.
  EXPECT_TRUE(m_player->Load("tiny.xm"));
  EXPECT_FALSE(m_player->HasError());
}

TEST_F(BassPlayerTest, PlayWithoutAFileIsFalseAndLeavesTheOutputStopped) {
  ASSERT_TRUE(m_player->Start());
  EXPECT_FALSE(m_player->Play());
  // Had Play started the output, the music loaded now would be playing.
  ASSERT_TRUE(m_player->Load("tiny.xm"));
  EXPECT_FALSE(m_player->IsActive());
  m_player->Pump(kSecond);
  EXPECT_EQ(m_player->GetPlayedMs(), 0);
}

TEST_F(BassPlayerTest, PlayOnAStoppedDeviceIsFalse) {
  EXPECT_FALSE(m_player->Play());
  // Files can be loaded before the output exists, but they cannot play.
  ASSERT_TRUE(m_player->Load("tiny.xm"));
  EXPECT_FALSE(m_player->Play());
  EXPECT_FALSE(m_player->IsActive());
}

TEST_F(BassPlayerTest, SecondLoadUnloadsTheFirst) {
  ASSERT_TRUE(m_player->Start());
  ASSERT_TRUE(m_player->Load("tiny.xm"));
  ASSERT_TRUE(m_player->Play());
  m_player->Pump(kSecond);
  ASSERT_TRUE(m_player->Load("short.wav"));
  EXPECT_FALSE(m_player->IsModule());
  EXPECT_FALSE(m_player->IsActive());  // loading stopped the music
  EXPECT_EQ(m_player->GetPlayedMs(), 0);
  EXPECT_TRUE(m_player->Play());
  m_player->Pump(kSecond);
  // The stream ended; the module, had it stayed, would still play.
  EXPECT_FALSE(m_player->IsActive());
  EXPECT_EQ(m_player->GetPlayedMs(), 200);
}

TEST_F(BassPlayerTest, StopMusicHoldsAndPlayGoesOn) {
  ASSERT_TRUE(m_player->Start());
  ASSERT_TRUE(m_player->Load("tiny.xm"));
  ASSERT_TRUE(m_player->Play());
  m_player->Pump(kSecond / 2);
  EXPECT_TRUE(m_player->StopMusic());
  EXPECT_FALSE(m_player->IsActive());
  const int64_t held = m_player->GetPlayedMs();
  m_player->Pump(kSecond);
  EXPECT_EQ(m_player->GetPlayedMs(), held);
  EXPECT_TRUE(m_player->Play());
  EXPECT_FALSE(m_player->Pause());
  EXPECT_FALSE(m_player->Resume());
}

TEST_F(BassPlayerTest, StoppingTheDeviceUnloadsAndItStartsAgain) {
  ASSERT_TRUE(m_player->Start());
  ASSERT_TRUE(m_player->Load("tiny.xm"));
  ASSERT_TRUE(m_player->Play());
  ASSERT_TRUE(m_player->Stop());
  EXPECT_FALSE(m_player->IsLoaded());
  EXPECT_FALSE(m_player->IsActive());
  ASSERT_TRUE(m_player->Start());
  ASSERT_TRUE(m_player->Load("short.wav"));
  EXPECT_TRUE(m_player->Play());
}

TEST_F(BassPlayerTest, UnavailableAudioDriverFailsTheStart) {
  const char* old = getenv("SDL_AUDIODRIVER");
  const std::string saved = old ? old : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_FALSE(m_player->Start());
  if (old)
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  else
    unsetenv("SDL_AUDIODRIVER");
  EXPECT_FALSE(m_player->IsStarted());
  // The message carries SDL's reason.
  EXPECT_STREQ(m_player->LastErrorMsg().c_str(),
               "No sound device: Audio target 'no-such-driver' not available");
  EXPECT_TRUE(m_player->Start());
}

TEST_F(BassPlayerTest, DeviceManagerLendsThePlayerExclusively) {
  qiBO_RegisterClass(CTBassPlayer::_CD());
  auto* devices = qibo::GetService<CTDeviceManager>();
  ASSERT_NE(devices, nullptr);
  DevicePtr<CTMusicPlayer> player;
  player = static_cast<CTMusicPlayer*>(devices->GetDevice(CTMusicPlayer::_CD()->ID(), false));
  ASSERT_TRUE(player);
  EXPECT_EQ(player->GetCD(), CTBassPlayer::_CD());
  EXPECT_TRUE(player->IsStarted());
  EXPECT_EQ(devices->GetDevice(CTMusicPlayer::_CD()->ID(), false), nullptr);
  ASSERT_TRUE(player->Load("tiny.xm"));
  EXPECT_TRUE(player->Play());
  CTMusicPlayer* raw = player.Get();
  raw->AddRef(nullptr);
  player.Reset();  // the last use: the manager stops the device
  EXPECT_FALSE(raw->IsStarted());
  EXPECT_FALSE(static_cast<CTBassPlayer*>(raw)->IsLoaded());
  raw->RemoveRef(nullptr);
}
