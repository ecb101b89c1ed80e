#pragma once

#include <SDL2/SDL.h>

#include <memory>
#include <string>
#include <vector>

class LFB;
struct ImGuiContext;

// A window of its own with an OpenGL 3.3 core context and a Dear ImGui
// context drawing into it (Debian's imgui with its SDL2 and OpenGL 3
// backends), for a settings page. Opening initialises SDL's video
// subsystem, closing quits it again.
//
// While the window is open it takes every SDL event: its own go to ImGui,
// a close request (or SDL's quit on closing the last window) ends the
// page, and the events of other windows (a render window beside it) are
// kept and put back into the queue when it closes.
//
// Frames: NewFrame, the page's ImGui calls, Render, then Present (or
// ReadPixels before Present to see what was drawn).
class DPageWindow {
 public:
  enum class Input { kNone, kClosed, kEscape };

  DPageWindow() = default;
  ~DPageWindow() { Close(); }
  DPageWindow(const DPageWindow&) = delete;
  DPageWindow& operator=(const DPageWindow&) = delete;

  // Whether a user could see a window: SDL's video starts and its driver is
  // neither "offscreen" nor "dummy".
  static bool HasDisplay();

  // Opens the window (centred) and sets ImGui up on it; on failure all is
  // released again and error says which step failed.
  bool Open(const char* title, int width, int height, std::string& error);
  void Close();
  bool IsOpen() const { return m_imgui != nullptr; }

  // Waits up to timeoutMs for an event, then takes all that are queued.
  Input PumpEvents(int timeoutMs);
  void NewFrame();
  void Render();
  void Present();
  // What the last Render drew: the window's pixels, top row first.
  std::unique_ptr<LFB> ReadPixels() const;

 private:
  bool m_videoInit = false;
  SDL_Window* m_window = nullptr;
  SDL_GLContext m_context = nullptr;
  ImGuiContext* m_imgui = nullptr;
  bool m_platformBackend = false;
  bool m_rendererBackend = false;
  std::vector<SDL_Event> m_others;
};
