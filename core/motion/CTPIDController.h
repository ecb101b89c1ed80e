#pragma once

#include <cfloat>
#include <cstdint>

#include "core/motion/base/CTController.h"

// A feedback regulator: from the wanted and the measured value it computes
// an actuator value, proportional, integral and derivative, clamped to the
// actuator's bounds. While the output is clamped the integral stands still
// (anti-windup). It registers no update: its owner calls GetActuatorValue
// once per step.
class CTPIDController : public CTController {
  QIBO_CLASS(CTPIDController)

 public:
  static constexpr uint32_t kChunkID = 0x54C495CB;  // KP, KI, KD, ActuatorMin, ActuatorMax (floats)

  explicit CTPIDController(const char* name = nullptr) : CTController(name) {}

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // False, logged, when a gain is not finite (nothing changes).
  bool SetPID(double kp, double ki, double kd);
  // The smaller becomes the minimum; false, logged, for a bound that is NaN.
  bool SetActuatorBounds(double a, double b);
  double GetKP() const { return m_kp; }
  double GetKI() const { return m_ki; }
  double GetKD() const { return m_kd; }
  double GetActuatorMin() const { return m_actuatorMin; }
  double GetActuatorMax() const { return m_actuatorMax; }
  // Whether the last output was clamped.
  bool IsSaturated() const { return m_saturated; }

  // Previous error and integral 0, not saturated.
  void Reset() override;

  // One step of dt seconds. A step of no time (dt <= 0) adds nothing to the
  // integral and has no derivative. Input that is not finite changes
  // nothing and answers the previous output (logged).
  double GetActuatorValue(double dt, double desired, double actual);

 private:
  float m_kp = 1.0f;
  float m_ki = 0.0f;
  float m_kd = 0.0f;
  float m_previousError = 0.0f;
  float m_integral = 0.0f;
  float m_actuatorMin = -FLT_MAX;
  float m_actuatorMax = FLT_MAX;
  bool m_saturated = false;
  double m_lastOutput = 0.0;
};
