#include "demo/app/CTQuarndelion.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "core/devices/CTDeviceManager.h"
#include "core/kernel/CTPropertyPageManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/ConsoleInput.h"
#include "core/kernel/ConsoleOutput.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/kernel/StopSignals.h"
#include "core/motion/CTKeyFrameController.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTEnvironment.h"
#include "demo/app/CameraPath.h"
#include "demo/app/DemoRecorder.h"
#include "demo/app/Progress.h"
#include "demo/scenes/Backdrop.h"
#include "demo/scenes/CTBoxScene.h"
#include "demo/scenes/CTDoubleTorusScene.h"
#include "demo/scenes/CTFader.h"
#include "demo/scenes/CTInterlude.h"
#include "demo/scenes/CTTorusScene.h"
#include "demo/scenes/CTWaterTankScene.h"
#include "demo/scenes/SceneKit.h"

QIBO_IMPLEMENT_CLASS(CTQuarndelion, CTApplication, .desc = "Quarndelion Application",
                     .product = "Quarndelion", .build = 1)

namespace {

constexpr const char* kMusicFile = "runfiles\\melody01.xm";
constexpr const char* kPictureFiles[CTQuarndelion::kPictureCount] = {
    "runfiles\\Start1.jpg", "runfiles\\credits-leeg.jpg", "runfiles\\credits-code.jpg",
    "runfiles\\credits-music.jpg", "runfiles\\credits-graphics.jpg"};
constexpr uint32_t kNightSky = 0x00060A18;  // 0x00RRGGBB
constexpr int32_t kTimelinePeriod = 1000;   // ms of world time per count
constexpr double kCameraDistance = 10.0;    // the camera's own step back; the path moves its group's child

// A running device manager, or null.
CTDeviceManager* Devices() {
  auto* devices = qibo::FindService<CTDeviceManager>();
  if (!devices) devices = qibo::GetService<CTDeviceManager>();
  if (devices && !devices->IsStarted()) devices->Start();
  return devices && devices->IsStarted() ? devices : nullptr;
}

// A whole number from 1 to 1000 spelt with digits only.
bool IsSpeedFactor(const char* text) {
  if (!text || !*text) return false;
  for (const char* c = text; *c; ++c)
    if (*c < '0' || *c > '9') return false;
  errno = 0;
  const long value = strtol(text, nullptr, 10);
  return errno == 0 && value >= 1 && value <= 1000;
}

}  // namespace

CTQuarndelion::CTQuarndelion() : m_keyHit([] { return qibo::KeyHit(); }) { SetName("Quarndelion"); }

CTQuarndelion::~CTQuarndelion() { TearDown(); }

CTDemoScene* CTQuarndelion::GetScene1() const { return m_scene1.Get(); }
CTDemoScene* CTQuarndelion::GetScene2() const { return m_scene2.Get(); }
CTDemoScene* CTQuarndelion::GetScene3() const { return m_scene3.Get(); }
CTDemoScene* CTQuarndelion::GetScene4() const { return m_scene4.Get(); }

void CTQuarndelion::SetRecorder(std::unique_ptr<qibo::demo::DemoRecorder> recorder) {
  m_recorder = std::move(recorder);
}

void CTQuarndelion::Quit(int) { m_quit = true; }

void CTQuarndelion::SetWindow(int width, int height, bool fullScreen) {
  m_windowWidth = width;
  m_windowHeight = height;
  m_fullScreen = fullScreen;
}

// The device reads these when the spectator shows it, in the next frame.
void CTQuarndelion::ConfigureWindow(CTRenderTarget* device) {
  if (!device || device == m_configured || (!m_fullScreen && m_windowWidth <= 0)) return;
  m_configured = device;
  auto set = [device](const char* name, int value) {
    device->GetPropertyByName(name).FromString(std::to_string(value).c_str());
  };
  set("FullScreen", m_fullScreen ? 1 : 0);
  // Full screen without a size takes the device's own mode.
  set("ConfigurationMode", m_windowWidth > 0 ? 1 : 0);
  if (m_windowWidth <= 0) return;
  set(m_fullScreen ? "XRes" : "Width", m_windowWidth);
  set(m_fullScreen ? "YRes" : "Height", m_windowHeight);
}

