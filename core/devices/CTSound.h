#pragma once

#include "core/devices/CTDevice.h"

class CTMicrophone;

// The sound hardware that mixes and plays the sound sources.
// Implementations live in plug-ins and programs.
class CTSound : public CTDevice {
  QIBO_CLASS(CTSound)

 public:
  // Where the listener is this frame; a spectator passes its microphone
  // (or null) every active frame.
  virtual void SetListener(CTMicrophone*) {}
};
