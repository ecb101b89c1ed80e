#include "core/render/DViewport.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTTexture.h"
#include "core/scene/CTCamera.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// The side planes pass this far outside the eye point.
constexpr float kSideSlack = 0.01f;

// The pair (a, b) ordered, each value clamped to [-1, 1].
void SetPair(float* pair, float a, float b) {
  a = std::clamp(a, -1.0f, 1.0f);
  b = std::clamp(b, -1.0f, 1.0f);
  if (a > b) std::swap(a, b);
  pair[0] = a;
  pair[1] = b;
}

void Order(float* pair) {
  if (pair[0] > pair[1]) std::swap(pair[0], pair[1]);
}

void Order(int* pair) {
  if (pair[0] > pair[1]) std::swap(pair[0], pair[1]);
}

double HalfAngleTan(const CTCamera& camera) { return std::tan(camera.GetFOV() * 0.5 * kPi / 180.0); }

}  // namespace

DViewport::DViewport() { UpdateRenderContext(); }

DViewport::~DViewport() = default;

void DViewport::SetViewportRect(float x1, float y1, float x2, float y2) {
  SetPair(&m_viewportRect[0], x1, x2);
  SetPair(&m_viewportRect[2], y1, y2);
  m_flags = (m_flags | kViewportRectGiven) & ~kDeviceRectValid;
}

void DViewport::SetCameraRect(float hA, float vA, float hB, float vB) {
  SetPair(&m_cameraRect[0], hA, hB);
  SetPair(&m_cameraRect[2], vA, vB);
  m_flags = (m_flags & ~(kDeriveHorizontal | kDeriveVertical)) | kCameraRectValid;
}

void DViewport::SetHorCameraRect(float min, float max) {
  SetPair(&m_cameraRect[0], min, max);
  m_flags = (m_flags & ~(kDeriveHorizontal | kCameraRectValid)) | kDeriveVertical;
}

void DViewport::SetVerCameraRect(float min, float max) {
  SetPair(&m_cameraRect[2], min, max);
  m_flags = (m_flags & ~(kDeriveVertical | kCameraRectValid)) | kDeriveHorizontal;
}

void DViewport::GetViewportRect(float& xMin, float& yMin, float& xMax, float& yMax) const {
  xMin = m_viewportRect[0];
  xMax = m_viewportRect[1];
  yMin = m_viewportRect[2];
  yMax = m_viewportRect[3];
}

void DViewport::GetCameraRect(float& hMin, float& vMin, float& hMax, float& vMax) const {
  hMin = m_cameraRect[0];
  hMax = m_cameraRect[1];
  vMin = m_cameraRect[2];
  vMax = m_cameraRect[3];
}

bool DViewport::GetDeviceRect(int& left, int& top, int& right, int& bottom) {
  if (!UpdateDeviceRect()) return false;
  left = m_deviceRect[0];
  right = m_deviceRect[1];
  top = m_deviceRect[2];
  bottom = m_deviceRect[3];
  return true;
}

bool DViewport::UpdateDeviceResolution() {
  int width = 0;
  int height = 0;
  // A zero size would divide by zero in every conversion below.
  if (!m_device || !m_device->GetResolution(width, height) || width <= 0 || height <= 0) return false;
  m_width = width;
  m_height = height;
  m_xOffset = -(width / 2);
  m_yOffset = -(height / 2);
  return true;
}

bool DViewport::UpdateViewportRect() {
  if (!(m_flags & kViewportRectGiven) && UpdateDeviceResolution()) {
    const auto toUnit = [](int pixel, int offset, int size) { return 2.0f * (pixel - offset) / size - 1.0f; };
    m_viewportRect[0] = toUnit(m_deviceRect[0], m_xOffset, m_width);
    m_viewportRect[1] = toUnit(m_deviceRect[1], m_xOffset, m_width);
    m_viewportRect[2] = toUnit(m_deviceRect[2], m_yOffset, m_height);
    m_viewportRect[3] = toUnit(m_deviceRect[3], m_yOffset, m_height);
    Order(&m_viewportRect[0]);
    Order(&m_viewportRect[2]);
    m_flags |= kViewportRectGiven;
  }
  return (m_flags & kViewportRectGiven) != 0;
}

bool DViewport::UpdateDeviceRect() {
  if (!(m_flags & kDeviceRectValid) && UpdateDeviceResolution()) {
    const auto toPixel = [](float unit, int size, int offset) {
      return static_cast<int>((unit + 1.0f) * 0.5f * static_cast<float>(size) + static_cast<float>(offset));
    };
    m_deviceRect[0] = toPixel(m_viewportRect[0], m_width, m_xOffset);
    m_deviceRect[1] = toPixel(m_viewportRect[1], m_width, m_xOffset);
    m_deviceRect[2] = toPixel(m_viewportRect[2], m_height, m_yOffset);
    m_deviceRect[3] = toPixel(m_viewportRect[3], m_height, m_yOffset);
    Order(&m_deviceRect[0]);
    Order(&m_deviceRect[2]);
    m_flags |= kDeviceRectValid;
  }
  return (m_flags & kDeviceRectValid) != 0;
}