// ---------------------------------------------------------------------------
// Run

int CTQuarndelion::Run(int argc, const char** argv) {
  m_quit = false;
  m_shown = false;
  ShowSetup(argc, argv);
  if (m_recorder && !m_recorder->Prepare()) return 1;
  BuildScene();
  m_spectator->Enable();
  if (!StartMusic()) {
    ErrorMsg("The music player caused a fatal error");
    // The demo without its music (a missing or broken file) is a failure,
    // also for the exit status; a recording is given up.
    if (m_recorder) m_recorder->Abandon("the music could not be read");
    TearDown();
    return 1;
  }
  qibo::demo::PrintProgress('o');
  ApplyArguments(argc, argv);
  ImportPictures();
  PrepareOutput();
  qibo::demo::PrintProgress('n');
  AddUpdate(qibo::AsUpdate(&CTQuarndelion::TimelineStep), kTimelinePeriod, -1);
  RunLoop();
  qibo::ConsoleWrite("\n");

  int result = 0;
  if (m_recorder) {
    if (!m_recorder->Finish()) result = 1;
  } else if (!m_shown && !m_quit && !m_spectator->IsEnabled()) {
    // The window never opened: say why instead of ending silently.
    ErrorMsg("No window could be opened for the demo");
    fprintf(
        stderr,
        "Quarndelion: no window could be opened (is there a display? DISPLAY and WAYLAND_DISPLAY are %s).\n"
        "To render the demo into a movie file instead, run: Quarndelion --record demo.mp4\n",
        getenv("DISPLAY") || getenv("WAYLAND_DISPLAY") ? "set" : "unset");
    result = 1;
  }
  TearDown();
  return result;
}

void CTQuarndelion::RunLoop() {
  while (true) {
    if (m_keyHit && m_keyHit()) break;
    if (!m_spectator || !m_spectator->IsEnabled()) break;
    if (m_quit || qibo::StopSignalReceived()) break;
    if (m_recorder) m_recorder->BeforeFrame();
    qiBO_DoFrame();
    CTRenderTarget* video = m_spectator ? m_spectator->GetVideoDevice() : nullptr;
    if (!m_recorder) ConfigureWindow(video);
    if (video && video->IsVisible()) m_shown = true;
    if (m_recorder && !m_recorder->AfterFrame(m_spectator.Get())) break;
  }
}

void CTQuarndelion::PrepareOutput() {
  if (!m_spectator) return;
  const bool open = m_spectator->OpenOutput([this](CTRenderTarget* device) {
    if (m_recorder)
      m_recorder->ConfigureOutput(device);
    else
      ConfigureWindow(device);
  });
  // Without an output the frames try again and say why.
  CTRenderTarget* device = m_spectator->GetVideoDevice();
  if (!open || !device || !device->IsVisible()) return;
  device->PreloadMaterials();
  for (const Ref<CTTexture>& picture : m_pictures)
    if (picture) device->Preload(picture.Get());
}

bool CTQuarndelion::StartMusic() {
  if (m_recorder) return m_recorder->StartMusic(kMusicFile);
  CTDeviceManager* devices = Devices();
  if (!devices) return false;
  const int firstRecord = qiBO_GetErrorsCount();
  m_music = qibo::Cast<CTMusicPlayer>(devices->GetDevice(CTMusicPlayer::_CD()->ID(), -1, false));
  if (m_music && !m_music->IsStarted()) m_music->Start();
  if (!m_music || !m_music->IsStarted()) {
    // No sound device: the timeline runs on the timer all the same, so the
    // demo plays silently. The player has warned with the reason; without
    // a player at all the warning is ours.
    m_music.Reset();
    if (qiBO_GetErrorsCount() == firstRecord)
      WarningMsg("No music player could be started; playing without sound");
    return true;
  }
  return m_music->Load(kMusicFile) && m_music->Play();
}

