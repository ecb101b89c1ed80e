#include "core/devices/CTHardwareIO.h"

QIBO_IMPLEMENT_CLASS(CTHardwareIO, CTDevice, .desc = "IO Device", .product = "qiBO Devices",
                     .isAbstract = true)
