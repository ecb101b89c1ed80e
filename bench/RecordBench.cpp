// Recording throughput: 640 x 480 frames at 60 fps with 44.1 kHz stereo
// sound through the movie writer (BGRA to 4:2:0 conversion, libx264, AAC,
// MP4), per quality level (--quality). Items are video frames: at more than
// 60 items_per_second a recording is faster than the demo plays.
// The sound is the demo's own music when runfiles/melody01.xm lies beside
// the benchmark (the build generates it), else a tone; the music renderer's
// own speed is measured alone.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/record/MovieWriter.h"
#include "demo/record/MusicRenderer.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kFps = 60, kRate = 44100;
constexpr int kClipFrames = 2 * kFps;  // one iteration: a two-second clip
constexpr int kPatternFrames = 32;

// Frames with motion the encoder has to follow, much as the demo's
// textured scenes: a textured background that scrolls, a block that moves
// across it, as BGRA bytes, top row first.
const std::vector<std::vector<uint8_t>>& Frames() {
  static const std::vector<std::vector<uint8_t>> frames = [] {
    constexpr int kTexture = 256;
    std::vector<uint8_t> texture(kTexture * kTexture);
    uint32_t seed = 777;
    for (uint8_t& t : texture) t = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 26);
    std::vector<std::vector<uint8_t>> out(kPatternFrames);
    for (int k = 0; k < kPatternFrames; ++k) {
      std::vector<uint8_t>& f = out[k];
      f.resize(static_cast<size_t>(kWidth) * kHeight * 4);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          const int u = x + 3 * k, v = y + 2 * k;
          const int detail = texture[(v % kTexture) * kTexture + u % kTexture];
          const bool block = std::abs(x - 200 - 8 * k) < 60 && std::abs(y - 240) < 60;
          uint8_t* p = &f[(static_cast<size_t>(y) * kWidth + x) * 4];
          p[0] = static_cast<uint8_t>(block ? 40 : u / 4 + detail);
          p[1] = static_cast<uint8_t>(block ? 200 : v / 3 + detail);
          p[2] = static_cast<uint8_t>(block ? 230 : (u + v) / 6 + detail);
          p[3] = 0xFF;
        }
    }
    return out;
  }();
  return frames;
}

std::string MusicPath() {
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length <= 0) return {};
  const auto path = std::filesystem::path(std::string(self, static_cast<size_t>(length))).parent_path() /
                    "runfiles" / "melody01.xm";
  return std::filesystem::exists(path) ? path.string() : std::string();
}

// The sound of movie frame k.
void Sound(qibo::demo::MusicRenderer& music, int64_t k, std::vector<float>& out) {
  if (music.IsOpen() && music.RenderFrame(k, out) >= 0) return;
  out.clear();
  for (int64_t i = qibo::demo::MusicRenderer::FrameStart(k, kRate, kFps);
       i < qibo::demo::MusicRenderer::FrameStart(k + 1, kRate, kFps); ++i) {
    const float v = 0.3f * static_cast<float>(std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / kRate));
    out.push_back(v);
    out.push_back(v);
  }
}

void BM_RecordClip(benchmark::State& state) {
  const auto level = static_cast<qibo::demo::MovieQuality>(state.range(0));
  const qibo::demo::MovieSettings settings = qibo::demo::MovieSettings::For(level);
  const std::string music = MusicPath();
  const std::string path = (std::filesystem::temp_directory_path() / "qibo-record-bench.mp4").string();
  const auto& frames = Frames();
  std::vector<float> sound;
  int64_t bytes = 0;
  for (auto _ : state) {
    qibo::demo::MusicRenderer renderer;
    if (!music.empty()) renderer.Open(music.c_str(), kRate, kFps);
    qibo::demo::MovieWriter writer(settings);
    if (!writer.Open(path.c_str(), kWidth, kHeight, kFps, kRate, 2)) {
      state.SkipWithError(writer.LastError().c_str());
      break;
    }
    for (int k = 0; k < kClipFrames; ++k) {
      writer.AddVideoFrame(frames[k % kPatternFrames].data(), kWidth * 4, qibo::demo::PixelLayout::kBgra,
                           false);
      Sound(renderer, k, sound);
      writer.AddAudio(sound.data(), static_cast<int>(sound.size() / 2));
    }
    if (!writer.Close()) {
      state.SkipWithError(writer.LastError().c_str());
      break;
    }
    bytes = static_cast<int64_t>(std::filesystem::file_size(path));
  }
  std::filesystem::remove(path);
  state.SetItemsProcessed(state.iterations() * kClipFrames);
  state.SetLabel(std::string(qibo::demo::QualityName(level)) + (music.empty() ? ", tone" : ", melody01.xm"));
  state.counters["kbit/s"] = static_cast<double>(bytes) * 8 / 1000.0 / (kClipFrames / kFps);
}
BENCHMARK(BM_RecordClip)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Module rendering alone, frame by frame.
void BM_RenderMusicFrames(benchmark::State& state) {
  const std::string music = MusicPath();
  qibo::demo::MusicRenderer renderer;
  if (music.empty() || !renderer.Open(music.c_str(), kRate, kFps)) {
    state.SkipWithError("runfiles/melody01.xm not found beside the benchmark");
    return;
  }
  std::vector<float> sound;
  int64_t k = 0;
  for (auto _ : state) benchmark::DoNotOptimize(renderer.RenderFrame(k++, sound));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderMusicFrames);

}  // namespace