CTTimer* CTQuarndelion::ObtainTimer() {
  if (!m_timer)
    if (CTDeviceManager* devices = Devices())
      m_timer = qibo::Cast<CTTimer>(devices->GetDevice(CTTimer::_CD()->ID(), true));
  return m_timer.Get();
}

void CTQuarndelion::ApplyArguments(int argc, const char* const* argv) {
  for (int i = 0; i < argc && argv; ++i) {
    if (!argv[i]) continue;
    char argument[256];
    snprintf(argument, sizeof(argument), "%s", argv[i]);
    if (strncmp(argument, "-speed", 6) == 0) {
      const char* factor = argument + 6;
      // A text that is not a whole number would stop the clock (0) or run
      // it backwards; the speed stays as it is then.
      if (!IsSpeedFactor(factor)) {
        WarningMsgF(0, "Ignoring \"%s\": the speed must be a whole number from 1 to 1000", argument);
        continue;
      }
      CTTimer* timer = ObtainTimer();
      DProperty& multiplier = timer ? timer->GetPropertyByName("Multiplier") : DProperty::Null();
      if (&multiplier == &DProperty::Null())
        WarningMsgF(0, "Ignoring \"%s\": the timer has no speed setting", argument);
      else
        multiplier.FromString(factor);
    }
  }
}

void CTQuarndelion::ShowSetup(int argc, const char* const* argv) {
  bool setup = false;
  for (int i = 0; i < argc && argv; ++i)
    if (argv[i] && strncmp(argv[i], "-setup", 6) == 0) setup = true;
  if (!setup) return;
  if (m_recorder) {
    InfoMsg("-setup: no settings page while recording");
    return;
  }
  // The service manager stands for the whole system: every page is shown.
  if (!qiBO_ShowPropertyPage(qibo::FindService<CTServiceManager>()))
    InfoMsg("-setup: there is no settings page to show");
}

void CTQuarndelion::ImportPictures() {
  m_importer = qibo::Create<CTBitmapIO>();
  if (!m_importer) return;
  for (int i = 0; i < kPictureCount; ++i)
    if (m_importer->Import(kPictureFiles[i])) m_pictures[i] = Ref<CTTexture>(m_importer->GetTexture());
}

// ---------------------------------------------------------------------------
// Scene

void CTQuarndelion::BuildScene() {
  m_world = qibo::Create<CTGroup>();
  m_world->SetName("World");
  auto* cameraGroup = new CTGroup("Camera group", m_world.Get());
  m_camera = new CTCamera("Camera", cameraGroup);
  m_camera->MoveBack(kCameraDistance);

  if (CTEnvironment* environment = qiBO_GetDefaultEnvironment()) {
    environment->SetPriority(0.0f);
    environment->SetSecondScalar(1.0f);
    // The scenes float in a night sky: frames are cleared to deep blue, not
    // to the engine's daylight haze.
    environment->SetFogColor(kNightSky);
  }

  qibo::demo::PrintProgress('a');
  // White and textured; the texture service is started for it (a material
  // only asks a running one).
  qibo::demo::SceneMaterial("BoxMat", "cubes1");

  qibo::demo::PrintProgress('r');
  m_scene1 = qibo::Create<CTTorusScene>();
  if (m_scene1) m_scene1->Build();
  qibo::demo::PrintProgress('n');
  m_scene3 = qibo::Create<CTWaterTankScene>();
  if (m_scene3) m_scene3->Build();
  qibo::demo::PrintProgress('d');
  m_interlude = qibo::Create<CTInterlude>();
  if (m_interlude) m_interlude->Build();
  qibo::demo::PrintProgress('e');
  m_scene2 = qibo::Create<CTDoubleTorusScene>();
  if (m_scene2) m_scene2->Build();
  qibo::demo::PrintProgress('l');
  m_fader = qibo::Create<CTFader>();
  if (m_fader) m_fader->SetDuration(10.0f);
  m_scene4 = qibo::Create<CTBoxScene>();
  if (m_scene4) m_scene4->Build();

  // Each scene's root stands where its stretch of the camera path looks.
  using qibo::demo::CameraTarget;
  const std::pair<CTDemoScene*, CameraTarget> placements[] = {{m_scene1.Get(), CameraTarget::kTorus},
                                                              {m_scene2.Get(), CameraTarget::kDoubleTorus},
                                                              {m_scene3.Get(), CameraTarget::kWaterTank},
                                                              {m_scene4.Get(), CameraTarget::kBoxes},
                                                              {m_interlude.Get(), CameraTarget::kInterlude}};
  for (const auto& [scene, target] : placements)
    if (scene && scene->GetRoot()) scene->GetRoot()->MoveTo(qibo::demo::SceneCentre(target));

  MakeCameraPath();

  qibo::demo::PrintProgress('i');
  m_spectator = qibo::Create<CTBasicSpectator>();
  m_spectator->RegisterWithService();
  m_spectator->SetCamera(m_camera);
  SetDemoSpectator(m_spectator.Get());
}

