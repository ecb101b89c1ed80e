#pragma once

#include "core/devices/CTDevice.h"

// A motion platform that moves its user.
// Implementations live in plug-ins and programs.
class CTMotionBase : public CTDevice {
  QIBO_CLASS(CTMotionBase)
};
