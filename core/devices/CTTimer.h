#pragma once

#include <cstdint>

#include "core/devices/CTDevice.h"

// The clock the engine measures frames with. Times are milliseconds in
// 32 bits; they wrap.
class CTTimer : public CTDevice {
  QIBO_CLASS(CTTimer)

 public:
  // Named "Timer".
  CTTimer();

  // Makes the current time t; returns t.
  virtual int32_t SetTime(int32_t t) = 0;
  // The running time, ignoring any pause.
  virtual int32_t GetRawTime() = 0;
  // Frozen while paused, else the running time.
  virtual int32_t GetTime() = 0;
  // SetTime(0); true.
  virtual bool Reset();
  // Freezes the time.
  virtual bool Pause() = 0;
  // Resumes from the frozen time, without the paused interval.
  virtual bool Continue() = 0;
  // Blocks the calling thread for ms milliseconds.
  virtual void Sleep(int32_t ms) = 0;
};
