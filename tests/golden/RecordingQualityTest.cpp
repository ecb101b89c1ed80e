#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
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
#include "demo/record/MovieWriter.h"
#include "tests/golden/GoldenPictures.h"
#include "tests/golden/MovieSsim.h"

namespace {

using qibo::demo::MovieQuality;
using qibo::demo::MovieSettings;
using qibo::demo::MovieWriter;

constexpr int kWidth = 640, kHeight = 480, kFps = 60;
// The excerpt: the first life interlude, whose film grain (fresh noise in
// every frame) costs a recording more than anything else in the demo, from
// the scene change at 30 s on.
constexpr int64_t kFirstFrame = 30 * kFps, kFrames = 20 * kFps;
// The whole demo at the normal quality comes to 71 MB, sound included:
// 1.8 Mbit/s on average, within the 2.0 Mbit/s that 80 MB allow. The grain
// takes 2.8 Mbit/s of it at the normal level, where the settings the demo
// used to record with (libx264's ultrafast preset at CRF 20) took 11.5.
constexpr double kMaxGrainBitsPerSecond = 3.5e6;
// Without any of its grain the excerpt would still score 0.845 against the
// lossless frames; the normal level keeps enough of it for 0.863.
constexpr double kMinGrainSsim = 0.855;

// The demo recorded from its start up to the end of the excerpt, whose
// frames go to one movie per quality level.
class RecordingQualityTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qibo::test::golden::PinGlDrivers();
    std::string where;
    ASSERT_TRUE(qibo::demo::EnterDataDirectory(QIBO_PLUGIN_DIR, &where)) << where;
    for (ClassDesc* cd : {CTQuarndelion::_CD(), CTBassPlayer::_CD(), CTTorus1::_CD(), CTWinTimer::_CD()})
      qiBO_RegisterClass(cd);
    auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
    ASSERT_NE(plugIns, nullptr);
    plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_PLUGIN_DIR);
    ASSERT_TRUE(qiBO_LoadPlugIn("RasterDev.plug"));
    ASSERT_TRUE(qiBO_LoadPlugIn("qiboIO.plug"));

    std::string folder = (std::filesystem::temp_directory_path() / "qibo-recording-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    s_folder = folder;
    const MovieQuality levels[] = {MovieQuality::kNormal, MovieQuality::kLossless};
    std::vector<std::unique_ptr<MovieWriter>> movies;
    for (MovieQuality level : levels) {
      movies.push_back(std::make_unique<MovieWriter>(MovieSettings::For(level)));
      const std::string path = Movie(level);
      ASSERT_TRUE(movies.back()->Open(path.c_str(), kWidth, kHeight, kFps, 44100, 0)) << path;
    }

    qibo::demo::RecordOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.fps = kFps;
    auto recorder = std::make_unique<qibo::demo::DemoRecorder>(options);
    recorder->SetMovieEnabled(false);
    recorder->SetFrameObserver(
        [&movies](int64_t frame, const std::vector<uint32_t>& pixels) {
          if (frame >= kFirstFrame + kFrames) return;
          for (auto& movie : movies)
            movie->AddVideoFrame(reinterpret_cast<const uint8_t*>(pixels.data()), kWidth * 4,
                                 qibo::demo::PixelLayout::kBgra, false);
        },
        kFirstFrame);
    qibo::demo::DemoRecorder* const recording = recorder.get();
    Ref<CTQuarndelion> app = qibo::Create<CTQuarndelion>();
    ASSERT_TRUE(app);
    app->SetKeyTest([recording] { return recording->GetFrame() >= kFirstFrame + kFrames; });
    app->SetRecorder(std::move(recorder));
    const char* argv[] = {"Quarndelion"};
    app->Run(1, argv);
    app.Reset();
    qiBO_Deinit();
    for (auto& movie : movies) {
      s_frames.push_back(movie->VideoFrames());
      EXPECT_TRUE(movie->Close()) << movie->LastError();
    }
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    if (!s_folder.empty()) std::filesystem::remove_all(s_folder, ignored);
  }

  static std::string Movie(MovieQuality level) {
    return s_folder + "/" + qibo::demo::QualityName(level) + ".mp4";
  }

  static inline std::string s_folder;
  static inline std::vector<int64_t> s_frames;
};

}  // namespace

// The normal level keeps the costliest stretch of the demo within what the
// whole demo may take, while its pictures stay close to the lossless ones.
TEST_F(RecordingQualityTest, NormalQuality_KeepsTheGrainSmallAndClose) {
  ASSERT_EQ(s_frames, std::vector<int64_t>(2, kFrames));
  const std::string normal = Movie(MovieQuality::kNormal), lossless = Movie(MovieQuality::kLossless);
  const double bitsPerSecond =
      static_cast<double>(std::filesystem::file_size(normal)) * 8.0 * kFps / static_cast<double>(kFrames);
  EXPECT_LE(bitsPerSecond, kMaxGrainBitsPerSecond);
  // The lossless movie is what the normal one is measured against: many
  // times larger, or it would not be lossless.
  EXPECT_GT(std::filesystem::file_size(lossless), 4 * std::filesystem::file_size(normal));

  const qibo::test::MovieSsim ssim = qibo::test::CompareMovies(lossless, normal);
  ASSERT_TRUE(ssim.error.empty()) << ssim.error;
  EXPECT_EQ(ssim.frames, kFrames);
  EXPECT_GE(ssim.mean, kMinGrainSsim);
  std::printf("normal quality: %.2f Mbit/s, mean SSIM %.4f against lossless\n", bitsPerSecond / 1e6,
              ssim.mean);
  // A movie against itself is the filter's upper bound.
  EXPECT_DOUBLE_EQ(qibo::test::CompareMovies(lossless, lossless).mean, 1.0);
}
