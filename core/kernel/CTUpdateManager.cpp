#include "core/kernel/CTUpdateManager.h"

QIBO_IMPLEMENT_CLASS(CTUpdateManager, CTManager, .desc = "Message manager", .isAbstract = true)
