#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

class CTEntity;

// The collision service: entities with a collision volume are registered
// with it, and each frame it tells those that touch (CTEntity::OnCollision).
// Entities look it up only when it is running; without one nothing collides.
//
// Each registered entity has a flags word:
//   0x1          tell the entity of its collisions
//   0x4          tell it with a contact point on its volume (implies 0x1's test)
//   0x10..0x80   collision groups: two entities sharing a group bit are never
//                tested against each other. Group 0x10 is also the static
//                group: its boxes are computed once (and again on 0x400)
//   0x200        left out of the broad phase
//   0x400        the box is to be computed again at the next pass
// An entity is told (flags & 0xF) of a contact found for any pair it is in;
// a pair is tested only when at least one of its entities asks to be told.
class CTCollisionManager : public CTManager {
  QIBO_CLASS(CTCollisionManager)

 public:
  static constexpr uint32_t kReport = 0x1;
  static constexpr uint32_t kReportContact = 0x4;
  static constexpr uint32_t kReportMask = 0xF;
  static constexpr uint32_t kStaticGroup = 0x10;
  static constexpr uint32_t kGroupMask = 0xF0;
  static constexpr uint32_t kExcluded = 0x200;
  static constexpr uint32_t kRecompute = 0x400;

  // Collisions of the entity's pairs; of every pair. Each answers the
  // number of pairs found touching.
  virtual int CheckEntity(CTEntity* entity) = 0;
  virtual int ProcessAll() = 0;
  // Registers an entity's collision volume with the bits of flags that
  // mask selects (CTEntity passes 0 and -1), and with the reports its
  // controller asks for (CTEntityController::GetCollisionReports).
  virtual void AddEntity(CTEntity* entity, uint32_t flags, uint32_t mask) = 0;
  // Whether the entity is told of its collisions (0x1; its controller
  // asks). Turning them off keeps them while the entity's controller still
  // wants them (GetCollisionReports).
  virtual void SetReports(CTEntity* entity, bool on) = 0;
  // The bits of a registered entity's flags that mask selects become those
  // of flags; false when the entity is not registered.
  virtual bool SetEntityFlags(CTEntity* entity, uint32_t flags, uint32_t mask) = 0;
  // A registered entity's flags; 0 when it is not registered.
  virtual uint32_t GetEntityFlags(CTEntity* entity) = 0;
  virtual void RemoveEntity(CTEntity* entity) = 0;
  virtual void RemoveAll() = 0;
  // The broad phase alone: boxes brought up to date, pairs made and
  // dropped (ProcessAll runs it first while "EnableNBody" is on).
  virtual void RunBroadPhase() = 0;
};
