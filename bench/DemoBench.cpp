// Frames per second of the demo's heaviest scenes, the water tank (the room,
// the reflecting water plane, the balls raining under gravity and the
// water's environment) and the life interlude (1024 cubes and the film
// grain), rendered off screen at 640 x 480 by the render device: frames of
// a constant 16.5 ms, the way a recording runs them. The argument is the
// device's "BatchDrawing" (1 on, 0 off).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/Random.h"
#include "core/object/Ref.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTGroup.h"
#include "demo/data/DataPath.h"
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
