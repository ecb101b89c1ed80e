#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

// The message manager: queues messages and periodic updates for named
// objects and delivers them when the engine ticks it, once per frame, with
// the elapsed time. Any thread may add entries; removal, the set operations,
// SendNow and the tick run under the active lock on the ticking thread, and
// callbacks may add and remove entries (their own included).
class CTUpdateManager : public CTManager {
  QIBO_CLASS(CTUpdateManager)

 public:
  // One tick: fires every due entry at most once; a late tick folds the lost
  // time into the callback argument instead of catching up.
  virtual void Tick(int32_t elapsed) = 0;
  virtual void RemoveAll(CTNamed* target) = 0;
  // count: 1 once, n times, -1 until removed.
  virtual void AddUpdate(CTNamed* target, UpdateFn fn, int32_t period, int count) = 0;
  virtual void SetUpdateRemaining(CTNamed* target, UpdateFn fn, int32_t remaining) = 0;
  virtual void RemoveUpdate(CTNamed* target, UpdateFn fn) = 0;
  virtual void RemoveAllUpdates(CTNamed* target) = 0;
  virtual void AddMsg(CTNamed* target, int message, void* data, int32_t delay, int count) = 0;
  virtual void SetMsgRemaining(CTNamed* target, int message, int32_t remaining) = 0;
  virtual void SetMsgData(CTNamed* target, int message, void* data) = 0;
  virtual void RemoveMsg(CTNamed* target, int message) = 0;
  virtual void RemoveAllMsgs(CTNamed* target) = 0;
  // Calls the target's OnMessage at once, under the active lock.
  virtual void SendNow(CTNamed* target, int message, void* data) = 0;
};
