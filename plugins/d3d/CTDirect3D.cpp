#include "plugins/d3d/CTDirect3D.h"

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"
#include "core/render/DViewport.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "plugins/d3d/D3DGuids.h"
#include "plugins/d3d/D3DMath.h"
#include "plugins/d3d/DOverlay.h"

QIBO_IMPLEMENT_CLASS(CTDirect3D, CTRenderTarget, .desc = "Direct3D Device", .url = "RasterDev.plug",
                     .product = "qiBO Devices")

namespace {

using qibo::d3d::DeviceTypeOf;
using qibo::d3d::DisplayOf;

constexpr DDeviceType kChain[3] = {DDeviceType::kTnLHal, DDeviceType::kHal, DDeviceType::kRgb};

}  // namespace

CTDirect3D::CTDirect3D() { SetName("Direct3D"); }

CTDirect3D::~CTDirect3D() { Release(); }

void CTDirect3D::DoAddProperties() {
  CTRenderTarget::DoAddProperties();
  const ClassDesc* cd = CTDirect3D::_CD();
  AddProperty(DProperty(m_configurationMode, "ConfigurationMode"), cd);
  AddProperty(DProperty(m_displayNo, "DisplayNo"), cd);
  AddProperty(DProperty(m_fullScreen, "FullScreen"), cd);
  AddProperty(DProperty(m_xRes, "XRes"), cd);
  AddProperty(DProperty(m_yRes, "YRes"), cd);
  AddProperty(DProperty(m_pixelDepth, "PixelDepth"), cd);
  AddProperty(DProperty(m_width, "Width"), cd);
  AddProperty(DProperty(m_height, "Height"), cd);
  AddProperty(DProperty(m_ddrawAdapter, 16, "DDrawAdapter"), cd);
  AddProperty(DProperty(m_d3dDriver, 16, "D3DDriver"), cd);
  AddProperty(DProperty(m_snapshotPath, "SnapshotPath"), cd);
  AddProperty(DProperty(m_waitForVerticalSync, "WaitForVerticalSync"), cd);
  AddProperty(DProperty(m_useWBuffer, "UseWBuffer"), cd);
  AddProperty(DProperty(m_specularHighlights, "SpecularHighlights"), cd);
  AddProperty(DProperty(m_useAutomaticUV, "UseAutomaticUV"), cd);
  AddProperty(DProperty(m_showStatistics, "ShowStatistics"), cd);
  AddProperty(DProperty(m_batchDrawing, "BatchDrawing"), cd);
  AddPropertyRO(DProperty(m_drawCalls, "DrawCalls"), cd);
  AddPropertyRO(DProperty(m_materialSwitches, "MaterialSwitches"), cd);
}

bool CTDirect3D::StartDevice() {
  if (GetDeviceID() != -1) {
    if (GetDeviceID() >= DGlWindow::CountDisplays()) {
      WarningMsg("Invalid display number", 0);
      return false;
    }
    m_displayNo = GetDeviceID();
  }
  return true;
}

bool CTDirect3D::StopDevice() {
  if (IsVisible()) Hide();
  return CTRenderTarget::StopDevice();
}

std::vector<DShowRequest> CTDirect3D::BuildAttempts() const {
  std::vector<DShowRequest> attempts;
  DShowRequest r;
  r.fullScreen = m_fullScreen;
  if (m_configurationMode == 2) {
    r.width = m_fullScreen ? m_xRes : m_width;
    r.height = m_fullScreen ? m_yRes : m_height;
    r.bits = m_fullScreen ? m_pixelDepth : 0;
    r.display = m_fullScreen ? DisplayOf(m_ddrawAdapter) : 0;
    r.type = DeviceTypeOf(m_d3dDriver);
    attempts.push_back(r);
    return attempts;
  }
  if (!m_fullScreen) {
    r.width = m_configurationMode == 1 ? m_width : 352;
    r.height = m_configurationMode == 1 ? m_height : 278;
    for (DDeviceType type : kChain) {
      r.type = type;
      attempts.push_back(r);
    }
    return attempts;
  }
  r.width = m_configurationMode == 1 ? m_xRes : 640;
  r.height = m_configurationMode == 1 ? m_yRes : 480;
  r.display = m_configurationMode == 1 ? m_displayNo : 0;
  const int hardwareBits[3] = {32, 24, 16};
  const int softwareBits[3] = {16, 24, 32};
  for (DDeviceType type : kChain) {
    for (int i = 0; i < 3; ++i) {
      r.type = type;
      r.bits = type == DDeviceType::kRgb ? softwareBits[i] : hardwareBits[i];
      attempts.push_back(r);
    }
  }
  return attempts;
}

