// qiboCubesBench: frames per second of the render device drawing N lit,
// textured cubes through the engine, with its "BatchDrawing" on (batched)
// and off (single), beside a plain OpenGL loop drawing the same cubes with
// one draw call each, offscreen at 640 x 480.
//
//   qiboCubesBench [--frames F] [--warmup W] [--rounds R] [--counts N,N,...]
//                  [--only plain|batched|single[,...]] [--plugins DIR] [--default-heap]
//
// --plugins: the folder to load RasterDev.plug from (default: the build's).
// Set SDL_VIDEODRIVER=offscreen to run without a display. For each round
// and count the plain loop (a window and context of its own, closed after
// it) and the engine both ways (one device for the whole program) take
// turns; the ratios are engine fps / plain fps of the same turn. Each row
// gives the draw calls of the run's last frame. The device tunes the C
// library's heap for the GL driver when it opens; the program does the same
// at its start, so that the plain loop's turns run under the same heap;
// --default-heap leaves that out (the device still tunes it when it opens,
// so only the turns before the first engine turn run with the defaults).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/cubes/EngineLoop.h"
#include "bench/cubes/PlainLoop.h"
#include "plugins/d3d/DGlWindow.h"

using namespace qibo::cubes;

namespace {

// The renderers, in the order they take turns.
enum Renderer { kPlain, kBatched, kSingle, kRenderers };
const char* const kRendererNames[kRenderers] = {"plain", "batched", "single"};

struct Options {
  int frames = kOrbitFrames;
  int warmup = 10;
  int rounds = 2;
  std::vector<int> counts = {1000, 10000};
  bool run[kRenderers] = {true, true, true};
  bool tuneHeap = true;
  std::string plugIns = QIBO_CUBES_PLUGIN_DIR;
};

bool ParseRenderers(const char* text, bool (&run)[kRenderers]) {
  for (bool& r : run) r = false;
  std::string names = text;
  for (size_t start = 0; start <= names.size();) {
    size_t end = names.find(',', start);
    if (end == std::string::npos) end = names.size();
    const std::string name = names.substr(start, end - start);
    bool known = false;
    for (int i = 0; i < kRenderers; ++i)
      if (name == kRendererNames[i]) run[i] = known = true;
    if (!known) return false;
    start = end + 1;
  }
  return true;
}

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
      if (!ParseRenderers(value, options.run)) return false;
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
  std::printf("%5d %-8s %7d %8d %9.3f %9.2f %12.2f %9.1f%% %11d\n", round, renderer, n, r.frames, r.seconds,
              r.fps, r.cpuMsPerFrame, 100.0 * r.coverage, r.drawCalls);
}

void PrintRatios(const char* what, const std::vector<int>& counts, std::vector<std::vector<double>>& ratios) {
  std::printf("\n%7s %8s %8s %8s   (%s fps / plain fps over the rounds)\n", "cubes", "min", "median", "max",
              what);
  for (size_t i = 0; i < counts.size(); ++i) {
    std::vector<double>& r = ratios[i];
    if (r.empty()) continue;
    std::sort(r.begin(), r.end());
    std::printf("%7d %8.3f %8.3f %8.3f\n", counts[i], r.front(), r[r.size() / 2], r.back());
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s [--frames F] [--warmup W] [--rounds R] [--counts N,N,...]\n"
                 "          [--only plain|batched|single[,...]] [--plugins DIR] [--default-heap]\n",
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
  if (options.run[kBatched] || options.run[kSingle])
    if (const char* error = engine.Start(options.plugIns.c_str())) {
      std::fprintf(stderr, "engine set-up failed: %s\n", error);
      return 1;
    }
  std::printf("%5s %-8s %7s %8s %9s %9s %12s %10s %11s\n", "round", "renderer", "cubes", "frames", "seconds",
              "fps", "cpu ms/frame", "coverage", "draws/frame");
  const size_t counts = options.counts.size();
  std::vector<std::vector<double>> ratios[kRenderers];
  for (auto& r : ratios) r.resize(counts);
  bool failed = false;
  // The renderers take turns, so that all see about the same machine load.
  for (int round = 1; round <= options.rounds; ++round)
    for (size_t i = 0; i < counts; ++i) {
      const int n = options.counts[i];
      LoopResult results[kRenderers];
      for (int r = 0; r < kRenderers; ++r) {
        if (!options.run[r]) continue;
        results[r] = r == kPlain ? RunPlainLoop(n, options.frames, options.warmup)
                                 : engine.Run(n, options.frames, options.warmup, r == kBatched);
        PrintRow(round, kRendererNames[r], n, results[r]);
        failed = failed || !results[r].ok;
      }
      for (int r = kBatched; r < kRenderers; ++r)
        if (results[kPlain].ok && results[r].ok && results[kPlain].fps > 0.0)
          ratios[r][i].push_back(results[r].fps / results[kPlain].fps);
      std::fflush(stdout);
    }
  if (options.run[kPlain])
    for (int r = kBatched; r < kRenderers; ++r)
      if (options.run[r]) PrintRatios(kRendererNames[r], options.counts, ratios[r]);
  return failed ? 1 : 0;
}
