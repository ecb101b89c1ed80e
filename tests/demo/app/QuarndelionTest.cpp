#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/devices/CTDeviceManager.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/Ref.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTTexture.h"
#include "demo/CTBassPlayer.h"
#include "demo/CTWinTimer.h"
#include "demo/app/CTQuarndelion.h"
#include "demo/app/DemoRecorder.h"
#include "demo/scenes/Backdrop.h"
#include "demo/scenes/CTBoxScene.h"
#include "demo/scenes/CTDemoScene.h"
#include "demo/scenes/CTDoubleTorusScene.h"
#include "demo/scenes/CTFader.h"
#include "demo/scenes/CTInterlude.h"
#include "demo/scenes/CTTorusScene.h"
#include "demo/scenes/CTWaterTankScene.h"
#include "tests/demo/MusicFiles.h"
#include "tests/kernel/plugins/PagePlugIn.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"

// A window that needs no display: shows (unless told not to) and counts the
// scenes it is asked to draw without drawing them.
class HeadlessTarget : public CTRenderTarget {
  QIBO_CLASS(HeadlessTarget)

 public:
  static inline bool s_refuseShow = false;
  static inline int s_scenes = 0;

  bool DoShow() override { return !s_refuseShow; }
  bool DoHide() override { return true; }
  LFB* GrabLFB(int, int, int, int) override { return nullptr; }
  bool ShowLFB(LFB*, int, int) override { return false; }
  bool BeginScene(DRenderContext*) override {
    ++s_scenes;
    return false;
  }
  bool EndScene(DRenderContext*) override { return true; }
  void Present() override {}
  bool GetResolution(int& width, int& height) override {
    width = 320;
    height = 240;
    return true;
  }
};

QIBO_IMPLEMENT_CLASS(HeadlessTarget, CTRenderTarget, .desc = "Headless target")

namespace {

ClassDesc* const kClasses[] = {CTBassPlayer::_CD(), CTWinTimer::_CD(), HeadlessTarget::_CD()};

// Scene objects alive, of every kind.
int32_t LiveScenes() {
  int32_t live = 0;
  for (ClassDesc* cd : {CTTorusScene::_CD(), CTDoubleTorusScene::_CD(), CTWaterTankScene::_CD(),
                        CTBoxScene::_CD(), CTInterlude::_CD(), CTFader::_CD()})
    live += cd->GetInstances();
  return live;
}

// An application in a directory with the music (a tiny module as
// runfiles/melody01.xm), the demo's device classes and a headless window.
class QuarndelionTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    ASSERT_EQ(mkdir("runfiles", 0755), 0);
    ASSERT_TRUE(qibo::test::WriteTinyModule("runfiles/melody01.xm"));
    for (ClassDesc* cd : kClasses) qiBO_RegisterClass(cd);
    HeadlessTarget::s_refuseShow = false;
    HeadlessTarget::s_scenes = 0;
    m_app = qibo::Create<CTQuarndelion>();
    ASSERT_TRUE(m_app);
  }
  void TearDown() override {
    m_app.Reset();
    for (ClassDesc* cd : kClasses) qiBO_UnregisterClass(cd);
    EngineFixture::TearDown();
  }

  // Runs the application with a key test that answers `key`.
  int Run(std::vector<const char*> args, bool key = false) {
    m_app->SetKeyTest([key] { return key; });
    return m_app->Run(static_cast<int>(args.size()), args.data());
  }

  static bool Attached(CTQuarndelion& app, CTDemoScene* scene) {
    return scene && scene->GetRoot() && scene->GetRoot()->GetParent() == app.GetWorld();
  }

  Ref<CTQuarndelion> m_app;
};

}  // namespace

