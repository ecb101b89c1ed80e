#pragma once

#include "core/object/QIBO_String.h"

// The plug-in API. Each function forwards to the plug-in manager service
// through the library's cached reference (created and started on demand).

// Loads the library PlugInPath + name and registers its classes.
bool qiBO_LoadPlugIn(const char* name);
// Loads every library matching PlugInPath + DefaultPlugIns.
void qiBO_LoadAllPlugIns();
int qiBO_GetPlugInCount();
// The file name of library index; empty when index is out of range.
QIBO_String qiBO_GetPlugInName(int index);

namespace qibo {

// Loads the library a stream names for a class it does not know (the
// class descriptor's URL). A name ending in ".dll", written by the engine's
// Windows ancestors, is looked up as the ".plug" of the same base name.
bool LoadPlugInForClass(const char* url);

}  // namespace qibo
