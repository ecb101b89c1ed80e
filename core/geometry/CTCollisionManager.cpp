#include "core/geometry/CTCollisionManager.h"

QIBO_IMPLEMENT_CLASS(CTCollisionManager, CTManager, .desc = "Collision Manager", .isAbstract = true)
static_assert(qibo::ClassId("CTCollisionManager") == 0x90B90F97);
