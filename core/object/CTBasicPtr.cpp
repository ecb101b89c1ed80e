#include "core/object/CTBasicPtr.h"

QIBO_IMPLEMENT_CLASS(CTBasicPtr, CTBasic, .desc = "Basic Safe Pointer", .isAbstract = true)
