#include "core/devices/CTMusicPlayer.h"

QIBO_IMPLEMENT_CLASS(CTMusicPlayer, CTDevice, .desc = "Music-player", .product = "qiBO Devices",
                     .isAbstract = true)
