#include "core/devices/CTAV_Player.h"

QIBO_IMPLEMENT_CLASS(CTAV_Player, CTDevice, .desc = "Audio/Video Player", .product = "qiBO Devices",
                     .isAbstract = true)
