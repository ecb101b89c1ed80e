#include "core/devices/CTSound.h"

QIBO_IMPLEMENT_CLASS(CTSound, CTDevice, .desc = "Sound Processor", .isAbstract = true)
