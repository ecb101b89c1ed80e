#include "core/devices/CTUserJoystick.h"

QIBO_IMPLEMENT_CLASS(CTUserJoystick, CTJoystick, .desc = "User Joystick", .product = "qiBO Devices")