void CTQuarndelion::MakeCameraPath() {
  Ref<CTKeyFrameController> path = qibo::Create<CTKeyFrameController>();
  if (!path || !path->GetPositionTrack() || !path->GetRotationTrack()) return;
  path->SetName("Camera path");
  qibo::demo::KeyCameraPath(*path->GetPositionTrack(), *path->GetRotationTrack());
  path->SetObject(m_camera);  // the camera holds it from now on
  path->Enable();
}

// ---------------------------------------------------------------------------
// Timeline

void CTQuarndelion::Attach(CTDemoScene* scene) {
  if (scene && scene->GetRoot() && m_world) scene->GetRoot()->SetParent(m_world.Get());
}

void CTQuarndelion::Detach(CTDemoScene* scene) {
  if (scene && scene->GetRoot() && scene->GetRoot()->GetParent()) scene->GetRoot()->SetParent(nullptr);
}

void CTQuarndelion::ShowPicture(Picture which) { ShowBackdrop(m_pictures[which].Get()); }

void CTQuarndelion::Fade(float r, float g, float b, float duration, float level) {
  if (!m_fader) return;
  m_fader->SetColor(DColor{r, g, b, 1.0f});
  FadeOn(duration, level);
}

void CTQuarndelion::FadeOn(float duration, float level) {
  if (!m_fader) return;
  m_fader->SetDuration(duration);
  m_fader->SetLevel(level);
}

