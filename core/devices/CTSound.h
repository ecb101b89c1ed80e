#pragma once

#include "core/devices/CTDevice.h"

// The sound hardware that mixes and plays the sound sources.
// Implementations live in plug-ins and programs.
class CTSound : public CTDevice {
  QIBO_CLASS(CTSound)
};
