#include "core/render/CTMaterial.h"

QIBO_IMPLEMENT_CLASS(CTMaterial, CTInterface, .desc = "Standard Material", .product = "qiBO 3D")
static_assert(qibo::ClassId("CTMaterial") == 0x6616F21F);
