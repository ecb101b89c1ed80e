#include "plugins/d3d/DPageWindow.h"

#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <epoxy/gl.h>
#include <imgui.h>

#include <cstring>

#include "core/render/base/LFB.h"

namespace {

// The window an event belongs to; 0 for events of no window.
uint32_t WindowOf(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      return event.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return event.key.windowID;
    case SDL_TEXTEDITING:
      return event.edit.windowID;
    case SDL_TEXTINPUT:
      return event.text.windowID;
    case SDL_MOUSEMOTION:
      return event.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return event.button.windowID;
    case SDL_MOUSEWHEEL:
      return event.wheel.windowID;
    default:
      return 0;
  }
}

}  // namespace

bool DPageWindow::HasDisplay() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  const bool shown = driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return shown;
}

bool DPageWindow::Open(const char* title, int width, int height, std::string& error) {
  Close();
  auto fail = [&](const char* step) {
    error = std::string(step) + ": " + SDL_GetError();
    Close();
    return false;
  };
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail("Unable to start the video system");
  m_videoInit = true;
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  m_window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                              SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  if (!m_window) return fail("Unable to create the page's window");
  m_context = SDL_GL_CreateContext(m_window);
  if (!m_context || SDL_GL_MakeCurrent(m_window, m_context) != 0)
    return fail("Unable to create the page's OpenGL context");
  SDL_GL_SetSwapInterval(1);  // the page need not draw faster than the screen shows
  m_imgui = ImGui::CreateContext();
  ImGui::SetCurrentContext(m_imgui);
  ImGui::GetIO().IniFilename = nullptr;  // no imgui.ini beside the program
  ImGui::StyleColorsDark();
  m_platformBackend = ImGui_ImplSDL2_InitForOpenGL(m_window, m_context);
  if (!m_platformBackend) return fail("Unable to attach the page to its window");
  m_rendererBackend = ImGui_ImplOpenGL3_Init("#version 330");
  if (!m_rendererBackend) return fail("Unable to set up the page's drawing");
  return true;
}

void DPageWindow::Close() {
  if (m_imgui) {
    ImGui::SetCurrentContext(m_imgui);
    if (m_context) SDL_GL_MakeCurrent(m_window, m_context);
    if (m_rendererBackend) ImGui_ImplOpenGL3_Shutdown();
    if (m_platformBackend) ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext(m_imgui);
    m_imgui = nullptr;
  }
  m_rendererBackend = m_platformBackend = false;
  if (m_context) {
    SDL_GL_MakeCurrent(m_window, nullptr);
    SDL_GL_DeleteContext(m_context);
    m_context = nullptr;
  }
  if (m_window) {
    SDL_DestroyWindow(m_window);
    m_window = nullptr;
  }
  // Another window's events go back to whoever pumps them next.
  for (SDL_Event& event : m_others) SDL_PushEvent(&event);
  m_others.clear();
  if (m_videoInit) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    m_videoInit = false;
  }
}

DPageWindow::Input DPageWindow::PumpEvents(int timeoutMs) {
  if (!IsOpen()) return Input::kClosed;
  ImGui::SetCurrentContext(m_imgui);
  Input input = Input::kNone;
  SDL_Event event;
  bool waited = false;
  while (waited ? SDL_PollEvent(&event) : SDL_WaitEventTimeout(&event, timeoutMs)) {
    waited = true;
    const uint32_t window = WindowOf(event);
    if (window != 0 && window != SDL_GetWindowID(m_window)) {
      m_others.push_back(event);
      continue;
    }
    if (event.type == SDL_QUIT ||
        (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)) {
      input = Input::kClosed;
      continue;
    }
    // Escape cancels the page, unless it ends an edit.
    if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE && !ImGui::GetIO().WantTextInput &&
        input == Input::kNone)
      input = Input::kEscape;
    ImGui_ImplSDL2_ProcessEvent(&event);
  }
  return input;
}

void DPageWindow::NewFrame() {
  if (!IsOpen()) return;
  ImGui::SetCurrentContext(m_imgui);
  SDL_GL_MakeCurrent(m_window, m_context);
  ImGui_ImplOpenGL3_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  ImGui::NewFrame();
}

void DPageWindow::Render() {
  if (!IsOpen()) return;
  ImGui::SetCurrentContext(m_imgui);
  ImGui::Render();
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(m_window, &width, &height);
  glViewport(0, 0, width, height);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}

void DPageWindow::Present() {
  if (IsOpen()) SDL_GL_SwapWindow(m_window);
}

std::unique_ptr<LFB> DPageWindow::ReadPixels() const {
  if (!IsOpen()) return nullptr;
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(m_window, &width, &height);
  auto picture = std::make_unique<LFB>();
  if (!picture->Create(width, height)) return nullptr;
  std::vector<uint32_t> rows(static_cast<size_t>(width) * static_cast<size_t>(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
  // OpenGL's rows run bottom to top.
  for (int y = 0; y < height; ++y)
    std::memcpy(picture->GetRow(y),
                rows.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width),
                static_cast<size_t>(width) * sizeof(uint32_t));
  return picture;
}
