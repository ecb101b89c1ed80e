#include "plugins/d3d/DDisplaySet.h"

#include <SDL2/SDL.h>

DDisplaySet DDisplaySet::FromSdl() {
  DDisplaySet set;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return set;
  const int count = SDL_GetNumVideoDisplays();
  for (int d = 0; d < count; ++d) {
    Display display;
    const char* name = SDL_GetDisplayName(d);
    display.name = name ? name : "";
    const int modes = SDL_GetNumDisplayModes(d);
    for (int m = 0; m < modes; ++m) {
      SDL_DisplayMode mode{};
      if (SDL_GetDisplayMode(d, m, &mode) != 0) continue;
      const int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
      if (mode.w > 0 && mode.h > 0 && bits > 0) display.modes.push_back(Mode{mode.w, mode.h, bits});
    }
    set.displays.push_back(std::move(display));
  }
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return set;
}