bool CTDirect3D::DoShow() {
  Release();
  if (m_fullScreen && m_configurationMode == 1 &&
      (m_displayNo < 0 || m_displayNo >= DGlWindow::CountDisplays()))
    return ErrorMsgF("Display %d does not exist", m_displayNo);
  // Each failed attempt prints its step; the renderer that finally works is
  // named after them, so those lines read as the fallback they are.
  int failed = 0;
  for (const DShowRequest& request : BuildAttempts()) {
    if (SetUp(request)) {
      std::printf("%s%s\n", DGlWindow::RendererInfo().c_str(),
                  failed ? ", after the attempts above failed" : "");
      std::fflush(stdout);
      return true;
    }
    ++failed;
  }
  return false;
}

bool CTDirect3D::SetUp(const DShowRequest& request) {
  const char* step = "Unable to create render-window";
  if (!m_window.Open(request, step)) return Fail(step);
  std::string detail;  // the driver's message, logged by the program already
  if (!m_renderer.Create(request.width, request.height, step, detail)) return Fail(step);
  // OpenGL offers no W buffer: the setting is cleared and the Z buffer used.
  if (m_useWBuffer) m_useWBuffer = false;
  m_overlay = std::make_unique<DOverlay>();
  if (!m_overlay->CreateLogo(request.width, request.height)) WarningMsg("The logo could not be made", 1);
  AddUpdate(qibo::AsUpdate(&CTDirect3D::PumpMessages), 0, -1);
  m_pumping = true;
  m_frames = 0;
  m_lastMeasure = SDL_GetTicks();
  return true;
}

bool CTDirect3D::Fail(const char* step) {
  std::printf("ERROR!!: %s\n", step);
  std::fflush(stdout);
  Release();
  return false;
}

void CTDirect3D::Release() {
  if (m_overlay) m_overlay->DeleteLogo();
  m_overlay.reset();
  m_material = nullptr;
  m_deferred.clear();
  m_batches.Clear();
  if (m_window.IsOpen()) {
    m_textures.Clear();
    m_shapes.Clear();
    m_renderer.Destroy();
  }
  m_backgroundSource = nullptr;
  m_window.Close();
  if (m_pumping) RemoveUpdate(qibo::AsUpdate(&CTDirect3D::PumpMessages));
  m_pumping = false;
  m_context = nullptr;
}

bool CTDirect3D::DoHide() {
  Release();
  return true;
}

void CTDirect3D::PumpMessages(int32_t) {
  bool hide = false;
  SDL_Event event;
  const uint32_t ours = m_window.GetWindowID();
  while (m_window.IsOpen() && SDL_PollEvent(&event)) {
    if (event.type == SDL_QUIT) hide = true;
    if (event.type == SDL_WINDOWEVENT && event.window.windowID == ours &&
        event.window.event == SDL_WINDOWEVENT_CLOSE)
      hide = true;
    if (event.type == SDL_KEYDOWN && (event.key.windowID == ours || event.key.windowID == 0)) {
      if (event.key.keysym.sym == SDLK_ESCAPE) hide = true;
      if (event.key.keysym.sym == SDLK_F12) TakeSnapshot();
    }
  }
  if (hide) Hide();
}

