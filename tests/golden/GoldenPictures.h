#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reference pictures of the golden tests: binary PPM files beside the
// tests, compared with tolerance. QIBO_UPDATE_GOLDEN=1 in the environment
// writes new references instead.
namespace qibo::test::golden {

using Pixels = std::vector<uint32_t>;  // 0xAARRGGBB, row 0 on top

struct Picture {
  int width = 0;
  int height = 0;
  Pixels pixels;
};

constexpr int kTolerance = 24;       // per channel
constexpr double kMaxOff = 0.01;     // share of pixels allowed beyond the tolerance
constexpr double kMaxMeanOff = 4.0;  // mean difference per channel, over all pixels

struct PictureDifference {
  int off = 0;           // pixels with a channel beyond kTolerance
  double meanOff = 0.0;  // mean difference per channel
  bool sameSize = false;
  // Whether the two pictures count as the same.
  bool Matches(size_t pixels) const {
    return sameSize && off <= kMaxOff * static_cast<double>(pixels) && meanOff < kMaxMeanOff;
  }
};

PictureDifference Compare(const Pixels& actual, const Pixels& expected);

bool Updating();
bool WritePpm(const std::string& path, const Picture& picture);
// A binary PPM of the given size with 8-bit channels; empty otherwise.
Picture ReadPpm(const std::string& path, int width, int height);

// Compares actual with the reference file name in folder (or writes it
// when updating), held to the tolerance above. A picture that does not
// match is saved under golden-actual/ for a look; the failures are the
// test's.
void ExpectMatches(const Picture& actual, const std::string& folder, const std::string& name);

// Mesa's EGL and DRI drivers keep allocations in their own globals; loaded
// once more and never unloaded, they stay reachable for the leak checker.
void PinGlDrivers();

}  // namespace qibo::test::golden
