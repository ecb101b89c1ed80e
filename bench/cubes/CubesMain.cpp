// qiboCubesBench: frames per second of the render device drawing N lit,
// textured cubes through the engine, beside a plain OpenGL loop drawing the
// same cubes with one draw call each, offscreen at 640 x 480.
//
//   qiboCubesBench [--frames F] [--warmup W] [--rounds R] [--counts N,N,...] [--only plain|engine]
//                  [--plugins DIR] [--default-heap]
//
// --plugins: the folder to load RasterDev.plug from (default: the build's).
// Set SDL_VIDEODRIVER=offscreen to run without a display. For each round
// and count the plain loop (a window and context of its own, closed after
// it) and the engine (one device for the whole program) take turns; the
// ratio is engine fps / plain fps of the same turn. The device tunes the C
// library's heap for the GL driver when it opens; the program does the same
// at its start, so that the plain loop's turns run under the same heap;
// --default-heap leaves that out (the device still tunes it when it opens,
// so only the turns before the first engine turn run with the defaults).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/cubes/EngineLoop.h"
#include "bench/cubes/PlainLoop.h"
#include "plugins/d3d/DGlWindow.h"

using namespace qibo::cubes;

namespace {

struct Options {
  int frames = kOrbitFrames;
  int warmup = 10;
  int rounds = 2;
  std::vector<int> counts = {1000, 10000};
  bool plain = true;
  bool engine = true;
  bool tuneHeap = true;
  std::string plugIns = QIBO_CUBES_PLUGIN_DIR;
};

bool ParseCounts(const char* text, std::vector<int>& counts) {
  counts.clear();
  for (const char* p = text; *p;) {
    char* end = nullptr;
    const long value = std::strtol(p, &end, 10);
    if (end == p || value <= 0 || value > 1000000) return false;
    counts.push_back(static_cast<int>(value));
    p = *end == ',' ? end + 1 : end;
    if (*end && *end != ',') return false;
  }
  return !counts.empty();
}

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--frames" && value) {
      options.frames = std::atoi(value);
      if (options.frames <= 0) return false;
    } else if (arg == "--warmup" && value) {
      options.warmup = std::atoi(value);
      if (options.warmup < 0) return false;
    } else if (arg == "--rounds" && value) {
      options.rounds = std::atoi(value);
      if (options.rounds <= 0) return false;
    } else if (arg == "--counts" && value) {
      if (!ParseCounts(value, options.counts)) return false;
    } else if (arg == "--default-heap") {
      options.tuneHeap = false;
      continue;
    } else if (arg == "--plugins" && value) {
      options.plugIns = value;
      if (options.plugIns.back() != '/') options.plugIns += '/';
    } else if (arg == "--only" && value) {
      options.plain = std::strcmp(value, "plain") == 0;
      options.engine = std::strcmp(value, "engine") == 0;
      if (!options.plain && !options.engine) return false;
    } else {
      return false;
    }
    ++i;
  }
  return true;
}

// The engine writes its settings file into the working folder: run in a
// folder of our own, removed at the end.
class ScratchFolder {
 public:
  bool Enter() {
    char pattern[] = "/tmp/qiboCubesBench.XXXXXX";
    if (!mkdtemp(pattern)) return false;
    m_path = pattern;
    std::error_code error;
    m_previous = std::filesystem::current_path(error);
    std::filesystem::current_path(m_path, error);
    return !error;
  }
  ~ScratchFolder() {
    if (m_path.empty()) return;
    std::error_code error;
    std::filesystem::current_path(m_previous, error);
    std::filesystem::remove_all(m_path, error);
  }

 private:
  std::filesystem::path m_path;
  std::filesystem::path m_previous;
};

void PrintRow(int round, const char* renderer, int n, const LoopResult& r) {
  if (!r.ok) {
    std::printf("%5d %-8s %7d  failed: %s\n", round, renderer, n, r.error);
    return;
  }
  std::printf("%5d %-8s %7d %8d %9.3f %9.2f %12.2f %9.1f%%\n", round, renderer, n, r.frames, r.seconds, r.fps,
              r.cpuMsPerFrame, 100.0 * r.coverage);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s [--frames F] [--warmup W] [--rounds R] [--counts N,N,...] [--only plain|engine]\n"
                 "          [--plugins DIR] [--default-heap]\n",
                 argv[0]);
    return 2;
  }
  if (options.tuneHeap) DGlWindow::KeepDriverHeap();
  ScratchFolder folder;
  if (!folder.Enter()) {
    std::fprintf(stderr, "cannot make a scratch folder\n");
    return 1;
  }
  EngineLoop engine;
  if (options.engine)
    if (const char* error = engine.Start(options.plugIns.c_str())) {
      std::fprintf(stderr, "engine set-up failed: %s\n", error);
      return 1;
    }
  std::printf("%5s %-8s %7s %8s %9s %9s %12s %10s\n", "round", "renderer", "cubes", "frames", "seconds",
              "fps", "cpu ms/frame", "coverage");
  const size_t counts = options.counts.size();
  std::vector<std::vector<double>> ratios(counts);
  bool failed = false;
  // The renderers take turns, so that both see about the same machine load.
  for (int round = 1; round <= options.rounds; ++round)
    for (size_t i = 0; i < counts; ++i) {
      LoopResult plain, drawn;
      if (options.plain) {
        plain = RunPlainLoop(options.counts[i], options.frames, options.warmup);
        PrintRow(round, "plain", options.counts[i], plain);
      }
      if (options.engine) {
        drawn = engine.Run(options.counts[i], options.frames, options.warmup);
        PrintRow(round, "engine", options.counts[i], drawn);
      }
      failed = failed || (options.plain && !plain.ok) || (options.engine && !drawn.ok);
      if (plain.ok && drawn.ok && plain.fps > 0.0) ratios[i].push_back(drawn.fps / plain.fps);
      std::fflush(stdout);
    }
  if (options.plain && options.engine) {
    std::printf("\n%7s %8s %8s %8s   (engine fps / plain fps over the rounds)\n", "cubes", "min", "median",
                "max");
    for (size_t i = 0; i < counts; ++i) {
      std::vector<double>& r = ratios[i];
      if (r.empty()) continue;
      std::sort(r.begin(), r.end());
      std::printf("%7d %8.3f %8.3f %8.3f\n", options.counts[i], r.front(), r[r.size() / 2], r.back());
    }
  }
  return failed ? 1 : 0;
}
