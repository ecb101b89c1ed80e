#include "core/render/base/CTMaterialManager.h"

QIBO_IMPLEMENT_CLASS(CTMaterialManager, CTManager, .desc = "Material manager", .isAbstract = true)
