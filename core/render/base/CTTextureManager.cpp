#include "core/render/base/CTTextureManager.h"

QIBO_IMPLEMENT_CLASS(CTTextureManager, CTManager, .desc = "Texture manager", .isAbstract = true)
static_assert(qibo::ClassId("CTTextureManager") == 0xB91480CE);
