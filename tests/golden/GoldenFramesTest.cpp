#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/Ref.h"
#include "demo/CTBassPlayer.h"
#include "demo/CTWinTimer.h"
#include "demo/app/CTQuarndelion.h"
#include "demo/app/DemoRecorder.h"
#include "demo/data/DataPath.h"
#include "demo/effects/CTTorus1.h"
#include "demo/record/MusicRenderer.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 5;           // 200 ms frames keep the whole run short
constexpr int kTolerance = 24;    // per channel
constexpr double kMaxOff = 0.01;  // share of pixels allowed beyond the tolerance

// Timeline instants worth a picture: every scene, the interlude in each of
// its appearances, the fader and the credits.
const struct Instant {
  const char* name;
  double seconds;  // world time since the loop started
} kInstants[] = {
    {"start-picture", 6.0},   {"torus", 22.0},        {"interlude", 42.0},
    {"double-torus", 70.0},   {"interlude-2", 100.0}, {"water-tank", 135.0},
    {"interlude-3", 172.0},   {"boxes", 200.0},       {"interlude-closing", 250.0},
    {"fade-to-black", 262.6}, {"credits", 281.0},     {"credits-graphics", 290.6},
};

// Frame k ends at (k + 1) x 200 ms of world time.
int64_t FrameAt(double seconds) { return std::llround(seconds * kFps) - 1; }

bool Updating() {
  const char* value = getenv("QIBO_UPDATE_GOLDEN");
  return value && *value && std::string(value) != "0";
}

using Picture = std::vector<uint32_t>;  // kWidth x kHeight, 0xAARRGGBB

bool WritePpm(const std::string& path, const Picture& picture) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << kWidth << " " << kHeight << "\n255\n";
  for (uint32_t p : picture) {
    const char rgb[3] = {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
    out.write(rgb, 3);
  }
  return static_cast<bool>(out);
}

// A binary PPM of exactly kWidth x kHeight with 8-bit channels; empty
// otherwise.
Picture ReadPpm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, maximum = 0;
  in >> magic >> width >> height >> maximum;
  in.get();
  if (!in || magic != "P6" || width != kWidth || height != kHeight || maximum != 255) return {};
  std::vector<unsigned char> bytes(static_cast<size_t>(kWidth) * kHeight * 3);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (in.gcount() != static_cast<std::streamsize>(bytes.size())) return {};
  Picture picture(static_cast<size_t>(kWidth) * kHeight);
  for (size_t i = 0; i < picture.size(); ++i)
    picture[i] =
        0xFF000000u | uint32_t{bytes[3 * i]} << 16 | uint32_t{bytes[3 * i + 1]} << 8 | bytes[3 * i + 2];
  return picture;
}

// Mesa's EGL and DRI drivers keep allocations in their own globals; loaded
// once more and never unloaded, they stay reachable for the leak checker.
void PinGlDrivers() {
  for (const char* name : {"libEGL_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(name, RTLD_NOW | RTLD_NODELETE);
}

// Runs the whole demo once, headless, and keeps the frames of the instants.
class GoldenFramesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    PinGlDrivers();
    std::string where;
    ASSERT_TRUE(qibo::demo::EnterDataDirectory(QIBO_PLUGIN_DIR, &where)) << where;
    for (ClassDesc* cd : {CTQuarndelion::_CD(), CTBassPlayer::_CD(), CTTorus1::_CD(), CTWinTimer::_CD()})
      qiBO_RegisterClass(cd);
    auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
    ASSERT_NE(plugIns, nullptr);
    plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_PLUGIN_DIR);
    ASSERT_TRUE(qiBO_LoadPlugIn("RasterDev.plug"));
    ASSERT_TRUE(qiBO_LoadPlugIn("qiboIO.plug"));

    std::map<int64_t, const char*> wanted;
    for (const Instant& instant : kInstants) wanted[FrameAt(instant.seconds)] = instant.name;
    qibo::demo::RecordOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.fps = kFps;
    auto recorder = std::make_unique<qibo::demo::DemoRecorder>(options);
    recorder->SetMovieEnabled(false);
    recorder->SetFrameObserver([wanted](int64_t frame, const Picture& pixels) {
      const auto found = wanted.find(frame);
      if (found != wanted.end()) s_frames[found->second] = pixels;
    });
    qibo::demo::DemoRecorder* const recording = recorder.get();

    Ref<CTQuarndelion> app = qibo::Create<CTQuarndelion>();
    ASSERT_TRUE(app);
    app->SetKeyTest([] { return false; });
    app->SetRecorder(std::move(recorder));
    const char* argv[] = {"Quarndelion"};
    s_result = app->Run(1, argv);
    s_steps = app->GetStep();
    s_grabbed = recording->GetGrabbedFrames();
    s_recorded = recording->GetFrame();
    app.Reset();
    qiBO_Deinit();
  }

  static inline std::map<std::string, Picture> s_frames;
  static inline int s_result = -1;
  static inline int32_t s_steps = 0;
  static inline int64_t s_grabbed = 0;
  static inline int64_t s_recorded = 0;
};

}  // namespace