bool CTDirect3D::GetResolution(int& width, int& height) {
  if (!m_window.IsOpen() || !m_renderer.IsCreated()) return false;
  width = m_renderer.GetWidth();
  height = m_renderer.GetHeight();
  return true;
}

LFB* CTDirect3D::GrabLFB(int x, int y, int width, int height) {
  if (!m_renderer.IsCreated()) return nullptr;
  FlushBatches();
  return m_renderer.Grab(x, y, width, height).release();
}

bool CTDirect3D::ShowLFB(LFB* lfb, int x, int y) {
  if (!lfb || !m_renderer.IsCreated()) return false;
  FlushBatches();
  return m_renderer.Show(*lfb, x, y);
}

bool CTDirect3D::Preload(CTTexture* texture) {
  if (!m_renderer.IsCreated() || !texture) return false;
  return m_textures.Get(texture, m_renderer.GetMaxTextureSize()) != 0;
}

void CTDirect3D::PrepareViewport() {
  if (m_renderer.IsCreated()) m_renderer.SetViewport(0, 0, m_renderer.GetWidth(), m_renderer.GetHeight());
}

bool CTDirect3D::BeginScene(DRenderContext* context) {
  // What a scene that did not end gathered would be cleared away below.
  m_batches.Clear();
  m_context = context;
  if (!m_renderer.IsCreated() || !IsVisible() || !context) return false;
  PrepareViewport();
  // The engine looks up the camera's environment only when it draws the
  // scene, after this call; the clear and the fog need this frame's now.
  if (context->camera)
    if (auto* engine = qibo::FindService<CTEngineManager>())
      context->environment = engine->FindEnvironment(context->camera->GetWorldPosition());
  CTEnvironment* environment = context->environment;
  const uint32_t background = environment ? environment->GetFogColor()
                                          : (context->viewport ? context->viewport->GetBackgroundColor() : 0);
  CTTexture* picture = m_backgroundSurface
                           ? m_backgroundSurface.Get()
                           : (context->viewport ? context->viewport->GetBackgroundPicture() : nullptr);
  if (UpdateBackground(picture)) {
    m_renderer.Clear(background, false);
    m_renderer.DrawBackground();
  } else {
    m_renderer.Clear(background, true);
  }
  SetFog(context);
  m_materialSwitches = 0;
  m_drawCalls = 0;
  m_renderer.ResetDrawCalls();
  m_material = nullptr;
  m_deferred.clear();
  SetProjection(context);
  return true;
}

bool CTDirect3D::UpdateBackground(CTTexture* picture) {
  // Without a picture there is no background, also when the one shown was
  // deleted (its safe pointer reads null then, like the new picture).
  if (!picture) {
    m_backgroundSource = nullptr;
    if (m_renderer.HasBackground()) m_renderer.ClearBackground();
    return false;
  }
  if (picture == m_backgroundSource.Get() && picture->LastChange() == m_backgroundChange)
    return m_renderer.HasBackground();
  m_backgroundSource = picture;
  m_backgroundChange = picture->LastChange();
  // A picture that cannot be had (or copied) leaves no background: the
  // frame is cleared to the colour instead.
  bool copied = false;
  if (picture->Lock()) {
    if (const LFB* pixels = picture->GetData()) copied = m_renderer.SetBackground(*pixels);
    picture->Unlock();
  }
  if (!copied) m_renderer.ClearBackground();
  return m_renderer.HasBackground();
}

CTTexture* CTDirect3D::GetBackgroundSurface() {
  if (!m_backgroundSurface) {
    m_backgroundSurface = qibo::Create<CTTexture>();
    if (m_backgroundSurface) m_backgroundSurface->SetName("Background surface");
  }
  return m_backgroundSurface.Get();
}

void CTDirect3D::ReleaseBackgroundSurface() { m_backgroundSurface.Reset(); }

