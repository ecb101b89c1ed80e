#include "core/devices/CTRenderTarget.h"

QIBO_IMPLEMENT_CLASS(CTRenderTarget, CTDevice, .desc = "Render Target", .isAbstract = true)
