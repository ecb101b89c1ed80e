#pragma once

#include <cstdint>
#include <vector>

// The scene both renderers draw: n cubes of edge 1, 3 apart on a cube grid
// centred at the origin (the smallest grid side that holds n, filled layer
// by layer from the bottom), a 64 x 64 checker texture, one directional
// light, and a camera circling the grid in the xz plane once every
// kOrbitFrames frames at 1.05 times the grid's half extent, looking at the
// centre. Output 640 x 480, field of view 60 degrees (across the width, as
// the device's projection takes it), near 0.5, far 300.
namespace qibo::cubes {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr float kFov = 60.0f;
constexpr float kNear = 0.5f;
constexpr float kFar = 300.0f;
constexpr float kEdge = 1.0f;
constexpr float kSpacing = 3.0f;
constexpr int kOrbitFrames = 300;
constexpr int kTextureSize = 64;
constexpr int kCheckerCell = 8;                  // texels a checker square
constexpr uint32_t kCheckerLight = 0xFFF0F0F0u;  // 0xAARRGGBB
constexpr uint32_t kCheckerDark = 0xFF3060C0u;
constexpr uint32_t kBackground = 0x101820u;            // 0xRRGGBB
constexpr float kLightDir[3] = {-0.3f, -0.8f, 0.52f};  // the way the light travels (unit length)
constexpr float kAmbient = 0.25f;                      // ambient light on a white material
// Coverage is measured below the top rows, where the device puts its logo.
constexpr int kLogoRows = 64;

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

// Cube centres for n cubes.
std::vector<Vec3> GridPositions(int n);
// Half the edge of the box around the grid of n cubes.
float HalfExtent(int n);
// Camera position at the frame (frame 0 on the +x axis).
Vec3 CameraAt(int frame, int n);
// The checker texture's texels as 0xAARRGGBB, row after row.
std::vector<uint32_t> CheckerTexels();

}  // namespace qibo::cubes

namespace qibo::cubes {

// What one renderer's run measured.
struct LoopResult {
  bool ok = false;
  const char* error = "";
  int frames = 0;
  double seconds = 0.0;
  double fps = 0.0;
  double cpuMsPerFrame = 0.0;  // user + system time of all threads
  // Share of the last frame's pixels that are not background: both
  // renderers should cover about the same share when they draw the same.
  double coverage = 0.0;
  int drawCalls = 0;  // in the last frame
};

// Wall and CPU time from construction to Finish.
class LoopClock {
 public:
  LoopClock();
  void Finish(LoopResult& result, int frames) const;

 private:
  double m_wall;
  double m_cpu;
};

// Share of pixels (0xAARRGGBB or bytes B, G, R, A) that differ from the
// background by more than a few levels.
double Coverage(const std::vector<uint32_t>& pixels);

}  // namespace qibo::cubes
