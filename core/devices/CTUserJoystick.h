#pragma once

#include "core/devices/CTJoystick.h"

// A joystick the program feeds itself; as a device it starts and stops
// without any hardware.
class CTUserJoystick : public CTJoystick {
  QIBO_CLASS(CTUserJoystick)
};
