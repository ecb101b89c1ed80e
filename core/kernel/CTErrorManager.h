#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

// One logged message, owned by the error manager.
struct errorstruct_t {
  CTBasic* object;    // who reported it; null once that object is deleted
  uint32_t classID;   // the reporter's class ID, 0 without one
  uint32_t code;      // severity code or the code given to ErrorCode
  char message[256];  // NUL-terminated
};

// The error log: keeps a bounded list of message records and hands each new
// one to the front ends.
class CTErrorManager : public CTManager {
  QIBO_CLASS(CTErrorManager)

 public:
  virtual void ErrorCode(uint32_t code, CTBasic* object) = 0;
  virtual void Info(const char* text, CTBasic* object) = 0;
  virtual void Warning(const char* text, CTBasic* object) = 0;
  virtual void Error(const char* text, CTBasic* object) = 0;
  virtual int GetErrorsCount() = 0;
  // Record i, oldest first; null outside 0..count-1.
  virtual errorstruct_t* GetErrorNo(int i) = 0;
};
