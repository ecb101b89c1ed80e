#pragma once

#include "core/devices/CTDevice.h"

// A generic IO box with analog inputs and digital lines. The base versions
// do nothing: no channels, every value 0 or false.
class CTHardwareIO : public CTDevice {
  QIBO_CLASS(CTHardwareIO)

 public:
  virtual int GetACount() { return 0; }
  virtual double GetA(int /*channel*/) { return 0.0; }
  virtual int GetAMax(int /*channel*/) { return 0; }
  virtual bool GetD(int /*channel*/) { return false; }
  virtual void SetD(int /*channel*/, bool /*value*/) {}
};
