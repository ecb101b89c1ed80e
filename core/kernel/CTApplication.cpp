#include "core/kernel/CTApplication.h"

#include "core/kernel/EngineApi.h"

QIBO_IMPLEMENT_CLASS(CTApplication, CTManager, .desc = "Application", .isAbstract = true)
QIBO_IMPLEMENT_CLASS(DefaultApplication, CTApplication, .desc = "Default Application", .build = 1)

int DefaultApplication::Run(int, const char**) {
  qiBO_Loop();
  return 0;
}

void DefaultApplication::Quit(int) { qiBO_StopLoop(); }