void CTQuarndelion::TimelineStep(int32_t) {
  // What happens at each count (seconds of world time from the start), in
  // order of the count.
  struct Cue {
    int32_t second;
    void (*action)(CTQuarndelion& app);
  };
  static constexpr Cue kCues[] = {
      {0,  // the start picture fades in from black over 4 s
       [](CTQuarndelion& app) {
         app.ShowPicture(kStart1);
         if (app.m_fader) app.m_fader->Activate();
         app.Fade(0, 0, 0, -4.0f, 1.0f);
       }},
      {10,
       [](CTQuarndelion& app) {
         if (app.m_fader) app.m_fader->Deactivate();
         app.Attach(app.m_scene1.Get());
         if (app.m_scene1) app.m_scene1->Activate();
       }},
      {30,
       [](CTQuarndelion& app) {
         if (app.m_scene1) app.m_scene1->Deactivate();
         app.m_scene1.Reset();
         app.Attach(app.m_interlude.Get());
         if (app.m_interlude) app.m_interlude->Activate();
       }},
      {54,
       [](CTQuarndelion& app) {
         Detach(app.m_interlude.Get());
         if (app.m_interlude) app.m_interlude->Deactivate();
         app.Attach(app.m_scene2.Get());
         if (app.m_scene2) app.m_scene2->Activate();
       }},
      {90,
       [](CTQuarndelion& app) {
         app.Attach(app.m_interlude.Get());
         if (app.m_interlude) app.m_interlude->Activate();
         if (app.m_scene2) app.m_scene2->Deactivate();
         app.m_scene2.Reset();
       }},
      {110,
       [](CTQuarndelion& app) {
         Detach(app.m_interlude.Get());
         if (app.m_interlude) app.m_interlude->Deactivate();
         app.Attach(app.m_scene3.Get());
         if (app.m_scene3) app.m_scene3->Activate();
       }},
      {160,
       [](CTQuarndelion& app) {
         app.Attach(app.m_interlude.Get());
         if (app.m_interlude) app.m_interlude->Activate();
         if (app.m_scene3) app.m_scene3->Deactivate();
         app.m_scene3.Reset();
       }},
      {180,
       [](CTQuarndelion& app) {
         Detach(app.m_interlude.Get());
         if (app.m_interlude) app.m_interlude->Deactivate();
         app.Attach(app.m_scene4.Get());
       }},
      {185,
       [](CTQuarndelion& app) {
         if (app.m_scene4) app.m_scene4->Activate();
       }},
      {220,
       [](CTQuarndelion& app) {
         Detach(app.m_scene4.Get());
         if (app.m_scene4) app.m_scene4->Deactivate();
         app.m_scene4.Reset();
       }},
      {221,
       [](CTQuarndelion& app) {
         app.Attach(app.m_interlude.Get());
         if (app.m_interlude) app.m_interlude->Activate();
       }},
      {240,
       [](CTQuarndelion& app) {
         if (app.m_interlude) app.m_interlude->BeginClosing();
       }},
      {260,  // fade to black over 4 s
       [](CTQuarndelion& app) {
         Detach(app.m_interlude.Get());
         if (app.m_interlude) app.m_interlude->Deactivate();
         app.m_interlude.Reset();
         if (app.m_fader) app.m_fader->Activate();
         app.Fade(0, 0, 0, 4.0f, 0.0f);
       }},
      {275,
       [](CTQuarndelion& app) {
         app.FadeOn(-4.0f, 1.0f);
         app.ShowPicture(kCreditsLeeg);
       }},
      {283, [](CTQuarndelion& app) { app.ShowPicture(kCreditsCode); }},
      {284, [](CTQuarndelion& app) { app.Fade(1, 1, 1, 3.0f, 0.0f); }},  // a white flash between the credits
      {285, [](CTQuarndelion& app) { app.FadeOn(-0.4f, 1.0f); }},
      {286, [](CTQuarndelion& app) { app.ShowPicture(kCreditsMusic); }},
      {289, [](CTQuarndelion& app) { app.ShowPicture(kCreditsGraphics); }},
      {292, [](CTQuarndelion& app) { app.ShowPicture(kCreditsLeeg); }},
      {297, [](CTQuarndelion& app) { app.Fade(1, 1, 1, 3.0f, 0.0f); }},
      {298, [](CTQuarndelion& app) { app.FadeOn(-0.4f, 1.0f); }},
      {303, [](CTQuarndelion& app) { app.FadeOn(10.0f, 0.0f); }},  // fade out over 10 s
      {kLastCount,
       [](CTQuarndelion& app) {
         if (app.m_fader) app.m_fader->Deactivate();
         app.m_fader.Reset();
         app.Quit(0);
       }},
  };
  constexpr auto earlier = [](const Cue& a, const Cue& b) { return a.second < b.second; };
  static_assert(std::is_sorted(std::begin(kCues), std::end(kCues), earlier));
  const auto cue = std::lower_bound(std::begin(kCues), std::end(kCues), Cue{m_step, nullptr}, earlier);
  if (cue != std::end(kCues) && cue->second == m_step) cue->action(*this);
  ++m_step;
}

// ---------------------------------------------------------------------------
// Teardown

void CTQuarndelion::TearDown() {
  RemoveUpdate(qibo::AsUpdate(&CTQuarndelion::TimelineStep));
  m_scene1.Reset();
  m_scene3.Reset();
  m_interlude.Reset();
  m_scene2.Reset();
  m_fader.Reset();
  m_scene4.Reset();
  m_camera = nullptr;
  m_world.Reset();
  if (m_spectator) {
    if (GetDemoSpectator() == m_spectator.Get()) SetDemoSpectator(nullptr);
    m_spectator->Disable();
    m_spectator->UnregisterWithService();
    m_spectator.Reset();
  }
  m_music.Reset();  // gives the player back; the device manager stops it
  m_timer.Reset();
  m_importer.Reset();
}
