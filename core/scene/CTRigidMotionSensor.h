#pragma once

#include "core/scene/CTMotionSensor.h"

// The motion sensor of a rigid body: the entity moves as its controller's
// motion record says (velocity and angular velocity, both in world
// coordinates, about the entity's origin), so a world point p that moves
// with it has the velocity
//   v + w x (p - origin).
// Without a record the entity is taken to stand still. Entities make it on
// request (CTEntity::RequestMotionSensor); springs read their ends with it.
class CTRigidMotionSensor : public CTMotionSensor {
  QIBO_CLASS(CTRigidMotionSensor)

 public:
  explicit CTRigidMotionSensor(const char* name = nullptr) : CTMotionSensor(name) {}

  Vector3 GetVel(const Vector3& worldPoint) override;
};
