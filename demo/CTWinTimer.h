#pragma once

#include <cstdint>

#include "core/devices/CTTimer.h"

// The demo's clock: the operating system's millisecond counter (monotonic,
// 32 bits, wrapping) times an integer speed multiplier, with a pause.
//
// All arithmetic is 32-bit and wraps, as the counter does:
//   raw time  = counter x Multiplier - LastTime
//   time      = PauseTime while paused, else the raw time
// Changing Multiplier while the timer runs is not compensated: the time
// jumps by the counter's value times the change (the engine clamps a frame
// to 1000 ms).
class CTWinTimer : public CTTimer {
  QIBO_CLASS(CTWinTimer)

 public:
  // Named "MultiMedia Timer".
  CTWinTimer();

  int32_t SetTime(int32_t t) override;
  int32_t GetRawTime() override;
  int32_t GetTime() override;
  // Unpauses and sets the time to 0.
  bool Reset() override;
  bool Pause() override;
  bool Continue() override;
  void Sleep(int32_t ms) override;

  // "LastTime", "PauseTime" (DWord, read-only), "Paused", "Multiplier".
  void DoAddProperties() override;

  bool IsPaused() const { return m_paused; }
  int GetMultiplier() const { return m_multiplier; }
  void SetMultiplier(int multiplier) { m_multiplier = multiplier; }

 protected:
  // Device start: Reset().
  bool StartDevice() override;
  // The millisecond counter: CLOCK_MONOTONIC truncated to 32 bits. Tests
  // override it to drive time by hand.
  virtual uint32_t Milliseconds();

 private:
  uint32_t Scaled() { return Milliseconds() * static_cast<uint32_t>(m_multiplier); }

  uint32_t m_lastTime = 0;   // offset subtracted from the scaled counter
  uint32_t m_pauseTime = 0;  // the time frozen by Pause
  bool m_paused = false;
  int m_multiplier = 1;
};
