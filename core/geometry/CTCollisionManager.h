#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

class CTEntity;

// The collision service: entities with a collision volume are registered
// with it, and each frame it tells those that touch (CTEntity::OnCollision).
// Entities look it up only when it is running; without one nothing collides.
class CTCollisionManager : public CTManager {
  QIBO_CLASS(CTCollisionManager)

 public:
  // Collisions of the entity's pairs; of every pair. Each answers the
  // number of pairs found touching.
  virtual int CheckEntity(CTEntity* entity) = 0;
  virtual int ProcessAll() = 0;
  // Registers an entity's collision volume with group and flag bits and a
  // mask (CTEntity passes 0 and -1).
  virtual void AddEntity(CTEntity* entity, uint32_t flags, uint32_t mask) = 0;
  // Whether the entity is told of its collisions (its controller asks).
  virtual void SetReports(CTEntity* entity, bool on) = 0;
  virtual void RemoveEntity(CTEntity* entity) = 0;
  virtual void RemoveAll() = 0;
};
