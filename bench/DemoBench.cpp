// Frames per second of the demo's heaviest scenes, the water tank (the room,
// the reflecting water plane, the balls raining under gravity and the
// water's environment) and the life interlude (1024 cubes and the film
// grain), rendered off screen at 640 x 480 by the render device: frames of
// a constant 16.5 ms, the way a recording runs them. The argument is the
// device's "BatchDrawing" (1 on, 0 off).
//
// BM_DemoTimeline runs the whole demo once the way a recording does (the
// same frames every run) without reading pictures back, and reports the
// longest frame of each stretch of the timeline, the stretch's first frame
// included, in real time: a frame that builds or uploads what a new scene
// needs shows up there. It draws in a window where there is a display.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/Random.h"
#include "core/object/Ref.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTGroup.h"
#include "demo/CTBassPlayer.h"
#include "demo/CTWinTimer.h"
#include "demo/app/CTQuarndelion.h"
#include "demo/app/DemoRecorder.h"
#include "demo/data/DataPath.h"
#include "demo/effects/CTTorus1.h"
#include "demo/scenes/Backdrop.h"
#include "demo/scenes/CTInterlude.h"
#include "demo/scenes/CTWaterTankScene.h"

namespace {

void Configure(CTInterface* object, const char* name, const char* value) {
  if (object) object->GetPropertyByName(name).FromString(value);
}

// One scene object alone in the world, seen from eye towards target,
// drawn by the render device at 640 x 480 off screen: frames per second of
// real time (the device's driver threads do most of the work).
template <class Scene>
void SceneFrames(benchmark::State& state, const Vector3& eye, const Vector3& target) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
  const std::string bin = qibo::demo::ExecutableDirectory();
  std::string where;
  if (!qibo::demo::EnterDataDirectory(bin, &where)) {
    state.SkipWithError(where.c_str());
    return;
  }
  qiBO_Init();
  qibo::SRand(1);
  auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
  Configure(plugIns, "PlugInPath", (bin + "/").c_str());
  auto* devices = qibo::GetService<CTDeviceManager>();
  auto* engine = qibo::GetService<CTEngineManager>();
  if (!qiBO_LoadPlugIn("RasterDev.plug") || !qiBO_LoadPlugIn("qiboIO.plug") || !devices || !engine) {
    state.SkipWithError("the render device plug-in cannot be loaded");
    qiBO_Deinit();
    return;
  }
  Configure(engine, "ConstantFrameTime", "1");
  Configure(engine, "FrameTime", "0.0165");
  {
    DevicePtr<CTRenderTarget> device;
    device = qibo::Cast<CTRenderTarget>(devices->GetDevice("CTDirect3D", -1, false));
    Configure(device.Get(), "ConfigurationMode", "1");
    Configure(device.Get(), "Width", "640");
    Configure(device.Get(), "Height", "480");
    Configure(device.Get(), "WaitForVerticalSync", "0");
    Configure(device.Get(), "BatchDrawing", state.range(0) ? "1" : "0");

    Ref<CTGroup> world = qibo::Create<CTGroup>();
    Ref<CTCamera> camera = qibo::Create<CTCamera>();
    camera->SetParent(world.Get());
    camera->MoveTo(eye);
    camera->GetTransformRef().LookAt(target);
    Ref<Scene> scene = qibo::Create<Scene>();
    scene->Build();
    scene->GetRoot()->SetParent(world.Get());
    scene->Activate();

    Ref<CTBasicSpectator> spectator = qibo::Create<CTBasicSpectator>();
    spectator->SetVideoDevice(device.Get());
    spectator->SetCamera(camera.Get());
    spectator->Enable();
    spectator->RegisterWithService();
    SetDemoSpectator(spectator.Get());
    // Two seconds first, so that rain falls and life has begun.
    for (int i = 0; i < 120 && spectator->IsEnabled(); ++i) qiBO_DoFrame();
    if (!spectator->IsActive()) state.SkipWithError("no picture: the render device did not come up");

    for (auto _ : state) qiBO_DoFrame();
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["draws"] = device->GetPropertyByName("DrawCalls").ToInt();

    SetDemoSpectator(nullptr);
    spectator->Disable();
    spectator->UnregisterWithService();
    scene->Deactivate();
  }
  qiBO_Deinit();
}

}  // namespace