bool DViewport::UpdateCameraRect() {
  if (m_flags & kCameraRectValid) return true;
  if (!m_device || !m_device->IsVisible()) return false;
  const double aspect = m_device->GetAspectRatio();
  if (!(std::fabs(aspect) >= 1e-5)) return false;
  if (m_flags & kDeriveVertical) {
    const float extent = static_cast<float>((m_cameraRect[1] - m_cameraRect[0]) / aspect);
    m_cameraRect[2] = -extent / 2;
    m_cameraRect[3] = extent / 2;
  } else if (m_flags & kDeriveHorizontal) {
    const float extent = static_cast<float>((m_cameraRect[3] - m_cameraRect[2]) * aspect);
    m_cameraRect[0] = -extent / 2;
    m_cameraRect[1] = extent / 2;
  }
  m_flags |= kCameraRectValid;
  return true;
}

bool DViewport::UpdateFrustum() {
  CTCamera* camera = m_camera.Get();
  if (!camera || !UpdateCameraRect()) return false;
  DFrustum& frustum = m_context.frustum;
  if (frustum.NumPlanes() != 6) frustum = DFrustum(6);
  frustum[0] = Plane3{Vector3(0, 0, 1), camera->GetFarDist()};
  frustum[5] = Plane3{Vector3(0, 0, -1), -camera->GetNearDist()};
  frustum.SetMask(0x1Eu);
  frustum.EnablePlane(0, camera->HasFarClip());
  frustum.EnablePlane(5, camera->HasNearClip());
  const double t = HalfAngleTan(*camera);
  const auto side = [t](float value, float x, float y, float z) {
    const double a = std::atan(value * t);
    const float c = static_cast<float>(std::cos(a));
    const float s = static_cast<float>(std::sin(a));
    return Plane3{Vector3(x * c, y * c, z * s), kSideSlack};
  };
  frustum[1] = side(m_cameraRect[0], -1, 0, 1);
  frustum[2] = side(m_cameraRect[1], 1, 0, -1);
  frustum[3] = side(m_cameraRect[3], 0, -1, -1);
  frustum[4] = side(m_cameraRect[2], 0, 1, 1);
  camera->UpdateWorldSpace();
  frustum.Transform(camera->GetWorldTransform());
  camera->SetDerivedValid();
  return true;
}

void DViewport::UpdateViewTransform() {
  CTCamera* camera = m_camera.Get();
  if (!camera) return;
  // The projection needs both camera ranges; complete them first where the
  // target allows, so that the first frame already has the right aspect.
  UpdateCameraRect();
  UpdateDeviceRect();
  camera->UpdateWorldSpace();
  m_cameraTransform = camera->GetWorldTransform();
  m_cameraTransform.ResetDeformation();
  m_cameraTransform.Invert();
  const float width = m_cameraRect[1] - m_cameraRect[0];
  const float height = m_cameraRect[3] - m_cameraRect[2];
  const double t = HalfAngleTan(*camera);
  if (width < 1e-5f || height < 1e-5f || !(std::fabs(t) >= 1e-5)) return;  // no picture to project onto
  const float f = static_cast<float>(1.0 / t);
  const float sx = static_cast<float>(m_deviceRect[1] - m_deviceRect[0]) / width;
  const float sy = static_cast<float>(m_deviceRect[3] - m_deviceRect[2]) / height;
  DTransform projection;
  projection.ScaleTo(Vector3(sx * f, -(sy * f), 1.0f));
  projection.SetPosition(Vector3(static_cast<float>(m_deviceRect[0]) - m_cameraRect[0] * sx,
                                 static_cast<float>(m_deviceRect[2]) - m_cameraRect[2] * sy, 0.0f));
  m_viewTransform.Combine(m_cameraTransform, projection);
}

void DViewport::SetDevice(CTRenderTarget* target) {
  UpdateViewportRect();  // keeps the normalised rectangle across a change of resolution
  if (m_flags & kViewportRectGiven) m_flags &= ~kDeviceRectValid;
  m_device = Ref(target);
  UpdateDeviceResolution();
  UpdateViewTransform();
  UpdateRenderContext();
}

void DViewport::SetBackgroundPicture(CTTexture* picture) { m_picture = picture; }

void DViewport::SetCamera(CTCamera* camera) {
  m_camera = camera;
  UpdateRenderContext();
}

void DViewport::UpdateRenderContext() {
  m_context.camera = m_camera.Get();
  m_context.target = m_device.Get();
  m_context.viewport = this;
}

DRenderContext* DViewport::GetRenderContext() {
  UpdateRenderContext();
  return &m_context;
}

bool DViewport::Render() {
  if (!m_camera || !m_device) return false;
  if (!m_device->IsVisible() && !m_device->Show()) return false;
  // A window may have changed size since the last frame: what was derived
  // from the old size is computed again.
  const int width = m_width;
  const int height = m_height;
  if (UpdateDeviceResolution() && (width != m_width || height != m_height)) {
    if (m_flags & kViewportRectGiven) m_flags &= ~kDeviceRectValid;
    if (m_flags & (kDeriveHorizontal | kDeriveVertical)) m_flags &= ~kCameraRectValid;
  }
  UpdateViewTransform();
  UpdateFrustum();
  UpdateRenderContext();
  std::fill(std::begin(m_context.words), std::end(m_context.words), 0u);
  if (auto* engine = qibo::FindService<CTEngineManager>()) engine->DoRenderContext(&m_context);
  return true;
}
