#include "core/devices/CTTimer.h"

QIBO_IMPLEMENT_CLASS(CTTimer, CTDevice, .desc = "Timer", .isAbstract = true)

CTTimer::CTTimer() { SetName("Timer"); }

bool CTTimer::Reset() {
  SetTime(0);
  return true;
}