// The water tank (from its open corner) and the life interlude (from above
// its field) are the demo's heaviest scenes.
void BM_DemoWaterTankFrame(benchmark::State& state) {
  SceneFrames<CTWaterTankScene>(state, Vector3(60, 40, -60), Vector3(0, 10, 0));
}
void BM_DemoInterludeFrame(benchmark::State& state) {
  SceneFrames<CTInterlude>(state, Vector3(0, 28, -30), Vector3(0, 0, 0));
}

namespace {

// Batched and one by one, in real time; the CPU time is the whole
// process's, the driver's threads included.
void BothWays(benchmark::internal::Benchmark* b) {
  b->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime()->MeasureProcessCPUTime();
}

}  // namespace

BENCHMARK(BM_DemoWaterTankFrame)->Apply(BothWays);
BENCHMARK(BM_DemoInterludeFrame)->Apply(BothWays);

namespace {

// The stretches of the demo's timeline: what is on screen from that count
// (second of world time) on.
struct Stretch {
  int32_t from;
  const char* name;
};
const Stretch kStretches[] = {{0, "picture"}, {10, "torus"},    {30, "life1"},  {54, "doubletorus"},
                              {90, "life2"},  {110, "tank"},    {160, "life3"}, {180, "boxes"},
                              {221, "life4"}, {240, "closing"}, {260, "fade"},  {275, "credits"}};
constexpr int kStretchCount = static_cast<int>(std::size(kStretches));

int StretchOf(int32_t step) {
  int at = 0;
  while (at + 1 < kStretchCount && step >= kStretches[at + 1].from) ++at;
  return at;
}

}  // namespace

void BM_DemoTimeline(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  // In a window where there is a display, as a user sees the demo.
  if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
  const std::string bin = qibo::demo::ExecutableDirectory();
  std::string where;
  if (!qibo::demo::EnterDataDirectory(bin, &where)) {
    state.SkipWithError(where.c_str());
    return;
  }
  using Clock = std::chrono::steady_clock;
  std::vector<double> longest(kStretchCount, 0.0);
  std::vector<double> all;
  double first = 0.0;
  for (auto _ : state) {
    qiBO_Init();
    for (ClassDesc* cd : {CTQuarndelion::_CD(), CTBassPlayer::_CD(), CTTorus1::_CD(), CTWinTimer::_CD()})
      qiBO_RegisterClass(cd);
    Configure(static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD())), "PlugInPath",
              (bin + "/").c_str());
    if (!qiBO_LoadPlugIn("RasterDev.plug") || !qiBO_LoadPlugIn("qiboIO.plug")) {
      state.SkipWithError("the render device plug-in cannot be loaded");
      qiBO_Deinit();
      return;
    }
    Ref<CTQuarndelion> app = qibo::Create<CTQuarndelion>();
    auto recorder = std::make_unique<qibo::demo::DemoRecorder>(qibo::demo::RecordOptions{});
    recorder->SetMovieEnabled(false);
    CTQuarndelion* const demo = app.Get();
    Clock::time_point last = Clock::now();
    int stretch = -1;
    recorder->SetFrameCallback([&](int64_t frame) {
      const Clock::time_point now = Clock::now();
      const double ms = std::chrono::duration<double, std::milli>(now - last).count();
      last = now;
      // The timeline counts on after its actions: the frame belongs to the
      // stretch of the count before.
      const int at = StretchOf(std::max(demo->GetStep() - 1, 0));
      if (frame == 0) {
        first = ms;  // also builds every scene
      } else {
        longest[at] = std::max(longest[at], ms);
        all.push_back(ms);
      }
      stretch = at;
    });
    app->SetKeyTest([] { return false; });
    app->SetRecorder(std::move(recorder));
    const char* argv[] = {"Quarndelion"};
    const int result = app->Run(1, argv);
    app.Reset();
    qiBO_Deinit();
    if (result != 0 || stretch < 0) {
      state.SkipWithError("the demo did not run to its end");
      return;
    }
  }
  std::sort(all.begin(), all.end());
  if (all.empty()) return;
  state.counters["frames"] = static_cast<double>(all.size() + 1);
  state.counters["first_ms"] = first;
  state.counters["median_ms"] = all[all.size() / 2];
  state.counters["p99_ms"] = all[all.size() * 99 / 100];
  for (int i = 0; i < kStretchCount; ++i)
    state.counters[std::string("max_ms_") + kStretches[i].name] = longest[i];
}
BENCHMARK(BM_DemoTimeline)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
