#include "core/devices/CTJoystick.h"

// The ID is a fixed constant, not the CRC of the name: streams and settings
// already use it.
QIBO_IMPLEMENT_CLASS(CTJoystick, CTDevice, .desc = "Joystick", .product = "qiBO Devices", .isAbstract = true,
                     .fixedId = 0x2EAD8394)