// The timeline by count: which scene is in the world and running, what the
// backdrop shows and what the fader does. Each row is checked right after
// the step of its count ran (no frame runs, so the fader stays as set).
TEST_F(QuarndelionTest, TimelineActsAtEachCount) {
  m_app->BuildScene();
  Ref<CTTexture> pictures[CTQuarndelion::kPictureCount];
  for (int i = 0; i < CTQuarndelion::kPictureCount; ++i) {
    pictures[i] = qibo::Create<CTTexture>();
    m_app->SetPicture(static_cast<CTQuarndelion::Picture>(i), pictures[i].Get());
  }
  CTDemoScene* const scene1 = m_app->GetScene1();
  CTDemoScene* const scene2 = m_app->GetScene2();
  CTDemoScene* const scene3 = m_app->GetScene3();
  CTDemoScene* const scene4 = m_app->GetScene4();
  CTInterlude* const interlude = m_app->GetInterlude();
  ASSERT_TRUE(scene1 && scene2 && scene3 && scene4 && interlude && m_app->GetFader());
  EXPECT_FLOAT_EQ(m_app->GetFader()->GetDuration(), 10.0f);

  enum Shown { kNone, kS1, kS2, kS3, kS4, kInter };
  struct Fade {
    float r, duration, level;  // colour grey level (black 0, white 1)
  };
  const struct Row {
    int count;
    Shown attached;            // the one scene in the world
    bool active;               // and whether it runs
    int released;              // scenes released so far: 1..4 (interlude 5); 0 none new
    int backdrop;              // picture index expected, -1: not checked
    std::optional<Fade> fade;  // fader state when active, nullopt: inactive
  } rows[] = {
      {0, kNone, false, 0, CTQuarndelion::kStart1, Fade{0, -4, 1}},
      {9, kNone, false, 0, CTQuarndelion::kStart1, Fade{0, -4, 1}},
      {10, kS1, true, 0, -1, std::nullopt},
      {29, kS1, true, 0, -1, std::nullopt},
      {30, kInter, true, 1, -1, std::nullopt},
      {54, kS2, true, 0, -1, std::nullopt},
      {90, kInter, true, 2, -1, std::nullopt},
      {110, kS3, true, 0, -1, std::nullopt},
      {160, kInter, true, 3, -1, std::nullopt},
      {180, kS4, false, 0, -1, std::nullopt},
      {185, kS4, true, 0, -1, std::nullopt},
      {220, kNone, false, 4, -1, std::nullopt},
      {221, kInter, true, 0, -1, std::nullopt},
      {240, kInter, true, 0, -1, std::nullopt},
      {260, kNone, false, 5, -1, Fade{0, 4, 0}},
      {275, kNone, false, 0, CTQuarndelion::kCreditsLeeg, Fade{0, -4, 1}},
      {283, kNone, false, 0, CTQuarndelion::kCreditsCode, Fade{0, -4, 1}},
      {284, kNone, false, 0, CTQuarndelion::kCreditsCode, Fade{1, 3, 0}},
      {285, kNone, false, 0, CTQuarndelion::kCreditsCode, Fade{1, -0.4f, 1}},
      {286, kNone, false, 0, CTQuarndelion::kCreditsMusic, Fade{1, -0.4f, 1}},
      {289, kNone, false, 0, CTQuarndelion::kCreditsGraphics, Fade{1, -0.4f, 1}},
      {292, kNone, false, 0, CTQuarndelion::kCreditsLeeg, Fade{1, -0.4f, 1}},
      {297, kNone, false, 0, CTQuarndelion::kCreditsLeeg, Fade{1, 3, 0}},
      {298, kNone, false, 0, CTQuarndelion::kCreditsLeeg, Fade{1, -0.4f, 1}},
      {303, kNone, false, 0, CTQuarndelion::kCreditsLeeg, Fade{1, 10, 0}},
      {314, kNone, false, 0, CTQuarndelion::kCreditsLeeg, Fade{1, 10, 0}},
  };
  CTDemoScene* const byShown[] = {nullptr, scene1, scene2, scene3, scene4, interlude};

  int count = 0;
  for (const Row& row : rows) {
    while (count <= row.count) m_app->TimelineStep(1000), ++count;
    SCOPED_TRACE(row.count);
    EXPECT_EQ(m_app->GetStep(), row.count + 1);
    EXPECT_FALSE(m_app->IsQuitting());
    // Exactly the expected scene is in the world, among those still held.
    CTDemoScene* const held[] = {m_app->GetScene1(), m_app->GetScene2(), m_app->GetScene3(),
                                 m_app->GetScene4(), m_app->GetInterlude()};
    for (int i = 0; i < 5; ++i) {
      if (!held[i]) continue;
      const bool expected = byShown[row.attached] == held[i];
      EXPECT_EQ(Attached(*m_app, held[i]), expected) << "scene " << i + 1;
      EXPECT_EQ(held[i]->IsActive(), expected && row.active) << "scene " << i + 1;
    }
    if (row.released) {
      EXPECT_EQ(held[row.released - 1], nullptr) << "released " << row.released;
    }
    if (row.backdrop >= 0) {
      EXPECT_EQ(GetBackdrop(), pictures[row.backdrop].Get());
    }
    if (row.count >= 240 && m_app->GetInterlude()) {
      EXPECT_TRUE(m_app->GetInterlude()->IsClosing());
    }
    CTFader* fader = m_app->GetFader();
    ASSERT_NE(fader, nullptr);
    EXPECT_EQ(fader->IsActive(), row.fade.has_value());
    if (row.fade) {
      EXPECT_FLOAT_EQ(fader->GetColor().r, row.fade->r);
      EXPECT_FLOAT_EQ(fader->GetColor().g, row.fade->r);
      EXPECT_FLOAT_EQ(fader->GetColor().b, row.fade->r);
      EXPECT_FLOAT_EQ(fader->GetDuration(), row.fade->duration);
      EXPECT_FLOAT_EQ(fader->GetLevel(), row.fade->level);
    }
  }
  // The last count lets the fader go and quits.
  while (count <= CTQuarndelion::kLastCount) m_app->TimelineStep(1000), ++count;
  EXPECT_TRUE(m_app->IsQuitting());
  EXPECT_EQ(m_app->GetFader(), nullptr);
  EXPECT_EQ(m_app->GetStep(), CTQuarndelion::kLastCount + 1);
}

