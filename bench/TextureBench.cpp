// Picture reduction as texture loading does it: an LFB of 2048 x 2048
// reduced in place to 512 x 512 (a whole ratio: block means), one of
// 1920 x 1080 to 512 x 288 (the weighted area filter), the copy of the
// source picture each iteration outside the timing; and one mip level of a
// 512 x 512 picture.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/render/base/LFB.h"

namespace {

LFB MakePicture(int width, int height) {
  LFB lfb(width, height);
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    uint32_t* row = lfb.GetRow(y);
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      row[x] = seed;
    }
  }
  return lfb;
}

void BM_LFB_Rescale2048To512(benchmark::State& state) {
  const LFB source = MakePicture(2048, 2048);
  for (auto _ : state) {
    state.PauseTiming();
    LFB lfb = source;
    state.ResumeTiming();
    benchmark::DoNotOptimize(lfb.Rescale(512, 512));
    benchmark::DoNotOptimize(lfb.GetPixels());
  }
}
BENCHMARK(BM_LFB_Rescale2048To512)->Unit(benchmark::kMillisecond);

// A ratio that is not whole (3.75) takes the weighted area filter.
void BM_LFB_Rescale1920x1080To512x288(benchmark::State& state) {
  const LFB source = MakePicture(1920, 1080);
  for (auto _ : state) {
    state.PauseTiming();
    LFB lfb = source;
    state.ResumeTiming();
    benchmark::DoNotOptimize(lfb.Rescale(512, 288));
    benchmark::DoNotOptimize(lfb.GetPixels());
  }
}
BENCHMARK(BM_LFB_Rescale1920x1080To512x288)->Unit(benchmark::kMillisecond);

void BM_LFB_MipLevel512(benchmark::State& state) {
  const LFB source = MakePicture(512, 512);
  LFB level;
  for (auto _ : state) {
    benchmark::DoNotOptimize(source.MakeMipLevel(level));
    benchmark::DoNotOptimize(level.GetPixels());
  }
}
BENCHMARK(BM_LFB_MipLevel512)->Unit(benchmark::kMicrosecond);

}  // namespace