void CTDirect3D::SetFog(DRenderContext* context) {
  CTEnvironment* environment = context->environment;
  m_fogEnabled = environment && environment->HasFog() && context->camera;
  if (!m_fogEnabled) return;
  DGlUniforms& u = m_renderer.Uniforms();
  const uint32_t color = environment->GetFogColor();
  u.fogColor[0] = static_cast<float>((color >> 16) & 0xFF) / 255.0f;
  u.fogColor[1] = static_cast<float>((color >> 8) & 0xFF) / 255.0f;
  u.fogColor[2] = static_cast<float>(color & 0xFF) / 255.0f;
  const float far = context->camera->GetFarDist();
  u.fogRange[0] = (1.0f - environment->GetFogDensity()) * far;
  u.fogRange[1] = far;
}

void CTDirect3D::SetProjection(DRenderContext* context) {
  using namespace qibo::d3d;
  std::memset(m_projection, 0, sizeof(m_projection));
  SetIdentity(m_camera);
  CTCamera* camera = context->camera;
  const float width = static_cast<float>(m_renderer.GetWidth());
  const float height = static_cast<float>(m_renderer.GetHeight());
  if (camera && height > 0.0f) {
    const double t = std::tan(camera->GetFOV() * M_PI / 360.0);
    const float nearDist = camera->GetNearDist();
    const float farDist = camera->GetFarDist();
    const float q = farDist != nearDist ? farDist / (farDist - nearDist) : 1.0f;
    m_projection[0] = std::fabs(t) > 1e-9 ? static_cast<float>(1.0 / t) : 1.0f;
    m_projection[5] = m_projection[0] * width / height;
    m_projection[10] = q;
    m_projection[11] = 1.0f;
    m_projection[14] = -nearDist * q;
    if (context->viewport) {
      FromTransform(context->viewport->GetCameraTransform(), m_camera);
    } else {
      DTransform inverse = camera->GetWorldTransform();
      inverse.Invert();
      FromTransform(inverse, m_camera);
    }
  } else {
    SetIdentity(m_projection);
  }
  std::memset(m_screen, 0, sizeof(m_screen));
  int left = 0, top = 0, right = 0, bottom = 0;
  if (!context->viewport || !context->viewport->GetDeviceRect(left, top, right, bottom) || right == left ||
      bottom == top) {
    left = -static_cast<int>(width) / 2, right = left + static_cast<int>(width);
    top = -static_cast<int>(height) / 2, bottom = top + static_cast<int>(height);
  }
  m_screen[0] = 2.0f / static_cast<float>(right - left);
  m_screen[5] = 2.0f / static_cast<float>(bottom - top);
  m_screen[10] = m_screen[15] = 1.0f;
}

void CTDirect3D::Present() {
  if (!IsVisible() || !m_renderer.IsCreated()) return;
  if (m_window.IsContextLost()) {
    // Everything on the GPU went with the context: set up again, trying the
    // attempts in turn; when none succeeds the output is gone.
    ErrorMsg("The OpenGL context was lost");
    if (!DoShow()) SetVisible(false);
    return;
  }
  if (m_showStatistics) DrawStatistics();
  int width = 0, height = 0;
  m_window.GetDrawableSize(width, height);
  m_renderer.CopyToWindow(width, height);
  m_window.Swap(m_waitForVerticalSync);
  ++m_frame;
  m_shapes.Sweep(m_frame);
}

void CTDirect3D::DrawStatistics() {
  ++m_frames;
  const uint32_t now = SDL_GetTicks();
  const double elapsed = static_cast<double>(now - m_lastMeasure) / 1000.0;
  if (elapsed > 1.0) {
    m_fps = static_cast<double>(m_frames) / elapsed;
    m_frames = 0;
    m_lastMeasure = now;
  }
  char text[256];
  std::snprintf(text, sizeof(text), "%7.02f fps %d mat. %d draws ", m_fps, m_materialSwitches, m_drawCalls);
  DOverlay::DrawText(m_renderer, text, 0xFF50FF);
}
