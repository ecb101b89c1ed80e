#pragma once

#include <cstdint>

#include "core/motion/base/CTEntityController.h"
#include "core/motion/base/MotionInfo.h"

// Moves its entity by velocities: once per tick while enabled, the
// position advances by the velocity and the rotation by the angular
// velocity over the elapsed time; then both velocities grow by their
// accelerations (explicit Euler). Its motion record is the source of the
// entity's motion sensor.
class CTMotionController : public CTEntityController {
  QIBO_CLASS(CTMotionController)

 public:
  // velocity, acceleration, angular velocity, angular acceleration (vectors)
  static constexpr uint32_t kChunkID = 0xD1D96334;

  explicit CTMotionController(const char* name = nullptr) : CTEntityController(name) {}

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  MotionInfo_t* GetMotionInfoSource() override { return &m_motion; }

  // Metres per second (squared), radians per second (squared). False,
  // logged, for a vector that is not finite (nothing changes).
  bool SetVelocity(const Vector3& v) { return SetPart(m_motion.velocity, v, "velocity"); }
  bool SetAcceleration(const Vector3& v) { return SetPart(m_motion.acceleration, v, "acceleration"); }
  bool SetAngularVelocity(const Vector3& v) {
    return SetPart(m_motion.angularVelocity, v, "angular velocity");
  }
  bool SetAngularAcceleration(const Vector3& v) {
    return SetPart(m_motion.angularAcceleration, v, "angular acceleration");
  }
  const MotionInfo_t& GetMotionInfo() const { return m_motion; }

  // The timed update (elapsed in milliseconds).
  void Update(int32_t elapsed);

 protected:
  // Needs an entity.
  bool DoEnable() override;
  void DoDisable() override;

 private:
  bool SetPart(Vector3& part, const Vector3& v, const char* what);

  MotionInfo_t m_motion;
};