// "-speed" followed by a whole number sets the timer's multiplier, in any
// argument, argv[0] included; any other text keeps the speed and warns.
TEST_F(QuarndelionTest, SpeedArgumentSetsTheTimersMultiplier) {
  const struct {
    std::vector<const char*> args;
    int multiplier;
    bool warns;
  } cases[] = {
      {{"-speed3"}, 3, false},
      {{"Quarndelion", "-speed2"}, 2, false},
      {{"Quarndelion", "-speed4", "-speed5"}, 5, false},
      {{"Quarndelion", "-speedabc"}, 1, true},
      {{"Quarndelion", "-speed"}, 1, true},
      {{"Quarndelion", "-speed0"}, 1, true},
      {{"Quarndelion", "-speed-2"}, 1, true},
      {{"Quarndelion", "x-speed3", "-setup"}, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    Ref<CTQuarndelion> app = qibo::Create<CTQuarndelion>();
    app->ApplyArguments(static_cast<int>(c.args.size()), c.args.data());
    auto* devices = qibo::GetService<CTDeviceManager>();
    ASSERT_NE(devices, nullptr);
    auto* timer = qibo::Cast<CTWinTimer>(devices->GetDevice(CTTimer::_CD()->ID(), true));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->GetMultiplier(), c.multiplier);
    EXPECT_EQ(app->HasError(), c.warns) << app->LastErrorMsg().c_str();
    timer->SetMultiplier(1);
    devices->ReleaseDevice(timer);
  }
}

