#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/devices/CTAV_Player.h"
#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/render/CTBasicSpectator.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"
#include "tests/d3d/D3DFixture.h"
#include "tests/d3d/TestVideos.h"

namespace qibo::test {
namespace {

constexpr uint32_t kRed = 0xE02020;
constexpr uint32_t kBlue = 0x2030E0;
constexpr uint32_t kGreen = 0x20C040;
constexpr uint32_t kFog = 0x203040;  // the frame's clear colour without a picture
constexpr int kTolerance = 24;       // 4:2:0 video and back

void ExpectRgb(uint32_t argb, uint32_t rgb, const char* what) {
  ExpectColor(argb, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, kTolerance, what);
}

// Collects what the player hands a sound sink.
struct SoundLog : CTAV_Player::SoundSink {
  struct Block {
    int64_t position;
    int frames;
  };
  void WriteSound(const float* interleaved, int frames, int64_t position) override {
    blocks.push_back({position, frames});
    for (int i = 0; i < frames * 2; ++i) squares += static_cast<double>(interleaved[i]) * interleaved[i];
  }
  int64_t Frames() const {
    int64_t total = 0;
    for (const Block& b : blocks) total += b.frames;
    return total;
  }
  std::vector<Block> blocks;
  double squares = 0.0;
};

// An empty scene seen through a spectator on the shown render device (the
// environment's fog colour clears it), the player from the device manager,
// and two videos made now: 0.5 s red then 0.5 s blue with a 440 Hz tone,
// and 0.5 s green without sound. Every frame lasts 10 ms.
class AVPlayerTest : public D3DFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(D3DFixture::SetUp());
    auto* engine = qibo::GetService<DefEngineManager>();
    ASSERT_TRUE(engine && engine->GetDefaultEnvironment());
    engine->GetDefaultEnvironment()->SetFogColor(kFog);
    auto* world = Make<CTGroup>("World");
    auto* camera = Make<CTCamera>("Eye");
    camera->SetParent(world);
    m_spectator = Make<CTBasicSpectator>();
    m_spectator->SetCamera(camera);
    m_spectator->Enable();
    m_spectator->RegisterWithService();
    Play(20);
    ASSERT_TRUE(m_spectator->GetVideoDevice() && m_spectator->GetVideoDevice()->IsVisible());
    auto* devices = qibo::GetService<CTDeviceManager>();
    m_player = qibo::Cast<CTAV_Player>(devices->GetDevice(CTAV_Player::_CD()->ID(), -1, false));
    ASSERT_TRUE(m_player);
    TestVideo redBlue{{{kRed, 10}, {kBlue, 10}}};
    ASSERT_TRUE(WriteTestVideo("redblue.mp4", redBlue));
    TestVideo green{{{kGreen, 10}}};
    green.toneHz = 0;
    ASSERT_TRUE(WriteTestVideo("green.mp4", green));
  }
  void TearDown() override {
    m_player.Reset();
    if (m_spectator) m_spectator->UnregisterWithService();
    D3DFixture::TearDown();
  }

  void Play(int ms) {
    for (int i = 0; i < ms / 10; ++i) qiBO_DoFrame();
  }
  uint32_t Centre() { return PixelAt(m_spectator->GetVideoDevice(), 176, 139); }
  // A fresh playlist of the files, opened; the "ERROR!!" lines printed.
  std::vector<std::string> Open(const std::vector<std::string>& files, bool& opened) {
    m_player->Restart();  // stopping empties the playlist
    for (const std::string& file : files) EXPECT_TRUE(m_player->AddFile(file.c_str()));
    ::testing::internal::CaptureStdout();
    opened = m_player->Open();
    std::istringstream out(::testing::internal::GetCapturedStdout());
    std::vector<std::string> errors;
    for (std::string line; std::getline(out, line);)
      if (line.rfind("ERROR!!: ", 0) == 0) errors.push_back(line.substr(9));
    return errors;
  }

  CTBasicSpectator* m_spectator = nullptr;
  DevicePtr<CTAV_Player> m_player;
};

}  // namespace

