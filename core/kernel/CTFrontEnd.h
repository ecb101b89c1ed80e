#pragma once

#include <cstdint>

#include "core/object/CTLogged.h"

struct errorstruct_t;

// Front-end notifications: the message IDs passed to Notify, with their data.
constexpr uint32_t kFrontEndInitProgress = 0xFE300001;  // data: int, the number of steps
constexpr uint32_t kFrontEndStepProgress = 0xFE300002;  // data: int, steps done (at least 1 is shown)
constexpr uint32_t kFrontEndEndProgress = 0xFE300003;   // no data
constexpr uint32_t kFrontEndErrorMessage = 0xFE300004;  // data: errorstruct_t*, owned by the error manager

// The user-facing end of the engine: receives progress notifications and
// every record of the error log, and presents them.
//
// A front end registers itself with the front-end manager when it is
// constructed (creating the manager if needed); the manager's reference
// then owns it, so a program may create one and keep no pointer. It is
// released when the manager stops, and unregisters itself on destruction.
class CTFrontEnd : public CTLogged {
  QIBO_CLASS(CTFrontEnd)

 public:
  explicit CTFrontEnd(const char* name = "FrontEnd");
  ~CTFrontEnd() override;
  CTFrontEnd(const CTFrontEnd&) = delete;
  CTFrontEnd& operator=(const CTFrontEnd&) = delete;

  // The record is only valid during the call.
  virtual void ErrorManagerMessage(errorstruct_t* record);
  virtual void InitProgress(int steps);
  virtual void StepProgress(int steps);
  virtual void EndProgress();
  // Dispatches the kFrontEnd... messages to the operations above; other
  // messages are ignored.
  virtual void Notify(CTNamed* from, int msg, void* data);

 protected:
  // Asks the engine to quit with the exit code.
  void QuitApp(int code);
};