// How Run ends: a key before the first frame, music that cannot play, a
// window that cannot open, and the timeline's last count. Without a sound
// device (an audio driver that cannot open) the demo plays to its end
// silently after one warning that names SDL's reason.
TEST_F(QuarndelionTest, RunEndsOnEachEndCondition) {
  const struct {
    const char* name;
    bool key;
    bool music;
    bool refuseShow;
    int result;
    const char* error;  // the application's last error, nullptr: none
    bool drawn;
    int32_t steps;            // timeline counts run; -1: not checked
    const char* audioDriver;  // nullptr: the tests' own
    const char* warning;      // the only problem logged; nullptr: not checked
  } cases[] = {
      {"key", true, true, false, 0, nullptr, false, 0, nullptr, nullptr},
      {"no music", false, false, false, 1, "The music player caused a fatal error", false, 0, nullptr,
       nullptr},
      {"no window", false, true, true, 1, "No window could be opened for the demo", false, -1, nullptr,
       nullptr},
      {"timeline end", false, true, false, 0, nullptr, true, CTQuarndelion::kLastCount + 1, nullptr, nullptr},
      {"no sound device", false, true, false, 0, nullptr, true, CTQuarndelion::kLastCount + 1,
       "no-such-driver", "No sound device: Audio target 'no-such-driver' not available"},
  };
  const std::string savedDriver = getenv("SDL_AUDIODRIVER") ? getenv("SDL_AUDIODRIVER") : "dummy";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.music) {
      ASSERT_EQ(remove("runfiles/melody01.xm"), 0);
    }
    setenv("SDL_AUDIODRIVER", c.audioDriver ? c.audioDriver : savedDriver.c_str(), 1);
    HeadlessTarget::s_refuseShow = c.refuseShow;
    HeadlessTarget::s_scenes = 0;
    for (ClassDesc* cd : kClasses) qiBO_RegisterClass(cd);  // again after the last case's qiBO_Deinit
    // Frames of one second of world time each: one timeline count a frame.
    auto* engine = qibo::GetService<CTEngineManager>();
    ASSERT_NE(engine, nullptr);
    engine->GetPropertyByName("ConstantFrameTime").FromString("1");
    engine->GetPropertyByName("FrameTime").FromString("1.0005");
    const uint32_t firstFrame = qiBO_GetFrameID();
    const int firstRecord = qiBO_GetErrorsCount();

    m_app = qibo::Create<CTQuarndelion>();
    EXPECT_EQ(Run({"Quarndelion"}, c.key), c.result);
    EXPECT_EQ(m_app->HasError(), c.error != nullptr) << m_app->LastErrorMsg().c_str();
    if (c.error) {
      EXPECT_STREQ(m_app->LastErrorMsg().c_str(), c.error);
    }
    if (c.warning) {
      // One warning about the sound (the test folder lacks the pictures,
      // which gives warnings of its own).
      std::vector<std::string> problems;
      for (int i = firstRecord; i < qiBO_GetErrorsCount(); ++i) {
        const errorstruct_t* record = qiBO_GetErrorNo(i);
        if ((record->code & kCodeSeverityMask) >= kCodeMinorWarning && strstr(record->message, "sound"))
          problems.push_back(record->message);
      }
      EXPECT_EQ(problems, std::vector<std::string>{c.warning});
    }
    setenv("SDL_AUDIODRIVER", savedDriver.c_str(), 1);
    EXPECT_EQ(HeadlessTarget::s_scenes > 0, c.drawn);
    if (c.steps >= 0) {
      EXPECT_EQ(m_app->GetStep(), c.steps);
    }
    if (c.key || !c.music) {
      EXPECT_EQ(qiBO_GetFrameID(), firstFrame);
    }
    // Everything the run made is gone.
    EXPECT_EQ(m_app->GetWorld(), nullptr);
    EXPECT_EQ(m_app->GetSpectator(), nullptr);
    EXPECT_EQ(LiveScenes(), 0);
    m_app.Reset();
    qiBO_Deinit();
    if (!c.music) {
      ASSERT_TRUE(qibo::test::WriteTinyModule("runfiles/melody01.xm"));
    }
  }
}