// Each picture shows behind the (empty) scene at its time; the next file
// follows the last picture; past the last file the player stops (keeping
// the last picture) or, looping, starts over.
TEST_F(AVPlayerTest, PlaylistShowsEachPictureAtItsTimeThenStopsOrStartsOver) {
  for (bool loop : {false, true}) {
    SCOPED_TRACE(loop ? "looping" : "once");
    bool opened = false;
    EXPECT_TRUE(Open({"redblue.mp4", "green.mp4"}, opened).empty());
    ASSERT_TRUE(opened);
    m_player->SetLoop(loop);
    EXPECT_EQ(m_player->GetCurrent(), 0);
    const struct {
      int untilMs;
      uint32_t rgb;
      int current;
    } steps[] = {
        {200, kRed, 0}, {700, kBlue, 0}, {1250, kGreen, 1}, {1900, loop ? kRed : kGreen, loop ? 0 : -1}};
    int played = 0;
    for (const auto& step : steps) {
      Play(step.untilMs - played);
      played = step.untilMs;
      SCOPED_TRACE(step.untilMs);
      ExpectRgb(Centre(), step.rgb, "picture");
      EXPECT_EQ(m_player->GetCurrent(), step.current);
    }
  }
}

// A file that cannot be played is reported with the step that failed and
// left out; the next file plays. A file cut short plays what it has, then
// the next one follows.
TEST_F(AVPlayerTest, BadFilesReportTheFailingStepAndTheNextFilePlays) {
  TestVideo redBlue{{{kRed, 10}, {kBlue, 10}}};
  TestVideo unknown = redBlue;
  unknown.videoEncoders = {"mpeg4"};
  const struct {
    const char* file;
    std::function<bool()> make;
    const char* step;  // null: opens, and ends early
  } cases[] = {
      {"notes.txt", [] { return WriteTextFile("notes.txt", "Not a video at all.\n"); }, "opening media file"},
      {"missing.mp4", [] { return true; }, "opening media file"},
      {"fifo.mp4", [] { return mkfifo("fifo.mp4", 0600) == 0; }, "opening media file"},
      {"tone.wav", [] { return WriteToneWav("tone.wav", 1.0, 440.0); }, "getting primary video stream"},
      {"unknown.avi",
       [&] {
         return WriteTestVideo("unknown.avi", unknown) && PatchFourCC("unknown.avi", "FMP4", "QIBO") > 0;
       },
       "adding primary video stream"},
      // Cut inside its header: no stream is left.
      {"head.mp4", [&] { return WriteTestVideo("head.mp4", redBlue) && TruncateFile("head.mp4", 0.01); },
       "getting primary video stream"},
      {"cut.mp4", [&] { return WriteTestVideo("cut.mp4", redBlue) && TruncateFile("cut.mp4", 0.5); },
       nullptr},
      {"cut.mkv", [&] { return WriteTestVideo("cut.mkv", redBlue) && TruncateFile("cut.mkv", 0.4); },
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(c.make());
    bool opened = false;
    const std::vector<std::string> errors = Open({c.file, "green.mp4"}, opened);
    EXPECT_TRUE(opened);
    if (c.step) {
      EXPECT_EQ(errors, std::vector<std::string>{c.step});
      EXPECT_GE(CountLogged(std::string(c.file) + ": " + c.step), 1);
      EXPECT_EQ(m_player->GetCurrent(), 1);
      Play(100);
      ExpectRgb(Centre(), kGreen, "the next file");
    } else {
      EXPECT_TRUE(errors.empty());
      EXPECT_EQ(m_player->GetCurrent(), 0);
      Play(100);
      ExpectRgb(Centre(), kRed, "the start of the cut file");
      Play(800);
      EXPECT_EQ(m_player->GetCurrent(), 1);
      ExpectRgb(Centre(), kGreen, "the next file, early");
    }
  }
  // A name that a playlist entry cannot hold whole is refused, not cut.
  EXPECT_FALSE(m_player->AddFile(""));
  EXPECT_FALSE(m_player->AddFile(std::string(256, 'a').c_str()));
  EXPECT_TRUE(m_player->AddFile(std::string(255, 'a').c_str()));
  // Nothing that plays: Open fails and the player stays stopped.
  bool opened = true;
  EXPECT_EQ(Open({"notes.txt", "missing.mp4"}, opened).size(), 2u);
  EXPECT_FALSE(opened);
  EXPECT_EQ(m_player->GetCurrent(), -1);
}

// The sound reaches the sound card: SDL's "disk" driver writes what it
// plays (interleaved stereo floats at 44100 Hz) to a file.
TEST_F(AVPlayerTest, SoundReachesTheAudioOutput) {
  bool disk = false;
  for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i)
    disk = disk || std::string(SDL_GetAudioDriver(i)) == "disk";
  if (!disk) GTEST_SKIP() << "SDL has no disk audio driver";
  const std::string raw = m_dir.Path() + "/played.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  bool opened = false;
  Open({"redblue.mp4"}, opened);
  ASSERT_TRUE(opened);
  for (int i = 0; i < 80; ++i) {  // the disk driver plays in real time
    qiBO_DoFrame();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  m_player->Stop();  // closes the sound card, and the file with it
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  unsetenv("SDL_DISKAUDIOFILE");

  std::ifstream in(raw, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto* samples = reinterpret_cast<const float*>(bytes.data());
  const size_t frames = bytes.size() / (2 * sizeof(float));
  // The tone's samples (the silence before and after left out): their
  // strength, and how often they change sign.
  int64_t loud = 0, crossings = 0;
  double squares = 0.0;
  bool positive = true;
  for (size_t i = 0; i < frames; ++i) {
    const float left = samples[2 * i];
    if (std::fabs(left) < 0.05f) continue;
    if (loud++ > 0 && (left > 0) != positive) ++crossings;
    positive = left > 0;
    squares += static_cast<double>(left) * left;
  }
  ASSERT_GT(loud, 44100 / 4) << "a quarter of a second of the tone at least";
  const double seconds = static_cast<double>(loud) / 44100.0;
  EXPECT_NEAR(crossings / 2.0 / seconds, 440.0, 30.0);
  EXPECT_NEAR(std::sqrt(squares / static_cast<double>(loud)), 0.5 / std::sqrt(2.0), 0.1);
}

// Given a sink, the player hands it every file's sound at its place on the
// player's clock: a file without sound leaves a gap of its length.
TEST_F(AVPlayerTest, SoundSinkGetsEachFilesSoundAtItsPosition) {
  SoundLog log;
  m_player->SetSoundSink(&log);
  bool opened = false;
  Open({"redblue.mp4", "green.mp4", "redblue.mp4"}, opened);
  ASSERT_TRUE(opened);
  Play(3000);
  EXPECT_EQ(m_player->GetCurrent(), -1);
  m_player->SetSoundSink(nullptr);
  ASSERT_FALSE(log.blocks.empty());
  EXPECT_EQ(log.blocks.front().position, 0);
  // The first file's blocks follow each other without a gap; then the
  // silent file's half second.
  size_t next = 1;
  while (next < log.blocks.size() &&
         log.blocks[next].position == log.blocks[next - 1].position + log.blocks[next - 1].frames)
    ++next;
  ASSERT_LT(next, log.blocks.size());
  const int64_t firstEnd = log.blocks[next - 1].position + log.blocks[next - 1].frames;
  EXPECT_NEAR(static_cast<double>(firstEnd), 44100.0, 4000.0);
  EXPECT_NEAR(static_cast<double>(log.blocks[next].position - firstEnd), 0.5 * 44100.0, 3000.0);
  EXPECT_NEAR(static_cast<double>(log.Frames()), 2 * 44100.0, 8000.0);
  EXPECT_NEAR(std::sqrt(log.squares / (2.0 * static_cast<double>(log.Frames()))), 0.5 / std::sqrt(2.0), 0.1);
}

// Pause holds the picture and the clock; stopping keeps the last picture;
// stopping the player device takes the background away.
TEST_F(AVPlayerTest, PauseResumeAndStop) {
  EXPECT_FALSE(m_player->Pause());
  EXPECT_FALSE(m_player->Resume());
  bool opened = false;
  Open({"redblue.mp4"}, opened);
  ASSERT_TRUE(opened);
  Play(200);
  ASSERT_TRUE(m_player->Pause());
  EXPECT_TRUE(m_player->IsPaused());
  Play(1000);
  ExpectRgb(Centre(), kRed, "paused");
  EXPECT_EQ(m_player->GetCurrent(), 0);
  ASSERT_TRUE(m_player->Resume());
  Play(500);
  ExpectRgb(Centre(), kBlue, "resumed");
  m_player->StopPlaying();
  EXPECT_EQ(m_player->GetCurrent(), -1);
  EXPECT_FALSE(m_player->Pause());
  Play(50);
  ExpectRgb(Centre(), kBlue, "stopped");
  m_player.Reset();  // its last use: the device stops
  Play(30);
  ExpectRgb(Centre(), kFog, "no background");
}

}  // namespace qibo::test
