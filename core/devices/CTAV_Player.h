#pragma once

#include "core/devices/CTDevice.h"

// Plays audio and video files.
// Implementations live in plug-ins and programs.
class CTAV_Player : public CTDevice {
  QIBO_CLASS(CTAV_Player)
};
