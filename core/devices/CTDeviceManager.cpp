#include "core/devices/CTDeviceManager.h"

QIBO_IMPLEMENT_CLASS(CTDeviceManager, CTManager, .desc = "Device manager", .isAbstract = true)
