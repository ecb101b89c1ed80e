// A minimal program on the qiBO engine: a lit, textured cube turning in a
// window until Escape is pressed or the window is closed.
//
//   SpinningCube                     shows the window
//   SpinningCube --snapshot OUT.ppm  renders one frame off screen (no display
//                                    needed) and saves it as a PPM picture
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/geometry/CTBox.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/kernel/StopSignals.h"
#include "core/object/Ref.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr double kTurnPerSecond = 0.8;  // radians
constexpr int kFramesToOpen = 100;      // without a picture by then, there is no display

// An orange and cream chequerboard, 8 x 8 squares.
Ref<CTTexture> MakeTexture() {
  auto picture = std::make_unique<LFB>(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) picture->SetPixel(x, y, ((x / 8 + y / 8) % 2) ? 0xFFF08020 : 0xFFF8F0D8);
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  if (texture) texture->SetData(std::move(picture));
  return texture;
}

// The render device reads its settings when the spectator shows it.
void Configure(CTRenderTarget* device, bool snapshot) {
  device->GetPropertyByName("FullScreen").FromString("0");
  device->GetPropertyByName("ConfigurationMode").FromString("1");
  device->GetPropertyByName("Width").FromString(std::to_string(kWidth).c_str());
  device->GetPropertyByName("Height").FromString(std::to_string(kHeight).c_str());
  if (snapshot) device->GetPropertyByName("WaitForVerticalSync").FromString("0");
}

bool SavePpm(const char* file, const LFB& picture) {
  FILE* out = fopen(file, "wb");
  if (!out) return false;
  fprintf(out, "P6\n%d %d\n255\n", picture.GetWidth(), picture.GetHeight());
  for (int y = 0; y < picture.GetHeight(); ++y)
    for (int x = 0; x < picture.GetWidth(); ++x) {
      const uint32_t argb = picture.GetPixel(x, y);
      const unsigned char rgb[3] = {static_cast<unsigned char>(argb >> 16),
                                    static_cast<unsigned char>(argb >> 8), static_cast<unsigned char>(argb)};
      fwrite(rgb, 1, 3, out);
    }
  return fclose(out) == 0;
}

// Frames until the window closes (Escape closes it) or Ctrl+C, or, for a
// snapshot, until the device has shown a few frames; the exit code.
int Run(CTDrawable* cube, CTBasicSpectator* spectator, const char* snapshot) {
  const auto start = std::chrono::steady_clock::now();
  CTRenderTarget* configured = nullptr;
  int opening = 0, shown = 0;
  while (!qibo::StopSignalReceived()) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cube->RotateToAz(snapshot ? 0.6 : seconds * kTurnPerSecond);
    cube->RotateToEl(0.4);
    qiBO_DoFrame();
    CTRenderTarget* device = spectator->GetVideoDevice();
    if (device && device != configured) Configure(configured = device, snapshot != nullptr);
    if (!device || !device->IsVisible()) {
      if (shown > 0) return 0;  // the window was closed
      if (++opening < kFramesToOpen) continue;
      fprintf(stderr, "SpinningCube: the render device could not be opened\n");
      return 1;
    }
    ++shown;
    if (snapshot && shown > 2) {
      std::unique_ptr<LFB> picture(device->GrabLFBFullScreen());
      if (!picture || !SavePpm(snapshot, *picture)) {
        fprintf(stderr, "SpinningCube: %s could not be written\n", snapshot);
        return 1;
      }
      return 0;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* snapshot = argc == 3 && strcmp(argv[1], "--snapshot") == 0 ? argv[2] : nullptr;
  if (argc != 1 && !snapshot) {
    fprintf(stderr, "usage: SpinningCube [--snapshot OUT.ppm]\n");
    return 2;
  }
  // A snapshot is rendered off screen and needs no display.
  if (snapshot) setenv("SDL_VIDEODRIVER", "offscreen", 1);
  qibo::InstallStopSignalHandlers();
  qiBO_Init();
  // The render device is a plug-in, found in the engine's plug-in folder.
  if (!qiBO_LoadPlugIn("RasterDev.plug")) {
    fprintf(stderr, "SpinningCube: the render device plug-in RasterDev.plug was not found\n");
    qiBO_Deinit();
    return 1;
  }
  int result = 1;
  {
    Ref<CTGroup> world = qibo::Create<CTGroup>();
    Ref<CTCamera> camera = qibo::Create<CTCamera>();
    Ref<CTDrawable> cube = qibo::Create<CTDrawable>();
    Ref<CTBox> box = qibo::Create<CTBox>();
    Ref<CTBasicSpectator> spectator = qibo::Create<CTBasicSpectator>();
    CTMaterial* material = qiBO_CreateMaterial("Chequered", nullptr);
    if (world && camera && cube && box && spectator && material) {
      world->SetName("World");
      box->SetDimensions(2.0);
      material->SetColor(DColor{1.0f, 1.0f, 1.0f, 1.0f});
      material->SetTexture(MakeTexture().Get());
      cube->SetShape(box.Get());
      cube->SetMaterial(material);
      cube->SetParent(world.Get());
      camera->SetParent(world.Get());
      camera->MoveBack(6.0);
      if (CTEnvironment* environment = qiBO_GetDefaultEnvironment()) {
        environment->SetFogColor(0x101828);
        environment->SetFogDensity(0.0f);
        environment->SetAmbientColor(Vector3(0.25f, 0.25f, 0.25f));
        // The light comes from the upper left, in front of the cube.
        if (CTEntity* light = environment->GetLight())
          light->SetDirection(Vector3(0.5f, -0.6f, 0.6f).Normalized());
      }
      spectator->SetCamera(camera.Get());
      spectator->Enable();
      spectator->RegisterWithService();
      result = Run(cube.Get(), spectator.Get(), snapshot);
      spectator->Disable();
      spectator->UnregisterWithService();
    }
  }
  qiBO_Deinit();
  qibo::ExitForStopSignal();
  return result;
}
