#include "plugins/d3d/DGlWindow.h"

#include <epoxy/gl.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

// Mesa's software renderers; a hardware device type refuses them.
bool IsSoftwareRenderer() {
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  if (!renderer) return true;
  return std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe") ||
         std::strstr(renderer, "Software Rasterizer");
}

}  // namespace

bool DGlWindow::Open(const DShowRequest& request, const char*& error) {
  Close();
  if (request.type == DDeviceType::kUnknown) {
    error = "Unable to create Direct3D7 device";
    return false;
  }
  // Mesa reads this when its driver starts, at the first window; the
  // user's own setting comes back afterwards.
  const bool software = request.type == DDeviceType::kRgb;
  const char* before = software ? std::getenv("LIBGL_ALWAYS_SOFTWARE") : nullptr;
  const std::string saved = before ? before : "";
  if (software) setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  const bool ok = CreateWindow(request, error) && CreateContext(request, error);
  if (software)
    before ? setenv("LIBGL_ALWAYS_SOFTWARE", saved.c_str(), 1) : unsetenv("LIBGL_ALWAYS_SOFTWARE");
  if (!ok) Close();
  return ok;
}

bool DGlWindow::FindMode(const DShowRequest& request, SDL_DisplayMode& mode) {
  const int count = SDL_GetNumDisplayModes(request.display);
  for (int i = 0; i < count; ++i) {
    if (SDL_GetDisplayMode(request.display, i, &mode) != 0) continue;
    const int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
    if (mode.w == request.width && mode.h == request.height && (request.bits == 0 || bits == request.bits))
      return true;
  }
  return false;
}

// A software rasteriser (Mesa's llvmpipe) allocates and frees blocks of
// megabytes every frame: vertex data, bins, its scene. With glibc's defaults
// each frame gives them back to the kernel (the heap top trimmed, large
// blocks unmapped) and the next frame faults them in again page by page,
// which costs the drawing thread a millisecond or more a frame (brk and
// munmap calls, page faults, pages cleared). Blocks up to 32 MiB now come
// from the heap, and the heap keeps up to 64 MiB of free top (growing
// 16 MiB at a time) instead of trimming it: at most some tens of megabytes
// more resident memory. The setting is process-wide and made once, before
// the first context; with a hardware driver it only keeps freed memory in
// the process a little longer.
void DGlWindow::KeepDriverHeap() {
#if defined(__GLIBC__)
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
  });
#endif
}

bool DGlWindow::CreateWindow(const DShowRequest& request, const char*& error) {
  KeepDriverHeap();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = "Unable to create DirectDraw object";
    return false;
  }
  m_videoInit = true;
  if (request.display < 0 || request.display >= SDL_GetNumVideoDisplays()) {
    error = "Unable to create DirectDraw object";
    return false;
  }
  if (request.width <= 0 || request.height <= 0 || request.width > 16384 || request.height > 16384) {
    error = request.fullScreen ? "Unable to set display mode" : "Unable to create render-window";
    return false;
  }
  SDL_DisplayMode mode{};
  if (request.fullScreen && !FindMode(request, mode)) {
    error = "Unable to set display mode";
    return false;
  }
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  if (request.type == DDeviceType::kTnLHal) SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
  const int x = request.fullScreen ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED_DISPLAY(request.display)) : 20;
  const int y = request.fullScreen ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED_DISPLAY(request.display)) : 20;
  const uint32_t flags = SDL_WINDOW_OPENGL | (request.fullScreen ? SDL_WINDOW_FULLSCREEN
                                                                 : SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
  m_window = SDL_CreateWindow("D3D Window", x, y, request.width, request.height, flags);
  if (!m_window) {
    error = "Unable to create render-window";
    return false;
  }
  if (request.fullScreen && SDL_SetWindowDisplayMode(m_window, &mode) != 0) {
    error = "Unable to set display mode";
    return false;
  }
  m_fullScreen = request.fullScreen;
  m_width = request.width;
  m_height = request.height;
  SDL_RaiseWindow(m_window);
  return true;
}

bool DGlWindow::CreateContext(const DShowRequest& request, const char*& error) {
  // Asked to report a reset (a lost context) where the platform can; a
  // driver that refuses the request gets the plain context instead.
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_LOSE_CONTEXT);
  m_context = SDL_GL_CreateContext(m_window);
  if (!m_context) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION, SDL_GL_CONTEXT_RESET_NO_NOTIFICATION);
    m_context = SDL_GL_CreateContext(m_window);
  }
  if (!m_context || SDL_GL_MakeCurrent(m_window, m_context) != 0) {
    error = "Unable to create Direct3D7 device";
    return false;
  }
  if (epoxy_gl_version() < 33 || epoxy_is_desktop_gl() == 0) {
    error = "Unable to create Direct3D7 device";
    return false;
  }
  if (request.type != DDeviceType::kRgb && IsSoftwareRenderer()) {
    error = "Unable to create Direct3D7 device";
    return false;
  }
  return true;
}

void DGlWindow::GetDrawableSize(int& width, int& height) const {
  width = m_width;
  height = m_height;
  if (m_window) SDL_GL_GetDrawableSize(m_window, &width, &height);
}

std::string DGlWindow::RendererInfo() {
  auto text = [](GLenum name) {
    const auto* value = reinterpret_cast<const char*>(glGetString(name));
    return std::string(value ? value : "unknown");
  };
  return "Renderer: " + text(GL_RENDERER) + ", OpenGL " + text(GL_VERSION) +
         (IsSoftwareRenderer() ? " (a software renderer)" : " (hardware)");
}

void DGlWindow::Close() {
  if (m_context) {
    SDL_GL_MakeCurrent(m_window, nullptr);
    SDL_GL_DeleteContext(m_context);
    m_context = nullptr;
  }
  if (m_window) {
    SDL_DestroyWindow(m_window);
    m_window = nullptr;
  }
  if (m_videoInit) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    m_videoInit = false;
  }
  m_fullScreen = false;
  m_width = m_height = 0;
  m_swapInterval = -1;
}

void DGlWindow::Swap(bool waitForRetrace) {
  if (!m_window || !m_context) return;
  const int interval = waitForRetrace && m_fullScreen ? 1 : 0;
  if (interval != m_swapInterval) SDL_GL_SetSwapInterval(interval);
  m_swapInterval = interval;
  SDL_GL_SwapWindow(m_window);
}

bool DGlWindow::IsContextLost() const {
  if (!m_context) return false;
  if (epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_KHR_robustness"))
    return glGetGraphicsResetStatus() != GL_NO_ERROR;
  if (epoxy_has_gl_extension("GL_ARB_robustness")) return glGetGraphicsResetStatusARB() != GL_NO_ERROR;
  return false;
}

int DGlWindow::CountDisplays() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
  const int count = SDL_GetNumVideoDisplays();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return count < 0 ? 0 : count;
}
