#pragma once

#include "core/kernel/CTManager.h"

// Loads plug-in libraries and registers the classes they add. A library is
// unloaded at stop only when none of its classes has live objects.
class CTPlugInManager : public CTManager {
  QIBO_CLASS(CTPlugInManager)

 public:
  virtual bool LoadPlugIn(const char* name) = 0;
  virtual void LoadAllPlugIns() = 0;
  virtual int GetPlugInCount() = 0;
  virtual QIBO_String GetPlugInName(int index) = 0;
  // The address of the export name of library index, or null when the
  // index is out of range or the library has no such export. Valid while
  // the library stays loaded: look it up again after any stop.
  virtual void* GetPlugInSymbol(int index, const char* name) = 0;
};
