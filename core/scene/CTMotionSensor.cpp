#include "core/scene/CTMotionSensor.h"

QIBO_IMPLEMENT_CLASS(CTMotionSensor, CTInterface, .desc = "Motion sensor", .isAbstract = true)
