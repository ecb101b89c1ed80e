#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/kernel/Kernel.h"
#include "demo/record/MusicRenderer.h"
#include "tests/demo/MusicFiles.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"

using qibo::demo::MusicRenderer;

namespace {

// The first `frames` sample frames of the file in one read, straight from
// libopenmpt, repeating as the recorder does.
std::vector<float> ReadAtOnce(const char* path, int rate, int frames) {
  const std::string data = qibo::test::GetFile(path);
  openmpt_module* module =
      openmpt_module_create_from_memory2(data.data(), data.size(), openmpt_log_func_silent, nullptr,
                                         openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
  if (!module) return {};
  openmpt_module_set_repeat_count(module, -1);
  std::vector<float> out(static_cast<size_t>(frames) * 2);
  out.resize(
      openmpt_module_read_interleaved_float_stereo(module, rate, static_cast<size_t>(frames), out.data()) *
      2);
  openmpt_module_destroy(module);
  return out;
}

class MusicRendererTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    ASSERT_TRUE(qibo::test::WriteTinyModule("tiny.xm"));
  }
};

}  // namespace

// Frame by frame, one second is exactly the second's samples, and the same
// sound as one long read: nothing dropped, doubled or drifting.
TEST_F(MusicRendererTest, FramesTileTheSecondExactly) {
  for (int rate : {44100, 48000}) {
    const std::vector<float> whole = ReadAtOnce("tiny.xm", rate, rate);
    ASSERT_EQ(whole.size(), static_cast<size_t>(rate) * 2);
    for (int fps : {60, 30, 24}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(fps) + " fps");
      MusicRenderer music;
      ASSERT_TRUE(music.Open("tiny.xm", rate, fps)) << music.LastError();
      std::vector<float> joined, frame;
      for (int k = 0; k < fps; ++k) {
        const int count = music.RenderFrame(k, frame);
        ASSERT_EQ(frame.size(), static_cast<size_t>(count) * 2);
        EXPECT_TRUE(count == rate / fps || count == rate / fps + 1) << count;
        EXPECT_EQ(count, MusicRenderer::SamplesInFrame(k, rate, fps));
        joined.insert(joined.end(), frame.begin(), frame.end());
      }
      ASSERT_EQ(joined.size(), whole.size());
      EXPECT_TRUE(joined == whole);
      EXPECT_GT(*std::max_element(joined.begin(), joined.end()), 0.05f);
    }
  }
}

// Frames asked out of order still hold the samples of their place.
TEST_F(MusicRendererTest, FramesOutOfOrderMatchTheirPlace) {
  const int rate = 44100, fps = 24;
  const std::vector<float> whole = ReadAtOnce("tiny.xm", rate, rate);
  MusicRenderer music;
  ASSERT_TRUE(music.Open("tiny.xm", rate, fps));
  std::vector<float> frame;
  for (int k : {0, 1, 9, 3, 3, 23, 0, 12}) {
    SCOPED_TRACE(k);
    const int count = music.RenderFrame(k, frame);
    const auto start = static_cast<size_t>(MusicRenderer::FrameStart(k, rate, fps)) * 2;
    ASSERT_EQ(frame.size(), static_cast<size_t>(count) * 2);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), whole.begin() + static_cast<std::ptrdiff_t>(start)));
  }
  EXPECT_EQ(music.RenderFrame(-1, frame), -1);
  EXPECT_TRUE(frame.empty());
}

// The fingerprint is FNV-1a over 16-bit little-endian samples of the
// frame-by-frame sound, and changes with the sound.
TEST_F(MusicRendererTest, HashFingerprintsTheRenderedSound) {
  const std::vector<float> whole = ReadAtOnce("tiny.xm", 44100, 2 * 44100);
  uint64_t expected = 0xCBF29CE484222325ull;
  for (float f : whole) {
    const auto v =
        static_cast<uint16_t>(static_cast<int16_t>(std::lrint(std::clamp(f, -1.0f, 1.0f) * 32767.0f)));
    for (int byte : {v & 0xFF, v >> 8})
      expected = (expected ^ static_cast<uint64_t>(byte)) * 0x100000001B3ull;
  }
  EXPECT_EQ(MusicRenderer::HashFirstSeconds("tiny.xm", 2, 44100, 60), expected);
  EXPECT_EQ(MusicRenderer::HashFirstSeconds("tiny.xm", 2, 44100, 24), expected);
  EXPECT_NE(MusicRenderer::HashFirstSeconds("tiny.xm", 2, 48000, 60), expected);
  EXPECT_NE(MusicRenderer::HashFirstSeconds("tiny.xm", 1, 44100, 60), expected);
  EXPECT_EQ(MusicRenderer::HashFirstSeconds("missing.xm", 2, 44100, 60), std::nullopt);
}

TEST_F(MusicRendererTest, OpenRefusesWhatItCannotPlay) {
  ASSERT_TRUE(qibo::test::WriteText("notes.txt", "This is not music.\n"));
  ASSERT_TRUE(qibo::test::WriteText("empty.xm", ""));
  struct Case {
    const char* path;
    int rate, fps;
  };
  const Case cases[] = {{nullptr, 44100, 60},     {"", 44100, 60},         {"missing.xm", 44100, 60},
                        {"notes.txt", 44100, 60}, {"empty.xm", 44100, 60}, {".", 44100, 60},
                        {"tiny.xm", 0, 60},       {"tiny.xm", 400000, 60}, {"tiny.xm", 44100, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path ? c.path : "(null)") + " " + std::to_string(c.rate) + " " +
                 std::to_string(c.fps));
    MusicRenderer music;
    EXPECT_FALSE(music.Open(c.path, c.rate, c.fps));
    EXPECT_FALSE(music.IsOpen());
    EXPECT_FALSE(music.LastError().empty());
    std::vector<float> frame(4, 1.0f);
    EXPECT_EQ(music.RenderFrame(0, frame), -1);
    EXPECT_TRUE(frame.empty());
  }
}
