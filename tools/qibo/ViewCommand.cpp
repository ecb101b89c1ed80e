// qibo view FILE [--snapshot OUT] [--size WxH]: shows a model or a saved
// scene through the render device, lit by the environment's light, with the
// camera circling it at a distance that fits its bounds into the view. The
// window stays until Escape, closing it, a key in the terminal, Ctrl+C or
// SIGTERM. With --snapshot one frame is rendered off screen (no display
// needed) and saved in the format of OUT's extension.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/kernel/ClassApi.h"
#include "core/kernel/ConsoleInput.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/StopSignals.h"
#include "core/object/Ref.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"
#include "demo/CTWinTimer.h"
#include "tools/qibo/Commands.h"
#include "tools/qibo/ModelScene.h"

namespace qibo::tool {

namespace {

constexpr int kMinSide = 16;
constexpr int kMaxSide = 4096;
constexpr float kFieldOfView = 45.0f;       // degrees
constexpr float kElevation = 0.4f;          // radians above the model's centre
constexpr float kSnapshotAngle = 0.6f;      // radians round the model: a three-quarter view
constexpr float kTurnPerSecond = 0.5f;      // radians
constexpr uint32_t kBackground = 0x1C2430;  // 0xRRGGBB
constexpr int kFramesToOpen = 100;          // without a picture by then, there is no display
constexpr int kSettleFrames = 2;            // frames drawn on a visible device before the snapshot

struct ViewOptions {
  const char* file = nullptr;
  const char* snapshot = nullptr;
  int width = 640;
  int height = 480;
};

bool ParseSize(const char* text, int& width, int& height) {
  char* end = nullptr;
  const long w = strtol(text, &end, 10);
  if (end == text || (*end != 'x' && *end != 'X')) return false;
  const char* rest = end + 1;
  const long h = strtol(rest, &end, 10);
  if (end == rest || *end || w < kMinSide || h < kMinSide || w > kMaxSide || h > kMaxSide) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool ParseOptions(int argc, char** argv, ViewOptions& options) {
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--snapshot") == 0 && i + 1 < argc) {
      options.snapshot = argv[++i];
    } else if (strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      if (!ParseSize(argv[++i], options.width, options.height)) {
        fprintf(stderr, "qibo view: --size takes WIDTHxHEIGHT, each from %d to %d\n", kMinSide, kMaxSide);
        return false;
      }
    } else if (argv[i][0] != '-' && !options.file) {
      options.file = argv[i];
    } else {
      return false;
    }
  }
  return options.file != nullptr;
}

// In a build with the address sanitizer: Mesa's EGL and DRI drivers keep
// allocations in their own globals, which the leak checker reports as lost
// once SDL unloads the drivers at the end. Loaded once more and never
// unloaded, they stay mapped and their blocks reachable.
void KeepGlDriversForTheLeakChecker() {
#if defined(__SANITIZE_ADDRESS__)
  for (const char* name : {"libEGL_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(name, RTLD_NOW | RTLD_NODELETE);
#endif
}

void Set(CTInterface* object, const char* name, const char* value) {
  if (object) object->GetPropertyByName(name).FromString(value);
}

// The model, the camera that circles it and the spectator that shows it.
class Viewer {
 public:
  explicit Viewer(const ViewOptions& options) : m_options(options) {}
  ~Viewer();

  bool Build();
  int Run();

 private:
  void Place(float angle);
  // Gives the render device its size once it exists; true once it shows.
  bool DeviceShown();
  bool Snapshot();

  const ViewOptions& m_options;
  Ref<CTGroup> m_world;
  Ref<CTCamera> m_camera;
  Ref<CTBasicSpectator> m_spectator;
  Vector3 m_centre;
  float m_distance = 1.0f;
  CTRenderTarget* m_configured = nullptr;
};

Viewer::~Viewer() {
  if (m_spectator) {
    m_spectator->Disable();
    m_spectator->UnregisterWithService();
  }
}

bool Viewer::Build() {
  m_world = qibo::Create<CTGroup>();
  Ref<CTGroup> model = qibo::Create<CTGroup>();
  m_camera = qibo::Create<CTCamera>();
  m_spectator = qibo::Create<CTBasicSpectator>();
  if (!m_world || !model || !m_camera || !m_spectator) return false;
  m_world->SetName("View");
  model->SetName("Model");
  model->SetParent(m_world.Get());
  if (!ImportModel("view", m_options.file, model.Get())) return false;
  const DSceneSummary summary = Summarize(model.Get());
  if (!summary.hasBounds) {
    fprintf(stderr, "qibo view: %s: nothing in it is drawn\n", Printable(m_options.file).c_str());
    return false;
  }
  m_centre = (summary.low + summary.high) * 0.5f;
  const float radius = std::max((summary.high - summary.low).Length() * 0.5f, 1e-3f);
  // The bounding sphere fits the narrower of the two view angles.
  const float aspect = static_cast<float>(m_options.width) / static_cast<float>(m_options.height);
  const float halfTan = std::tan(kFieldOfView * 0.5f * 0.017453292f) * std::min(aspect, 1.0f / aspect);
  m_distance = radius / std::sin(std::atan(halfTan)) * 1.05f;
  m_camera->SetName("Viewer camera");
  m_camera->SetParent(m_world.Get());
  m_camera->SetFOV(kFieldOfView);
  m_camera->SetFarDist(m_distance + 2.0f * radius);
  m_camera->SetNearDist(std::max(m_distance - 2.0f * radius, m_distance * 0.01f));

  // Faces without a material of their own take the default one: light
  // grey here rather than unlit black.
  if (CTMaterial* fallback = qiBO_GetDefaultMaterial()) fallback->SetColor({0.7f, 0.7f, 0.7f, 1.0f});
  if (CTEnvironment* environment = qiBO_GetDefaultEnvironment()) {
    environment->SetFogColor(kBackground);
    environment->SetFogDensity(0.0f);
    environment->SetAmbientColor(Vector3(0.3f, 0.3f, 0.3f));
  }
  m_spectator->SetCamera(m_camera.Get());
  m_spectator->Enable();
  m_spectator->RegisterWithService();
  return true;
}

// The camera on a circle round the centre, looking at it; the light comes
// from above, over the camera's left shoulder.
void Viewer::Place(float angle) {
  const Vector3 out(std::sin(angle) * std::cos(kElevation), std::sin(kElevation),
                    -std::cos(angle) * std::cos(kElevation));
  m_camera->MoveTo(m_centre + out * m_distance);
  m_camera->SetDirection(out * -1.0f);
  CTEnvironment* environment = qiBO_GetDefaultEnvironment();
  if (CTEntity* light = environment ? environment->GetLight() : nullptr) {
    const Vector3 left(-std::cos(angle), 0.0f, -std::sin(angle));
    light->SetDirection((out * -1.0f + left * 0.4f + Vector3(0.0f, -0.6f, 0.0f)).Normalized());
  }
}

bool Viewer::DeviceShown() {
  CTRenderTarget* device = m_spectator->GetVideoDevice();
  if (!device) return false;
  if (device->IsVisible()) return true;
  if (device != m_configured) {
    // The device reads these when the spectator shows it, in the next frame.
    m_configured = device;
    Set(device, "FullScreen", "0");
    Set(device, "ConfigurationMode", "1");
    Set(device, "Width", std::to_string(m_options.width).c_str());
    Set(device, "Height", std::to_string(m_options.height).c_str());
    if (m_options.snapshot) Set(device, "WaitForVerticalSync", "0");
  }
  return false;
}

bool Viewer::Snapshot() {
  CTRenderTarget* device = m_spectator->GetVideoDevice();
  std::unique_ptr<LFB> picture(device ? device->GrabLFBFullScreen() : nullptr);
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  if (!picture || !texture || !texture->SetData(std::move(picture))) {
    fprintf(stderr, "qibo view: the picture could not be read from the render device\n");
    return false;
  }
  return ExportPicture("view", m_options.snapshot, texture.Get());
}

int Viewer::Run() {
  int64_t elapsed = 0;
  int opening = 0, shown = 0;
  while (!qibo::StopSignalReceived()) {
    Place(m_options.snapshot ? kSnapshotAngle : kSnapshotAngle + elapsed * 0.001f * kTurnPerSecond);
    elapsed += qiBO_DoFrame();
    if (!DeviceShown()) {
      if (shown > 0) break;  // closed
      if (m_spectator->IsEnabled() && ++opening < kFramesToOpen) continue;
      fprintf(stderr, "qibo view: the render device could not be opened%s\n",
              m_options.snapshot ? "" : " (is there a display? --snapshot needs none)");
      return 1;
    }
    ++shown;
    if (m_options.snapshot && shown > kSettleFrames) return Snapshot() ? 0 : 1;
    if (!m_options.snapshot && qibo::KeyHit()) break;
  }
  return 0;
}

}  // namespace

int View(int argc, char** argv) {
  ViewOptions options;
  if (!ParseOptions(argc, argv, options)) return 2;
  // A snapshot never needs the display, and must not open a window on one.
  if (options.snapshot) setenv("SDL_VIDEODRIVER", "offscreen", 1);
  if (!LoadToolPlugIn("qiboIO.plug") || !LoadToolPlugIn("RasterDev.plug")) {
    fprintf(stderr, "qibo view: the plug-ins qiboIO.plug and RasterDev.plug could not be loaded\n");
    return 1;
  }
  KeepGlDriversForTheLeakChecker();
  // The engine's clock, which the device manager makes on request.
  qiBO_RegisterClass(CTWinTimer::_CD());
  Viewer viewer(options);
  if (!viewer.Build()) return 1;
  return viewer.Run();
}

}  // namespace qibo::tool
