#include "core/scene/CTMicrophone.h"

QIBO_IMPLEMENT_CLASS(CTMicrophone, CTEntity, .product = "qiBO 3D", .safeToReceive = true)
