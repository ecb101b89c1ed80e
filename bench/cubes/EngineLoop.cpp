#include "bench/cubes/EngineLoop.h"

#include <epoxy/gl.h>

#include <cmath>
#include <memory>

#include "core/devices/CTDeviceManager.h"
#include "core/geometry/CTBox.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"
#include "core/scene/CTLight.h"

namespace qibo::cubes {

namespace {

bool SetProperty(CTRenderTarget* device, const char* name, const char* value) {
  DProperty& p = device->GetPropertyByName(name);
  if (&p == &DProperty::Null()) return false;
  p.FromString(value);
  return true;
}

Vector3 ToVector(const Vec3& v) { return Vector3(v.x, v.y, v.z); }

void PlaceCamera(CTCamera* camera, int frame, int n) {
  camera->MoveTo(ToVector(CameraAt(frame, n)));
  camera->GetTransformRef().LookAt(Vector3(0, 0, 0));
}

}  // namespace

EngineLoop::~EngineLoop() { Stop(); }

const char* EngineLoop::Start(const char* pluginDir) {
  auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
  if (!plugIns) return "plug-in manager";
  plugIns->GetPropertyByName("PlugInPath").FromString(pluginDir);
  if (!qiBO_LoadPlugIn("RasterDev.plug")) return "loading RasterDev.plug";
  m_started = true;
  auto* devices = qibo::GetService<CTDeviceManager>();
  if (!devices || (!devices->IsStarted() && !devices->Start())) return "device manager";
  m_device = qibo::Cast<CTRenderTarget>(devices->GetDevice("CTDirect3D", -1, false));
  if (!m_device) return "CTDirect3D";
  if (!SetProperty(m_device.Get(), "ConfigurationMode", "1") ||
      !SetProperty(m_device.Get(), "Width", std::to_string(kWidth).c_str()) ||
      !SetProperty(m_device.Get(), "Height", std::to_string(kHeight).c_str()))
    return "device settings";

  auto* engine = qibo::GetService<DefEngineManager>();
  CTEnvironment* environment = engine ? engine->GetDefaultEnvironment() : nullptr;
  CTLight* light = environment ? qibo::Cast<CTLight>(environment->GetLight()) : nullptr;
  if (!light) return "default environment and light";
  environment->SetFogColor(kBackground);
  environment->SetAmbientColor(Vector3(kAmbient, kAmbient, kAmbient));
  light->SetColor(Vector3(1, 1, 1));
  light->SetDirection(Vector3(kLightDir[0], kLightDir[1], kLightDir[2]).Normalized());

  m_box = qibo::Create<CTBox>();
  m_box->SetDimensions(kEdge);
  auto picture = std::make_unique<LFB>(kTextureSize, kTextureSize);
  const std::vector<uint32_t> texels = CheckerTexels();
  for (int y = 0; y < kTextureSize; ++y)
    for (int x = 0; x < kTextureSize; ++x)
      picture->SetPixel(x, y, texels[static_cast<size_t>(y * kTextureSize + x)]);
  m_texture = qibo::Create<CTTexture>();
  m_texture->SetName("Checker");
  if (!m_texture->SetData(std::move(picture))) return "checker texture";
  m_material = qibo::Create<CTMaterial>();
  m_material->SetName("Checker material");
  m_material->m_useDiffuse = true;
  m_material->m_diffuse = Vector3(1, 1, 1);
  m_material->m_useAmbient = true;
  m_material->m_ambient = Vector3(1, 1, 1);
  m_material->SetTexture(m_texture.Get());

  m_spectator = qibo::Create<CTBasicSpectator>();
  m_spectator->SetVideoDevice(m_device.Get());
  if (m_spectator->GetVideoDevice() != m_device.Get()) return "handing the device to the spectator";
  m_spectator->Enable();
  m_spectator->RegisterWithService();
  return nullptr;
}

LoopResult EngineLoop::Run(int n, int frames, int warmup, bool batch) {
  LoopResult result;
  if (!m_spectator) {
    result.error = "not started";
    return result;
  }
  if (!SetProperty(m_device.Get(), "BatchDrawing", batch ? "1" : "0")) {
    result.error = "no \"BatchDrawing\" on the device";
    return result;
  }
  Ref<CTGroup> world = qibo::Create<CTGroup>();
  world->SetName("Cubes");
  Ref<CTCamera> camera = qibo::Create<CTCamera>();
  camera->SetParent(world.Get());
  camera->SetFOV(kFov);
  camera->SetNearDist(kNear);
  camera->SetFarDist(kFar);
  for (const Vec3& position : GridPositions(n)) {
    Ref<CTDrawable> cube = qibo::Create<CTDrawable>();
    cube->SetShape(m_box.Get());
    cube->SetMaterial(m_material.Get());
    cube->MoveTo(ToVector(position));
    cube->CreateBoundingVolume();  // frustum culling
    cube->SetParent(world.Get());
  }
  m_spectator->SetCamera(camera.Get());

  // The spectator opens the device within its first frames; those are not
  // timed either.
  PlaceCamera(camera.Get(), 0, n);
  for (int i = 0; i < 10 && !m_device->IsVisible(); ++i) qiBO_DoFrame();
  for (int i = 0; i < warmup && m_device->IsVisible(); ++i) {
    PlaceCamera(camera.Get(), i, n);
    qiBO_DoFrame();
    glFinish();
  }
  if (!m_device->IsVisible()) {
    result.error = "the device did not show";
  } else {
    const LoopClock clock;
    for (int i = 0; i < frames; ++i) {
      PlaceCamera(camera.Get(), i, n);
      qiBO_DoFrame();
      glFinish();
    }
    clock.Finish(result, frames);
    result.drawCalls = m_device->GetPropertyByName("DrawCalls").ToInt();
    // The device's picture is still there after the present: read it.
    std::unique_ptr<LFB> picture(m_device->GrabLFB(0, kLogoRows, kWidth, kHeight - kLogoRows));
    if (picture) {
      std::vector<uint32_t> pixels(static_cast<size_t>(kWidth * (kHeight - kLogoRows)));
      for (int y = 0; y < kHeight - kLogoRows; ++y)
        for (int x = 0; x < kWidth; ++x)
          pixels[static_cast<size_t>(y * kWidth + x)] = picture->GetPixel(x, y);
      result.coverage = Coverage(pixels);
    }
    result.ok = true;
  }
  m_spectator->SetCamera(nullptr);
  return result;
}

void EngineLoop::Stop() {
  if (!m_started) return;
  if (m_spectator) m_spectator->UnregisterWithService();
  m_spectator = Ref<CTBasicSpectator>();
  m_device.Reset();
  m_material = Ref<CTMaterial>();
  m_texture = Ref<CTTexture>();
  m_box = Ref<CTBox>();
  qiBO_Deinit();
  m_started = false;
}

}  // namespace qibo::cubes
