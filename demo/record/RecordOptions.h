#pragma once

#include <string>

#include "demo/record/MovieWriter.h"

// The command-line options of a recording run, and of the window:
//   Quarndelion --record FILE [--size WxH] [--fps N] [--quality LEVEL]
//   Quarndelion [--size WxH] [--fullscreen]
// Each option also takes its value after '=' ("--size=800x600"). Other
// arguments belong to the program and are left alone. Without a recording
// --size and --fullscreen set the window for this run only.
namespace qibo::demo {

struct RecordOptions {
  static constexpr int kDefaultWidth = 640;
  static constexpr int kDefaultHeight = 480;
  static constexpr int kDefaultFps = 60;
  // Sizes outside these bounds are refused; both sides must be even, as the
  // 4:2:0 video the movie is stored in halves them.
  static constexpr int kMinSide = 16;
  static constexpr int kMaxSide = 8192;
  static constexpr int kMaxFps = 240;

  std::string path;  // absolute; empty: no recording
  int width = kDefaultWidth;
  int height = kDefaultHeight;
  int fps = kDefaultFps;
  MovieQuality quality = MovieQuality::kNormal;  // --quality draft|normal|high|lossless
  bool sizeGiven = false;                        // --size was on the command line
  bool fullScreen = false;                       // --fullscreen

  bool Enabled() const { return !path.empty(); }
};

// Reads the recording options from argv (argv[0] is skipped). On a bad value
// or a missing one, answers false with a message for the user in error and
// leaves options as they were; on success error is cleared. The movie's
// name is made absolute against the working directory of the call, so that
// the program may change directory afterwards (it does, to find its data)
// and still writes where the user meant.
bool ParseRecordOptions(int argc, const char* const* argv, RecordOptions& options, std::string& error);

}  // namespace qibo::demo
