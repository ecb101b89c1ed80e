#include "core/devices/CTMotionBase.h"

QIBO_IMPLEMENT_CLASS(CTMotionBase, CTDevice, .desc = "Motion Platform", .build = 1, .isAbstract = true)
