#include "core/scene/CTRigidMotionSensor.h"

#include "core/scene/CTEntity.h"

QIBO_IMPLEMENT_CLASS(CTRigidMotionSensor, CTMotionSensor, .desc = "Rigid body motion sensor")

Vector3 CTRigidMotionSensor::GetVel(const Vector3& worldPoint) {
  const MotionInfo_t* motion = GetMotionInfo();
  if (!motion) return Vector3();
  const CTEntity* entity = GetEntity();
  const Vector3 arm = entity ? worldPoint - entity->GetWorldPosition() : Vector3();
  return motion->velocity + motion->angularVelocity.Cross(arm);
}
