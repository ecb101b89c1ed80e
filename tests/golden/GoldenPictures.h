#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reference pictures of the golden tests: binary PPM files beside the
// tests, compared with tolerance. QIBO_UPDATE_GOLDEN=1 in the environment
// writes new references instead.
namespace qibo::test::golden {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, row 0 on top
};

bool Updating();
bool WritePpm(const std::string& path, const Picture& picture);
// A binary PPM of the given size with 8-bit channels; empty otherwise.
Picture ReadPpm(const std::string& path, int width, int height);

// Compares actual with the reference file name in folder (or writes it
// when updating): at most 1 % of the pixels may differ by more than 24 in
// a channel, and the mean difference stays below 4. A picture that does not
// match is saved under golden-actual/ for a look; the failures are the
// test's.
void ExpectMatches(const Picture& actual, const std::string& folder, const std::string& name);

}  // namespace qibo::test::golden
