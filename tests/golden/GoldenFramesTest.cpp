#include <gtest/gtest.h>

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
#include "tests/golden/GoldenPictures.h"

namespace {

namespace golden = qibo::test::golden;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 5;  // 200 ms frames keep the whole run short

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

// Runs the whole demo once, headless, and keeps the frames of the instants.
class GoldenFramesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    golden::PinGlDrivers();
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
    recorder->SetFrameObserver([wanted](int64_t frame, const golden::Pixels& pixels) {
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

  static inline std::map<std::string, golden::Pixels> s_frames;
  static inline int s_result = -1;
  static inline int32_t s_steps = 0;
  static inline int64_t s_grabbed = 0;
  static inline int64_t s_recorded = 0;
};

}  // namespace

TEST_F(GoldenFramesTest, DemoMatchesReferencePictures) {
  // The run reached its own end, every frame read back from the render
  // device: the output was up before the first.
  EXPECT_EQ(s_result, 0);
  EXPECT_EQ(s_steps, CTQuarndelion::kLastCount + 1);
  EXPECT_EQ(s_grabbed, s_recorded);
  for (const Instant& instant : kInstants) {
    SCOPED_TRACE(instant.name);
    const auto found = s_frames.find(instant.name);
    ASSERT_NE(found, s_frames.end());
    golden::ExpectMatches({kWidth, kHeight, found->second}, QIBO_GOLDEN_DIR, instant.name);
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
  if (golden::Updating()) {
    std::ofstream(reference) << text << "\n";
    return;
  }
  std::ifstream in(reference);
  std::string expected;
  in >> expected;
  EXPECT_EQ(expected, text) << "reference " << reference;
}
