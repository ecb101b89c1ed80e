#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "demo/record/RecordOptions.h"

using qibo::demo::ParseRecordOptions;
using qibo::demo::RecordOptions;

namespace {

struct Case {
  std::vector<const char*> args;  // after argv[0]
  bool ok;
  const char* path;
  int width, height, fps;
  const char* message;  // part of the error, when refused
};

}  // namespace

TEST(RecordOptionsTest, ParsesGoodCommandLinesAndExplainsBadOnes) {
  const std::vector<Case> cases = {
      {{}, true, "", 640, 480, 60, ""},
      {{"-speed2", "-setup"}, true, "", 640, 480, 60, ""},
      {{"--record", "demo.mp4"}, true, "demo.mp4", 640, 480, 60, ""},
      {{"--record", "demo.mp4", "--size", "320x240", "--fps", "30"}, true, "demo.mp4", 320, 240, 30, ""},
      {{"--fps=24", "--size=1280X720", "--record=out/a b.mkv"}, true, "out/a b.mkv", 1280, 720, 24, ""},
      {{"-speed3", "--record", "x.mp4", "--fps", "25", "--fps", "50"}, true, "x.mp4", 640, 480, 50, ""},
      {{"--size", "16x8192", "--fps", "240"}, true, "", 16, 8192, 240, ""},
      {{"--record"}, false, "", 640, 480, 60, "--record needs a file name"},
      {{"--record="}, false, "", 640, 480, 60, "--record needs a file name"},
      {{"--record", "a.mp4", "--size"}, false, "", 640, 480, 60, "--size needs a value"},
      {{"--fps"}, false, "", 640, 480, 60, "--fps needs a value"},
      {{"--size", "640*480"}, false, "", 640, 480, 60, "WIDTHxHEIGHT"},
      {{"--size", "640x"}, false, "", 640, 480, 60, "WIDTHxHEIGHT"},
      {{"--size", "-640x480"}, false, "", 640, 480, 60, "WIDTHxHEIGHT"},
      {{"--size", "640x480x2"}, false, "", 640, 480, 60, "WIDTHxHEIGHT"},
      {{"--size", "0x480"}, false, "", 640, 480, 60, "out of range"},
      {{"--size", "640x100000"}, false, "", 640, 480, 60, "out of range"},
      {{"--size", "99999999999x480"}, false, "", 640, 480, 60, "WIDTHxHEIGHT"},
      {{"--size", "641x480"}, false, "", 640, 480, 60, "even"},
      {{"--fps", "0"}, false, "", 640, 480, 60, "out of range"},
      {{"--fps", "241"}, false, "", 640, 480, 60, "out of range"},
      {{"--fps", "60fps"}, false, "", 640, 480, 60, "whole number"},
      {{"--fps", "+60"}, false, "", 640, 480, 60, "whole number"},
      {{"--fps", ""}, false, "", 640, 480, 60, "whole number"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"Quarndelion"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string trace;
    for (const char* a : c.args) trace += std::string(a) + " ";
    SCOPED_TRACE(trace);
    RecordOptions options;
    std::string error = "stale";
    EXPECT_EQ(ParseRecordOptions(static_cast<int>(argv.size()), argv.data(), options, error), c.ok);
    // A movie's name is made absolute where it was given.
    EXPECT_EQ(options.path, *c.path ? (std::filesystem::current_path() / c.path).string() : "");
    EXPECT_EQ(options.Enabled(), *c.path != '\0');
    EXPECT_EQ(options.width, c.width);
    EXPECT_EQ(options.height, c.height);
    EXPECT_EQ(options.fps, c.fps);
    if (c.ok)
      EXPECT_TRUE(error.empty()) << error;
    else
      EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

// Without a recording --size and --fullscreen are the window's for this run;
// the device keeps its own size where no size is given.
TEST(RecordOptionsTest, WindowTakesSizeAndFullScreen) {
  const struct {
    std::vector<const char*> args;
    bool sizeGiven, fullScreen;
    int width, height;
  } cases[] = {
      {{}, false, false, 640, 480},
      {{"--size", "1280x720"}, true, false, 1280, 720},
      {{"--fullscreen"}, false, true, 640, 480},
      {{"-speed2", "--fullscreen", "--size=800x600"}, true, true, 800, 600},
      {{"--fullscreen=1"}, false, false, 640, 480},  // a flag takes no value: left to the program
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"Quarndelion"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(argv.size() > 1 ? argv[1] : "no options");
    RecordOptions options;
    std::string error;
    ASSERT_TRUE(ParseRecordOptions(static_cast<int>(argv.size()), argv.data(), options, error)) << error;
    EXPECT_FALSE(options.Enabled());
    EXPECT_EQ(options.sizeGiven, c.sizeGiven);
    EXPECT_EQ(options.fullScreen, c.fullScreen);
    EXPECT_EQ(options.width, c.width);
    EXPECT_EQ(options.height, c.height);
  }
}

// --quality names a level; the recording's encoder settings follow it.
TEST(RecordOptionsTest, QualityNamesALevel) {
  using qibo::demo::MovieQuality;
  const struct {
    std::vector<const char*> args;
    bool ok;
    MovieQuality quality;
    const char* message;
  } cases[] = {
      {{"--record", "a.mp4"}, true, MovieQuality::kNormal, ""},
      {{"--record", "a.mp4", "--quality", "draft"}, true, MovieQuality::kDraft, ""},
      {{"--quality=lossless", "--record=a.mp4"}, true, MovieQuality::kLossless, ""},
      {{"--quality", "high", "--quality", "normal"}, true, MovieQuality::kNormal, ""},
      {{"--quality", "best"}, false, MovieQuality::kNormal, "draft, normal, high or lossless, not \"best\""},
      {{"--quality", "HIGH"}, false, MovieQuality::kNormal, "not \"HIGH\""},
      {{"--quality"}, false, MovieQuality::kNormal, "--quality needs a value"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"Quarndelion"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args.back());
    RecordOptions options;
    std::string error;
    EXPECT_EQ(ParseRecordOptions(static_cast<int>(argv.size()), argv.data(), options, error), c.ok);
    EXPECT_EQ(options.quality, c.quality);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}