TEST_F(GoldenFramesTest, DemoMatchesReferencePictures) {
  // The run reached its own end, every frame but the first two (before the
  // window was up) read back from the render device.
  EXPECT_EQ(s_result, 0);
  EXPECT_EQ(s_steps, CTQuarndelion::kLastCount + 1);
  EXPECT_GE(s_grabbed, s_recorded - 2);
  mkdir("golden-actual", 0755);
  for (const Instant& instant : kInstants) {
    SCOPED_TRACE(instant.name);
    const auto found = s_frames.find(instant.name);
    ASSERT_NE(found, s_frames.end());
    const Picture& actual = found->second;
    const std::string reference = std::string(QIBO_GOLDEN_DIR) + instant.name + ".ppm";
    if (Updating()) {
      EXPECT_TRUE(WritePpm(reference, actual));
      continue;
    }
    const std::string saved = "golden-actual/" + std::string(instant.name) + ".ppm";
    const Picture expected = ReadPpm(reference);
    if (expected.size() != actual.size()) {
      WritePpm(saved, actual);
      ADD_FAILURE() << "no reference picture " << reference << "; this run's picture is " << saved;
      continue;
    }
    int off = 0;
    int64_t total = 0;
    for (size_t i = 0; i < actual.size(); ++i) {
      int worst = 0;
      for (int shift : {16, 8, 0}) {
        const int d = std::abs(static_cast<int>((actual[i] >> shift) & 0xFF) -
                               static_cast<int>((expected[i] >> shift) & 0xFF));
        worst = std::max(worst, d);
        total += d;
      }
      if (worst > kTolerance) ++off;
    }
    const bool matches = off <= kMaxOff * static_cast<double>(actual.size());
    if (!matches) WritePpm(saved, actual);
    EXPECT_TRUE(matches) << off << " pixels differ by more than " << kTolerance << "; this run's picture is "
                         << saved;
    EXPECT_LT(static_cast<double>(total) / (3.0 * static_cast<double>(actual.size())), 4.0);
  }
}

// The first 10 s of the music, rendered as a recording renders it.
TEST(GoldenMusicTest, FirstTenSecondsSoundTheSame) {
  std::string where;
  ASSERT_TRUE(qibo::demo::EnterDataDirectory(QIBO_PLUGIN_DIR, &where)) << where;
  const auto hash = qibo::demo::MusicRenderer::HashFirstSeconds("runfiles/melody01.xm", 10, 44100, 60);
  ASSERT_TRUE(hash.has_value());
  char text[32];
  snprintf(text, sizeof(text), "%016" PRIx64, *hash);
  const std::string reference = std::string(QIBO_GOLDEN_DIR) + "music.fnv";
  if (Updating()) {
    std::ofstream(reference) << text << "\n";
    return;
  }
  std::ifstream in(reference);
  std::string expected;
  in >> expected;
  EXPECT_EQ(expected, text) << "reference " << reference;
}
