#pragma once

#include "core/motion/base/MotionInfo.h"
#include "core/object/CTInterface.h"

class CTEntity;

// Measures the motion of one entity: its controller's motion record when the
// controller gives one. The core has no concrete sensor; a plug-in or a
// later part of the engine registers one, and CTEntity::RequestMotionSensor
// makes it from the first registered concrete class.
class CTMotionSensor : public CTInterface {
  QIBO_CLASS(CTMotionSensor)

 public:
  explicit CTMotionSensor(const char* name = nullptr) : CTInterface(name) {}

  virtual void SetEntity(CTEntity* entity) { m_entity = entity; }
  CTEntity* GetEntity() const { return m_entity; }
  // Where the motion comes from (not owned); null when nobody says.
  virtual void SetMotionInfoSource(MotionInfo_t* source) { m_source = source; }
  virtual const MotionInfo_t* GetMotionInfo() { return m_source; }
  // The velocity of a world point moving with the entity, in metres per
  // second.
  virtual Vector3 GetVel(const Vector3& worldPoint) = 0;

 private:
  CTEntity* m_entity = nullptr;
  MotionInfo_t* m_source = nullptr;
};
