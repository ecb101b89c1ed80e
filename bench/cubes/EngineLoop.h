#pragma once

#include "bench/cubes/CubeScene.h"
#include "core/devices/DevicePtr.h"
#include "core/geometry/CTBox.h"
#include "core/object/Ref.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"

namespace qibo::cubes {

// The engine's side: RasterDev.plug loaded from pluginDir, a CTDirect3D of
// 640 x 480 shown by a spectator, and per run a scene of engine entities
// (a CTGroup of CTDrawables sharing one CTBox and one textured CTMaterial,
// each with its bounding volume so that the frame culls it against the
// view, a CTCamera, the default environment's light) drawn by qiBO_DoFrame.
// Each frame ends with glFinish on the device's context. batch is the
// device's "BatchDrawing" for the run; the draw calls are its "DrawCalls".
class EngineLoop {
 public:
  ~EngineLoop();
  // Null, or the step that failed.
  const char* Start(const char* pluginDir);
  LoopResult Run(int n, int frames, int warmup, bool batch);
  void Stop();

 private:
  bool m_started = false;
  DevicePtr<CTRenderTarget> m_device;  // holds a use of the device manager's
  Ref<CTBasicSpectator> m_spectator;
  Ref<CTBox> m_box;
  Ref<CTMaterial> m_material;
  Ref<CTTexture> m_texture;
};

}  // namespace qibo::cubes
