// qibo setup: shows the settings page of the render device (RasterDev.plug)
// through the property-page service; OK or Apply write the chosen settings
// to the settings file (.\qibo.ini in the working directory), where the
// device reads them the next time it opens.
#include <cstdio>
#include <cstdlib>

#include "core/kernel/CTPropertyPageManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "tools/qibo/Commands.h"

namespace qibo::tool {

int Setup(int argc, char**) {
  if (argc != 0) return 2;
  if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("SDL_VIDEODRIVER")) {
    fprintf(stderr,
            "qibo setup: there is no display to show the settings page on "
            "(DISPLAY and WAYLAND_DISPLAY are unset)\n");
    return 1;
  }
  if (!LoadToolPlugIn("RasterDev.plug")) {
    fprintf(stderr, "qibo setup: RasterDev.plug could not be loaded\n");
    return 1;
  }
  const int logged = qiBO_GetErrorsCount();
  // The service manager stands for the whole system: every page is shown.
  if (!qiBO_ShowPropertyPage(qibo::GetService<CTServiceManager>())) {
    fprintf(stderr, "qibo setup: the settings page could not be shown\n");
    PrintLogSince(logged);
    return 1;
  }
  return 0;
}

}  // namespace qibo::tool
