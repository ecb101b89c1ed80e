#include "core/kernel/CTErrorManager.h"

QIBO_IMPLEMENT_CLASS(CTErrorManager, CTManager, .desc = "Error log manager", .isAbstract = true)
