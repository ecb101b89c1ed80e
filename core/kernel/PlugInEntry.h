#pragma once

#include "core/kernel/CTPlugInLib.h"
#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"

// The entry every plug-in exports, undecorated, as qiBO_DllMain. In the
// plug-in's source:  QIBO_PLUGIN_ENTRY(MyPlugInLib)
//
// The entry refuses (null) a context that is not this kernel's; otherwise it
// creates the library object once and returns it. The library's static
// destruction, when the kernel unloads it, releases that object, whose
// destructor unregisters the plug-in's classes while its code is loaded.
#define QIBO_PLUGIN_ENTRY(LibClass)                                                                    \
  namespace {                                                                                          \
  Ref<CTPlugInLib> g_plugInLib;                                                                        \
  }                                                                                                    \
  extern "C" __attribute__((visibility("default"))) CTPlugInLib* qiBO_DllMain(qiBO_Context* context) { \
    if (!context || !qiBO_SetContext(context)) return nullptr;                                         \
    if (!g_plugInLib) g_plugInLib = Ref<CTPlugInLib>(new LibClass());                                  \
    return g_plugInLib.Get();                                                                          \
  }
