#pragma once

#include "core/kernel/CTManager.h"

class CTFrontEnd;

// Keeps the registered front ends and broadcasts notifications to them.
// Each registration holds one anonymous reference on the front end.
class CTFrontEndManager : public CTManager {
  QIBO_CLASS(CTFrontEndManager)

 public:
  // Calls Notify on every registered front end, in registration order.
  virtual void NotifyFrontEnds(CTNamed* from, int msg, void* data) = 0;
  // A front end added twice is listed (and notified) twice.
  virtual void AddFrontEnd(CTFrontEnd* frontEnd) = 0;
  // Drops the first entry for the front end and its reference, which may
  // delete it.
  virtual void RemoveFrontEnd(CTFrontEnd* frontEnd) = 0;
};
