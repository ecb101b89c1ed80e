#include "tests/golden/GoldenPictures.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace qibo::test::golden {

PictureDifference Compare(const Pixels& actual, const Pixels& expected) {
  PictureDifference difference;
  difference.sameSize = !actual.empty() && actual.size() == expected.size();
  if (!difference.sameSize) return difference;
  int64_t total = 0;
  for (size_t i = 0; i < actual.size(); ++i) {
    int worst = 0;
    for (int shift : {16, 8, 0}) {
      const int d = std::abs(static_cast<int>((actual[i] >> shift) & 0xFF) -
                             static_cast<int>((expected[i] >> shift) & 0xFF));
      worst = std::max(worst, d);
      total += d;
    }
    if (worst > kTolerance) ++difference.off;
  }
  difference.meanOff = static_cast<double>(total) / (3.0 * static_cast<double>(actual.size()));
  return difference;
}

bool Updating() {
  const char* value = getenv("QIBO_UPDATE_GOLDEN");
  return value && *value && std::string(value) != "0";
}

bool WritePpm(const std::string& path, const Picture& picture) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << picture.width << " " << picture.height << "\n255\n";
  for (uint32_t p : picture.pixels) {
    const char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
    out.write(rgb, 3);
  }
  return static_cast<bool>(out);
}

Picture ReadPpm(const std::string& path, int width, int height) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maximum = 0;
  in >> magic >> w >> h >> maximum;
  in.get();
  if (!in || magic != "P6" || w != width || h != height || maximum != 255) return {};
  std::vector<unsigned char> bytes(static_cast<size_t>(width) * height * 3);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (in.gcount() != static_cast<std::streamsize>(bytes.size())) return {};
  Picture picture{width, height, Pixels(static_cast<size_t>(width) * height)};
  for (size_t i = 0; i < picture.pixels.size(); ++i)
    picture.pixels[i] =
        0xFF000000u | uint32_t{bytes[3 * i]} << 16 | uint32_t{bytes[3 * i + 1]} << 8 | bytes[3 * i + 2];
  return picture;
}

void ExpectMatches(const Picture& actual, const std::string& folder, const std::string& name) {
  const std::string reference = folder + name + ".ppm";
  if (Updating()) {
    EXPECT_TRUE(WritePpm(reference, actual));
    return;
  }
  mkdir("golden-actual", 0755);
  const std::string saved = "golden-actual/" + name + ".ppm";
  const Picture expected = ReadPpm(reference, actual.width, actual.height);
  if (expected.pixels.size() != actual.pixels.size() || actual.pixels.empty()) {
    WritePpm(saved, actual);
    ADD_FAILURE() << "no reference picture " << reference << "; this run's picture is " << saved;
    return;
  }
  const PictureDifference difference = Compare(actual.pixels, expected.pixels);
  const bool matches = difference.Matches(actual.pixels.size());
  if (!matches) WritePpm(saved, actual);
  EXPECT_TRUE(matches) << difference.off << " pixels differ by more than " << kTolerance
                       << ", the mean difference is " << difference.meanOff << "; this run's picture is "
                       << saved;
}

void PinGlDrivers() {
  for (const char* name : {"libEGL_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(name, RTLD_NOW | RTLD_NODELETE);
}

}  // namespace qibo::test::golden
