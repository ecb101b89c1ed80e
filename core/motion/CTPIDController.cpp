#include "core/motion/CTPIDController.h"

#include <algorithm>
#include <cmath>

#include "core/kernel/Logging.h"
#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTPIDController, CTController, .desc = "PID Controller", .product = "qiboCore",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTPIDController") == 0x54C495CB);

namespace {

bool Finite(double a, double b, double c) { return std::isfinite(a) && std::isfinite(b) && std::isfinite(c); }

// A double as a float field, kept finite: beyond the float range it is the
// largest float of its sign.
float ToFloat(double v) { return static_cast<float>(std::clamp(v, -double{FLT_MAX}, double{FLT_MAX})); }

}  // namespace

void CTPIDController::DoAddProperties() {
  CTController::DoAddProperties();
  const ClassDesc* cd = CTPIDController::_CD();
  AddProperty(DProperty(m_kp, "KP"), cd);
  AddProperty(DProperty(m_ki, "KI"), cd);
  AddProperty(DProperty(m_kd, "KD"), cd);
  AddProperty(DProperty(m_actuatorMin, "ActuatorMin"), cd);
  AddProperty(DProperty(m_actuatorMax, "ActuatorMax"), cd);
}

void CTPIDController::OnPropertyChanged(DProperty& property) {
  // Written from outside: the same checks as the setters. A refused value
  // falls back to the default.
  if (property.ID() == &m_kp || property.ID() == &m_ki || property.ID() == &m_kd) {
    if (!SetPID(m_kp, m_ki, m_kd))
      SetPID(std::isfinite(m_kp) ? m_kp : 1.0, std::isfinite(m_ki) ? m_ki : 0.0,
             std::isfinite(m_kd) ? m_kd : 0.0);
  } else if (property.ID() == &m_actuatorMin || property.ID() == &m_actuatorMax) {
    SetActuatorBounds(std::isnan(m_actuatorMin) ? -FLT_MAX : m_actuatorMin,
                      std::isnan(m_actuatorMax) ? FLT_MAX : m_actuatorMax);
  }
  CTController::OnPropertyChanged(property);
}

bool CTPIDController::SetPID(double kp, double ki, double kd) {
  if (!Finite(kp, ki, kd)) {
    qiBO_Error(QIBO_String::Format("%s: gains %g, %g, %g refused", GetName(), kp, ki, kd).c_str(), this);
    return false;
  }
  m_kp = ToFloat(kp);
  m_ki = ToFloat(ki);
  m_kd = ToFloat(kd);
  return true;
}

bool CTPIDController::SetActuatorBounds(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) {
    qiBO_Error(QIBO_String::Format("%s: actuator bounds %g, %g refused", GetName(), a, b).c_str(), this);
    return false;
  }
  m_actuatorMin = ToFloat(std::min(a, b));
  m_actuatorMax = ToFloat(std::max(a, b));
  return true;
}

void CTPIDController::Reset() {
  m_previousError = 0.0f;
  m_integral = 0.0f;
  m_saturated = false;
}

double CTPIDController::GetActuatorValue(double dt, double desired, double actual) {
  if (!Finite(dt, desired, actual)) {
    qiBO_Error(QIBO_String::Format("%s: step %g with wanted %g and measured %g ignored", GetName(), dt,
                                   desired, actual)
                   .c_str(),
               this);
    return m_lastOutput;
  }
  const double e = desired - actual;
  if (!m_saturated && dt > 0.0) m_integral = ToFloat(m_integral + e * dt);
  const double derivative = dt > 0.0 ? (e - m_previousError) / dt : 0.0;
  m_previousError = ToFloat(e);
  // A term whose gain is 0 adds nothing, even beside an infinite rate.
  const double dTerm = m_kd != 0.0f ? m_kd * derivative : 0.0;
  double u = m_integral * double{m_ki} + dTerm + m_kp * e;
  if (std::isnan(u)) u = 0.0;  // opposite infinite terms: no direction wins
  m_saturated = u < m_actuatorMin || u > m_actuatorMax;
  m_lastOutput = std::clamp(u, double{m_actuatorMin}, double{m_actuatorMax});
  return m_lastOutput;
}

// 0x54C495CB  float KP, KI, KD, ActuatorMin, ActuatorMax

void CTPIDController::WriteToStream(Stream* stream, uint32_t flags) {
  CTController::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  for (float value : {m_kp, m_ki, m_kd, m_actuatorMin, m_actuatorMax}) stream->WriteFloat(value);
  stream->EndChunk();
}

bool CTPIDController::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTController::ProcessChunk(stream, chunkID);
  const double kp = stream->ReadFloat(), ki = stream->ReadFloat(), kd = stream->ReadFloat();
  const double a = stream->ReadFloat(), b = stream->ReadFloat();
  SetPID(kp, ki, kd);
  SetActuatorBounds(a, b);
  return true;
}
