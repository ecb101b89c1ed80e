#pragma once

#include <cstdint>

#include "core/motion/base/CTController.h"
#include "core/motion/base/MotionInfo.h"

class CTEntity;

// What a controller does when its entity collides.
enum CollisionAction_t : int32_t {
  kCollisionNone = 0,
  kCollisionEnable = 1,
  kCollisionDisable = 2,
};

// A controller bound to one entity. The entity holds the controller (a
// counted reference, CTEntity::SetController); the controller points back
// without one. An entity controller is never enabled without an entity:
// losing it (SetObject(nullptr), the entity's deletion) disables it, so no
// update keeps running for an entity that is gone.
// The class sits below the scene layer because entities hold it; its binding
// to the entity is implemented above it, in core/motion/CTEntityController.cpp.
class CTEntityController : public CTController {
  QIBO_CLASS(CTEntityController)

 public:
  static constexpr uint32_t kChunkID = 0xE176BF29;  // ref entity, int collision action

  explicit CTEntityController(const char* name = nullptr) : CTController(name) {}
  // A copy would claim the entity without it knowing.
  CTEntityController(const CTEntityController&) = delete;
  CTEntityController& operator=(const CTEntityController&) = delete;
  ~CTEntityController() override;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // The motion this controller gives its entity, for the entity's motion
  // sensor; none here.
  virtual MotionInfo_t* GetMotionInfoSource() { return nullptr; }
  // The entity collided: enables or disables this controller as its
  // collision action says.
  virtual void OnCollision(CTEntity* other, Vector3* point, Vector3* normal);
  // The reports of its entity's collisions this controller wants from the
  // collision service (its flag bits): kept by the service when the entity
  // registers after the controller asked. Here 0x1 (told of collisions)
  // while there is a collision action.
  virtual uint32_t GetCollisionReports() const;

  // Binds the controller to e (and makes it e's controller); null unbinds
  // and disables. Unbinding from the old entity comes last: it may drop the
  // last reference on this controller.
  void SetObject(CTEntity* e);
  CTEntity* GetObject() const { return m_entity; }
  // The entity's collisions are reported to it (by a running collision
  // manager) while the action is not kCollisionNone.
  void SetCollisionAction(CollisionAction_t action);
  CollisionAction_t GetCollisionAction() const { return static_cast<CollisionAction_t>(m_collisionAction); }

 private:
  void ReportCollisions(CTEntity* entity, bool on);

  CTEntity* m_entity = nullptr;
  CTBasic* m_entityView = nullptr;  // the same, for the "Entity" property
  int32_t m_collisionAction = kCollisionNone;
};
