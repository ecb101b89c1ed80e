#include "tests/golden/GoldenPictures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace qibo::test::golden {

namespace {

constexpr int kTolerance = 24;    // per channel
constexpr double kMaxOff = 0.01;  // share of pixels allowed beyond the tolerance

}  // namespace

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
  Picture picture{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
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
  int off = 0;
  int64_t total = 0;
  for (size_t i = 0; i < actual.pixels.size(); ++i) {
    int worst = 0;
    for (int shift : {16, 8, 0}) {
      const int d = std::abs(static_cast<int>((actual.pixels[i] >> shift) & 0xFF) -
                             static_cast<int>((expected.pixels[i] >> shift) & 0xFF));
      worst = std::max(worst, d);
      total += d;
    }
    if (worst > kTolerance) ++off;
  }
  const bool matches = off <= kMaxOff * static_cast<double>(actual.pixels.size());
  if (!matches) WritePpm(saved, actual);
  EXPECT_TRUE(matches) << off << " pixels differ by more than " << kTolerance << "; this run's picture is "
                       << saved;
  EXPECT_LT(static_cast<double>(total) / (3.0 * static_cast<double>(actual.pixels.size())), 4.0);
}

}  // namespace qibo::test::golden
