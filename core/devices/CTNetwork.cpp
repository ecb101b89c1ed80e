#include "core/devices/CTNetwork.h"

QIBO_IMPLEMENT_CLASS(CTNetwork, CTDevice, .desc = "Networking Device", .product = "qiBO Devices",
                     .isAbstract = true)
