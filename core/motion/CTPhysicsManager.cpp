#include "core/motion/CTPhysicsManager.h"

QIBO_IMPLEMENT_CLASS(CTPhysicsManager, CTManager, .desc = "Physics Manager", .isAbstract = true)