// A recording whose music is missing, empty or garbage, or of which no
// frame could be rendered (the headless window here gives no pictures),
// cannot be made: the run fails, and a movie of that name from before
// stays as it was, with no temporary file left beside it.
TEST_F(QuarndelionTest, RecordingThatCannotBeMadeFailsAndKeepsTheOldMovie) {
  const struct {
    const char* name;
    bool music;
    const char* bytes;  // the music file's, when music
    const char* error;  // the application's last error, nullptr: none
  } cases[] = {{"music missing", false, nullptr, "The music player caused a fatal error"},
               {"music empty", true, "", "The music player caused a fatal error"},
               {"music garbage", true, "this is no module at all", "The music player caused a fatal error"},
               {"no frame rendered", true, nullptr, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.music) {
      ASSERT_EQ(remove("runfiles/melody01.xm"), 0);
    } else if (c.bytes) {
      qibo::test::PutFile("runfiles/melody01.xm", c.bytes);
    }
    qibo::test::PutFile("old.mp4", "an older movie");
    for (ClassDesc* cd : kClasses) qiBO_RegisterClass(cd);
    qibo::demo::RecordOptions options;
    options.path = (std::filesystem::current_path() / "old.mp4").string();
    options.width = 64;
    options.height = 48;
    options.fps = 10;
    m_app = qibo::Create<CTQuarndelion>();
    m_app->SetRecorder(std::make_unique<qibo::demo::DemoRecorder>(options));
    int frames = 0;
    m_app->SetKeyTest([&frames] { return ++frames > 5; });
    EXPECT_EQ(m_app->Run(1, std::vector<const char*>{"Quarndelion"}.data()), 1);
    if (c.error) {
      EXPECT_STREQ(m_app->LastErrorMsg().c_str(), c.error);
    }
    EXPECT_EQ(qibo::test::GetFile("old.mp4"), "an older movie");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(".")) files += entry.is_regular_file();
    EXPECT_EQ(files, 1);  // old.mp4 alone
    m_app.Reset();
    qiBO_Deinit();
    remove("runfiles/melody01.xm");
    ASSERT_TRUE(qibo::test::WriteTinyModule("runfiles/melody01.xm"));
  }
}

// "-setup" shows the settings pages of the loaded plug-ins (here the test
// plug-in's two) before the demo starts, for the whole system; a recording
// shows none.
TEST_F(QuarndelionTest, SetupShowsEveryPageFirstUnlessRecording) {
  auto* plugIns = qibo::GetService<CTPlugInManager>();
  ASSERT_NE(plugIns, nullptr);
  plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_TEST_PLUGIN_DIR);
  ASSERT_TRUE(qiBO_LoadPlugIn("PagePlugIn.plug"));
  auto* log = reinterpret_cast<TestPageLog* (*)()>(plugIns->GetPlugInSymbol(0, "TestPage_Log"))();
  ASSERT_NE(log, nullptr);
  const struct {
    const char* name;
    std::vector<const char*> args;
    bool recording;
    size_t pages;
  } cases[] = {
      {"asked for", {"Quarndelion", "-setup"}, false, 2},
      {"not asked for", {"Quarndelion", "-speed2"}, false, 0},
      {"recording", {"Quarndelion", "-setup"}, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    *log = TestPageLog();
    m_app = qibo::Create<CTQuarndelion>();
    if (c.recording) {
      qibo::demo::RecordOptions options;
      options.path = "setup.mp4";
      m_app->SetRecorder(std::make_unique<qibo::demo::DemoRecorder>(options));
    }
    m_app->ShowSetup(static_cast<int>(c.args.size()), c.args.data());
    ASSERT_EQ(log->shown.size(), c.pages);
    for (const auto& [page, object] : log->shown) EXPECT_EQ(object, nullptr) << "page " << page;
  }
  // Run shows them before anything else: a key pressed ends it at once.
  *log = TestPageLog();
  m_app = qibo::Create<CTQuarndelion>();
  EXPECT_EQ(Run({"Quarndelion", "-setup"}, true), 0);
  EXPECT_EQ(log->shown.size(), 2u);
}
