#pragma once

#include <cstdint>

#include "core/object/CTBasicPtr.h"
#include "core/object/CountedPtr.h"
#include "core/object/Ref.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/math/DTransform.h"

class CTCamera;
class CTRenderTarget;
class CTTexture;

// One camera shown on a rectangle of one render target. The rectangle is
// kept three ways, each derived from the others on demand:
// - the device rectangle in pixels, with 0 at the target's centre;
// - the viewport rectangle in normalised device coordinates (-1 to 1);
// - the camera rectangle: the part of the camera's image plane shown, where
//   one of the two ranges is given and the other follows from the target's
//   aspect ratio.
// From them and the camera it derives the camera and view transforms and
// the frustum, fills its render context and queues it with the engine.
//
// The viewport holds a counted reference on its target and a safe pointer
// to its camera (which may be deleted at any time).
class DViewport {
 public:
  // Flags: which descriptions are authoritative or up to date.
  static constexpr uint32_t kDeriveHorizontal = 0x01;  // vertical camera range given
  static constexpr uint32_t kDeriveVertical = 0x02;    // horizontal camera range given
  static constexpr uint32_t kCameraRectValid = 0x04;
  static constexpr uint32_t kViewportRectGiven = 0x08;
  static constexpr uint32_t kDeviceRectValid = 0x10;

  DViewport();
  ~DViewport();
  DViewport(const DViewport&) = delete;
  DViewport& operator=(const DViewport&) = delete;

  void SetDevice(CTRenderTarget* target);
  CTRenderTarget* GetDevice() const { return m_device.Get(); }
  void SetCamera(CTCamera* camera);
  CTCamera* GetCamera() const { return m_camera.Get(); }

  // In normalised device coordinates, each value clamped to [-1, 1].
  void SetViewportRect(float x1, float y1, float x2, float y2);
  // Both camera ranges; neither is derived.
  void SetCameraRect(float hA, float vA, float hB, float vB);
  // One range; the other follows from the aspect ratio.
  void SetHorCameraRect(float min, float max);
  void SetVerCameraRect(float min, float max);
  // Left, top, right, bottom in pixels; false while no resolution is known.
  bool GetDeviceRect(int& left, int& top, int& right, int& bottom);
  void GetViewportRect(float& xMin, float& yMin, float& xMax, float& yMax) const;
  void GetCameraRect(float& hMin, float& vMin, float& hMax, float& vMax) const;

  bool UpdateDeviceRect();
  bool UpdateViewportRect();
  // Completes the camera rectangle; needs a visible target with a usable
  // aspect ratio unless both ranges are given.
  bool UpdateCameraRect();
  // The render context's frustum, in world space; false without a camera
  // or a camera rectangle.
  bool UpdateFrustum();
  void UpdateViewTransform();

  DRenderContext* GetRenderContext();
  void SetBackgroundColor(ColorARGB8888 color) { m_background = color | 0xFF000000u; }
  ColorARGB8888 GetBackgroundColor() const { return m_background; }
  // A picture the target shows behind the scene, stretched over the
  // viewport, instead of clearing to a colour. Held with a counted
  // reference.
  void SetBackgroundPicture(CTTexture* picture);
  CTTexture* GetBackgroundPicture() const { return m_picture.Get(); }
  const DTransform& GetCameraTransform() const { return m_cameraTransform; }
  const DTransform& GetViewTransform() const { return m_viewTransform; }
  uint32_t GetFlags() const { return m_flags; }
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }

  // Shows the target if needed, brings transforms and frustum up to date
  // and queues the render context with the running engine. False without a
  // camera or a target, or when the target cannot be shown.
  bool Render();

 private:
  bool UpdateDeviceResolution();
  void UpdateRenderContext();

  int m_width = 640;
  int m_height = 480;
  int m_xOffset = -320;
  int m_yOffset = -240;
  uint32_t m_flags = kDeriveVertical | kViewportRectGiven;
  float m_cameraRect[4] = {-1.0f, 1.0f, -1.0f, 1.0f};    // horizontal min, max, vertical min, max
  float m_viewportRect[4] = {-1.0f, 1.0f, -1.0f, 1.0f};  // x min, x max, y min, y max
  int m_deviceRect[4] = {-320, 320, -240, 240};          // left, right, top, bottom
  Ref<CTRenderTarget> m_device;
  SmartPtr<CTCamera> m_camera;
  DRenderContext m_context;
  ColorARGB8888 m_background = 0xFF000000u;
  CountedPtr<CTTexture> m_picture;
  DTransform m_cameraTransform;
  DTransform m_viewTransform;
};
