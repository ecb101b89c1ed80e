#pragma once

#include "core/devices/CTDevice.h"

// A joystick: axes, sliders and buttons. Implementations live in plug-ins
// and programs.
class CTJoystick : public CTDevice {
  QIBO_CLASS(CTJoystick)
};
