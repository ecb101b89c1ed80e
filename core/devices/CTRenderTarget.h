#pragma once

#include "core/devices/CTDevice.h"

// A surface the render pipeline draws into: a window, a screen or an off-screen picture.
// Implementations live in plug-ins and programs.
class CTRenderTarget : public CTDevice {
  QIBO_CLASS(CTRenderTarget)
};
