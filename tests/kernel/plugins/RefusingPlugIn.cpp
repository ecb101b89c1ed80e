// A plug-in built for another kernel version: its entry refuses the context.
#include "core/kernel/CTPlugInLib.h"
#include "core/kernel/Kernel.h"

extern "C" __attribute__((visibility("default"))) CTPlugInLib* qiBO_DllMain(qiBO_Context* context) {
  if (!context) return nullptr;
  qiBO_Context mine = *context;
  mine.version = 12;
  if (!qiBO_SetContext(&mine)) return nullptr;
  return nullptr;
}
