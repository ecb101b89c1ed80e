#include "core/persist/cache/CTSceneCacheManager.h"

QIBO_IMPLEMENT_CLASS(CTSceneCacheManager, CTManager, .desc = "Scene cache manager", .isAbstract = true)
