// qibo video off screen (snapshots and recordings) on videos made by the
// test, and qibo setup without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/d3d/TestVideos.h"
#include "tests/demo/record/DecodedMovie.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

using namespace qibo::test;

namespace {

constexpr uint32_t kRed = 0xE02020;
constexpr uint32_t kBlue = 0x2030E0;
constexpr uint32_t kGreen = 0x20C040;

// The centre pixel of a binary PPM as 0xRRGGBB; 0xFFFFFFFF when the file
// is not one.
uint32_t PpmCentre(const std::string& file) {
  const std::string bytes = GetFile(file.c_str());
  int width = 0, height = 0, max = 0, header = 0;
  if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &width, &height, &max, &header) != 3 || width <= 0 ||
      height <= 0)
    return 0xFFFFFFFFu;
  const size_t at =
      static_cast<size_t>(header + 1) + (static_cast<size_t>(height / 2) * width + width / 2) * 3;
  if (at + 3 > bytes.size()) return 0xFFFFFFFFu;
  const auto c = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])); };
  return (c(0) << 16) | (c(1) << 8) | c(2);
}

void ExpectNear(uint32_t got, uint32_t want, const std::string& what) {
  for (int shift : {16, 8, 0})
    EXPECT_NEAR(static_cast<int>((got >> shift) & 0xFF), static_cast<int>((want >> shift) & 0xFF), 28)
        << what << std::hex << " got 0x" << got;
}

// The tool runs with Mesa's drivers pinned (tests/tools/PinGlDrivers.c);
// the sanitizer is told that a plain library comes before it.
class VideoCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* asan = getenv("ASAN_OPTIONS");
    m_asan = asan ? asan : "";
    setenv("ASAN_OPTIONS", (m_asan + ":verify_asan_link_order=0").c_str(), 1);
    setenv("LD_PRELOAD", QIBO_PIN_GL_PATH, 1);
    ASSERT_TRUE(m_dir.Enter());
    ASSERT_TRUE(WriteTestVideo("redblue.mp4", TestVideo{{{kRed, 10}, {kBlue, 10}}}));
    TestVideo green{{{kGreen, 10}}};
    green.toneHz = 0;
    ASSERT_TRUE(WriteTestVideo("green.mp4", green));
    ASSERT_TRUE(WriteTextFile("notes.txt", "no video\n"));
  }
  void TearDown() override {
    unsetenv("LD_PRELOAD");
    setenv("ASAN_OPTIONS", m_asan.c_str(), 1);
    m_dir.Leave();
  }
  TempDir m_dir;
  std::string m_asan;
};

}  // namespace

TEST_F(VideoCommandTest, SnapshotsShowThePictureOfTheirTime) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* output;
    const char* snapshot;  // null: none written
    uint32_t rgb;
  } cases[] = {
      {{"video", "redblue.mp4", "--snapshot", "red.ppm", "--at", "0.2", "--size", "256x192"},
       0,
       "Snapshot saved to red.ppm",
       "red.ppm",
       kRed},
      {{"video", "redblue.mp4", "green.mp4", "--snapshot", "end.ppm", "--size", "256x192"},
       0,
       "",
       "end.ppm",
       kGreen},
      {{"video", "notes.txt", "green.mp4", "--snapshot", "next.ppm", "--size", "256x192"},
       1,
       "ERROR!!: opening media file",
       "next.ppm",
       kGreen},
      {{"video", "notes.txt", "--snapshot", "none.ppm"}, 1, "notes.txt: opening media file", nullptr, 0},
      {{"video", "redblue.mp4", "--loop", "--record", "x.mp4"}, 2, "--loop would never end", nullptr, 0},
      {{"video", "redblue.mp4", "--at", "1"}, 2, "--at goes with --snapshot", nullptr, 0},
      {{"video", "--snapshot", "a.ppm"}, 2, "no video file given", nullptr, 0},
  };
  for (const auto& c : cases) {
    std::string output;
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    EXPECT_EQ(RunTool(c.args, &output), c.exitCode) << output;
    EXPECT_NE(output.find(c.output), std::string::npos) << output;
    if (c.snapshot)
      ExpectNear(PpmCentre(c.snapshot), c.rgb, c.snapshot);
    else
      EXPECT_FALSE(std::filesystem::exists("none.ppm"));
  }
}

// A recording holds every picture at its time and the sound at its place:
// the tone of the first video, then the second video's half second of
// silence.
TEST_F(VideoCommandTest, RecordingHoldsThePicturesAndTheSound) {
  std::string output;
  ASSERT_EQ(RunTool({"video", "redblue.mp4", "green.mp4", "--record", "out.mp4", "--size", "256x192", "--fps",
                     "25"},
                    &output),
            0)
      << output;
  EXPECT_NE(output.find("Recorded"), std::string::npos) << output;
  DecodedMovie movie;
  ASSERT_TRUE(DecodeMovie("out.mp4", movie));
  EXPECT_EQ(movie.width, 256);
  EXPECT_EQ(movie.height, 192);
  ASSERT_NEAR(static_cast<double>(movie.rgb.size()), 1.5 * 25, 3.0);
  const struct {
    double seconds;
    uint32_t rgb;
  } pictures[] = {{0.2, kRed}, {0.7, kBlue}, {1.3, kGreen}};
  for (const auto& p : pictures) {
    const auto frame = static_cast<size_t>(p.seconds * 25);
    const std::vector<uint8_t>& rgb = movie.rgb[frame];
    const size_t centre = (96 * 256 + 128) * 3;  // below the device's logo
    ExpectNear((uint32_t{rgb[centre]} << 16) | (uint32_t{rgb[centre + 1]} << 8) | rgb[centre + 2], p.rgb,
               "frame at " + std::to_string(p.seconds));
  }
  ASSERT_EQ(movie.sampleRate, 44100);
  auto rms = [&](double from, double to) {
    double squares = 0.0;
    const auto first = static_cast<size_t>(from * 44100), last = static_cast<size_t>(to * 44100);
    for (size_t i = first; i < last && i < movie.left.size(); ++i) squares += movie.left[i] * movie.left[i];
    return std::sqrt(squares / static_cast<double>(last - first));
  };
  EXPECT_NEAR(rms(0.1, 0.9), 0.5 / std::sqrt(2.0), 0.1);
  EXPECT_LT(rms(1.15, 1.45), 0.02);
}

TEST_F(VideoCommandTest, SetupNeedsADisplay) {
  std::string output;
  EXPECT_EQ(RunTool({"setup"}, &output), 1);  // the tests run on SDL's off-screen driver
  EXPECT_NE(output.find("the settings page could not be shown"), std::string::npos) << output;
  EXPECT_NE(output.find("needs a display"), std::string::npos) << output;
  EXPECT_EQ(RunTool({"setup", "extra"}, &output), 2);
}
