#pragma once

#include <SDL2/SDL.h>

#include <cstdint>
#include <string>

// The device types the set-up tries, in the order of the fallback chain:
// hardware OpenGL with an accelerated visual, hardware OpenGL of any
// visual, and Mesa's software renderer in place of the software rasteriser.
enum class DDeviceType { kTnLHal, kHal, kRgb, kUnknown };

// What one set-up attempt asks for.
struct DShowRequest {
  bool fullScreen = false;
  int width = 352;
  int height = 278;
  int bits = 0;  // full screen: bits per pixel, 0 for the current mode's
  int display = 0;
  DDeviceType type = DDeviceType::kTnLHal;
};

// The window (or full-screen output) with its OpenGL 3.3 core context. Each
// Open initialises SDL's video subsystem and each Close quits it again, so
// that a failed attempt leaves nothing behind and the next one starts fresh.
class DGlWindow {
 public:
  DGlWindow() = default;
  ~DGlWindow() { Close(); }
  DGlWindow(const DGlWindow&) = delete;
  DGlWindow& operator=(const DGlWindow&) = delete;

  // Opens the output and makes its context current; on failure everything
  // is released and error names the step that failed.
  bool Open(const DShowRequest& request, const char*& error);
  void Close();
  bool IsOpen() const { return m_context != nullptr; }
  bool IsFullScreen() const { return m_fullScreen; }
  uint32_t GetWindowID() const { return m_window ? SDL_GetWindowID(m_window) : 0; }
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  // The size the window has now: a windowed output can be resized by the
  // user, while the picture keeps the size it was opened with.
  void GetDrawableSize(int& width, int& height) const;
  // Whether the driver reports the context lost (reset); false where it
  // cannot tell.
  bool IsContextLost() const;
  // Presents the default framebuffer; vsync only where asked for.
  void Swap(bool waitForRetrace);
  // One line for the user: the current context's OpenGL renderer and
  // version, and whether it is a software renderer.
  static std::string RendererInfo();
  // The number of displays SDL reports; 0 without a video driver.
  static int CountDisplays();
  // Tunes the C library's heap for the GL driver, once per process (every
  // window's set-up calls it); see the definition.
  static void KeepDriverHeap();

 private:
  bool CreateWindow(const DShowRequest& request, const char*& error);
  bool CreateContext(const DShowRequest& request, const char*& error);
  static bool FindMode(const DShowRequest& request, SDL_DisplayMode& mode);

  bool m_videoInit = false;
  bool m_fullScreen = false;
  SDL_Window* m_window = nullptr;
  SDL_GLContext m_context = nullptr;
  int m_width = 0;
  int m_height = 0;
  int m_swapInterval = -1;  // as last set
};
