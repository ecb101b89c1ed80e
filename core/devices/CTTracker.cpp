#include "core/devices/CTTracker.h"

QIBO_IMPLEMENT_CLASS(CTTracker, CTDevice, .desc = "Tracker", .isAbstract = true)
