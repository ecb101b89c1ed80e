#pragma once

#include "core/devices/CTDevice.h"

struct MotionInfo_t;

// A motion platform that moves its user. Implementations live in plug-ins
// and programs; the base answers as a platform that is always ready and
// never needs homing.
//
// A spectator drives it once per active frame: when NeedsHoming() answers
// true it calls Home(), otherwise it passes the motion its sensor measured
// to Follow(). Park() is called when the spectator gives the platform up.
class CTMotionBase : public CTDevice {
  QIBO_CLASS(CTMotionBase)

 public:
  virtual bool IsReady() { return true; }
  virtual bool NeedsHoming() { return false; }
  virtual void Home() {}
  virtual void Park() {}
  virtual void Follow(const MotionInfo_t*) {}
};
