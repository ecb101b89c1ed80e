#include "core/kernel/CTFrontEndManager.h"

QIBO_IMPLEMENT_CLASS(CTFrontEndManager, CTManager, .desc = "Frontend manager", .isAbstract = true)
