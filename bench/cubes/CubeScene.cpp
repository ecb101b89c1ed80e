#include "bench/cubes/CubeScene.h"

#include <sys/resource.h>

#include <chrono>
#include <cmath>

namespace qibo::cubes {

namespace {

int GridSide(int n) {
  int side = 1;
  while (side * side * side < n) ++side;
  return side;
}

}  // namespace

std::vector<Vec3> GridPositions(int n) {
  std::vector<Vec3> positions;
  if (n <= 0) return positions;
  const int side = GridSide(n);
  const float start = -0.5f * kSpacing * static_cast<float>(side - 1);
  positions.reserve(static_cast<size_t>(n));
  for (int y = 0; y < side; ++y)
    for (int z = 0; z < side; ++z)
      for (int x = 0; x < side && static_cast<int>(positions.size()) < n; ++x)
        positions.push_back({start + kSpacing * static_cast<float>(x),
                             start + kSpacing * static_cast<float>(y),
                             start + kSpacing * static_cast<float>(z)});
  return positions;
}

float HalfExtent(int n) {
  if (n <= 0) return 0.0f;
  return 0.5f * kSpacing * static_cast<float>(GridSide(n) - 1) + 0.5f * kEdge;
}

Vec3 CameraAt(int frame, int n) {
  const double angle = 2.0 * M_PI * static_cast<double>(frame % kOrbitFrames) / kOrbitFrames;
  const double radius = 1.05 * HalfExtent(n);
  return {static_cast<float>(radius * std::cos(angle)), 0.0f, static_cast<float>(radius * std::sin(angle))};
}

std::vector<uint32_t> CheckerTexels() {
  std::vector<uint32_t> texels(static_cast<size_t>(kTextureSize * kTextureSize));
  for (int y = 0; y < kTextureSize; ++y)
    for (int x = 0; x < kTextureSize; ++x)
      texels[static_cast<size_t>(y * kTextureSize + x)] =
          ((x / kCheckerCell + y / kCheckerCell) % 2) ? kCheckerDark : kCheckerLight;
  return texels;
}

}  // namespace qibo::cubes

namespace qibo::cubes {

double Coverage(const std::vector<uint32_t>& pixels) {
  if (pixels.empty()) return 0.0;
  size_t covered = 0;
  for (uint32_t p : pixels) {
    int difference = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int d = static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((kBackground >> shift) & 0xFF);
      difference += d < 0 ? -d : d;
    }
    if (difference > 12) ++covered;
  }
  return static_cast<double>(covered) / static_cast<double>(pixels.size());
}

}  // namespace qibo::cubes

namespace qibo::cubes {

namespace {

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

LoopClock::LoopClock() : m_wall(WallSeconds()), m_cpu(CpuSeconds()) {}

void LoopClock::Finish(LoopResult& result, int frames) const {
  result.frames = frames;
  result.seconds = WallSeconds() - m_wall;
  result.fps = result.seconds > 0.0 ? frames / result.seconds : 0.0;
  result.cpuMsPerFrame = frames > 0 ? 1000.0 * (CpuSeconds() - m_cpu) / frames : 0.0;
}

}  // namespace qibo::cubes
