#pragma once

#include "core/devices/CTDevice.h"

class LFB;
class CTTexture;
struct DRenderContext;

// A surface the render pipeline draws into: a window, a screen or an
// off-screen picture. Implementations live in plug-ins and programs.
//
// A frame draws each render context between BeginScene and EndScene; the
// engine calls Present once at the start of the next frame for every target
// it drew into. Show and Hide keep the visible flag: a target whose window
// is closed by the user turns invisible by itself.
class CTRenderTarget : public CTDevice {
  QIBO_CLASS(CTRenderTarget)

 public:
  void DoAddProperties() override;

  // Open and close the output (window or screen).
  virtual bool DoShow() = 0;
  virtual bool DoHide() = 0;
  // A new pixel buffer with a rectangle of the current picture (the caller
  // owns it), or null.
  virtual LFB* GrabLFB(int x, int y, int width, int height) = 0;
  virtual bool ShowLFB(LFB* lfb, int x, int y) = 0;
  virtual bool BeginScene(DRenderContext* context) = 0;
  virtual bool EndScene(DRenderContext* context) = 0;
  virtual void Present() = 0;
  // Prepares a texture for drawing; false when the target keeps none.
  virtual bool Preload(CTTexture*) { return false; }
  // The output size in pixels; false when there is none.
  virtual bool GetResolution(int& width, int& height) = 0;
  // Width / height; 0.0 without a resolution or with a zero height.
  virtual double GetAspectRatio();

  // True when the output is (or becomes) visible.
  bool Show();
  // True when the output is hidden afterwards.
  bool Hide();
  bool IsVisible() const { return m_visible; }
  // The whole picture, or null unless visible with a resolution.
  LFB* GrabLFBFullScreen();
  // Shows the output if needed and puts lfb over all of it, rescaling the
  // buffer in place to the resolution first.
  bool ShowLFBFullScreen(LFB* lfb);
  // Preloads the texture of every material the material service holds, so
  // that no frame waits for one when a scene first shows it; the number
  // prepared.
  int PreloadMaterials();

 protected:
  // For targets whose output disappears without Hide (a closed window).
  void SetVisible(bool visible) { m_visible = visible; }

 private:
  bool m_visible = false;
};
