#include "core/kernel/CTEngineManager.h"

QIBO_IMPLEMENT_CLASS(CTEngineManager, CTManager, .desc = "Engine kernel", .build = 1, .isAbstract = true)
