#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

// The registry of class descriptors: every class known to the running
// system, from the core, the plug-ins and the program. Answers lookups by
// ID, by exact name and by a forgiving case-insensitive name, and creates
// objects by ID or name.
class CTClassManager : public CTManager {
  QIBO_CLASS(CTClassManager)

 public:
  // Registers (or counts again) the descriptor and each of its ancestors.
  virtual void RegisterClass(ClassDesc* cd) = 0;
  virtual void UnregisterClass(ClassDesc* cd) = 0;
  virtual ClassDesc* FindClassDesc(uint32_t id) = 0;
  virtual ClassDesc* FindClassDescByName(const char* name) = 0;
  // Three passes: name ignoring case, "CT" + name, description.
  virtual ClassDesc* FindClassDescByNameIC(const char* name) = 0;
  virtual CTBasic* CreateClass(uint32_t id) = 0;
  virtual CTBasic* CreateClassByName(const char* name) = 0;
  virtual CTBasic* CreateClassByNameIC(const char* name) = 0;
  virtual int GetClassDescCount() = 0;
  virtual ClassDesc* GetClassDescNo(int index) = 0;
  // The class name, or the ID as "0x%08X" for an unregistered ID.
  virtual QIBO_String GetClassName(uint32_t id) = 0;
  // 0 for an unregistered name.
  virtual uint32_t GetClassID(const char* name) = 0;
};
