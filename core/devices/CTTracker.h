#pragma once

#include "core/devices/CTDevice.h"

// A position and orientation tracker.
// Implementations live in plug-ins and programs.
class CTTracker : public CTDevice {
  QIBO_CLASS(CTTracker)
};
