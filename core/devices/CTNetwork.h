#pragma once

#include "core/devices/CTDevice.h"

// The transport of the networking service: sessions and packets between peers.
// Implementations live in plug-ins and programs.
class CTNetwork : public CTDevice {
  QIBO_CLASS(CTNetwork)
};
