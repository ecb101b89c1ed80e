#pragma once

#include <cstdint>

#include "core/motion/base/CTEntityController.h"
#include "core/object/CTBasicPtr.h"

// Keeps its entity facing another entity: once per tick while enabled, the
// entity's forward axis is turned towards the target's world position. The
// target is watched, not held: its deletion clears it, and the controller
// then leaves the entity as it is.
class CTLookAtController : public CTEntityController {
  QIBO_CLASS(CTLookAtController)

 public:
  static constexpr uint32_t kChunkID = 0x930F0F3E;  // ref target

  explicit CTLookAtController(const char* name = nullptr) : CTEntityController(name) {}

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  void SetLookAt(CTEntity* target) { m_target = target; }
  CTEntity* GetLookAt() const { return m_target.Get(); }

  // The timed update. The direction is given in the parent's space, so the
  // entity's world forward axis points at the target whatever its parent's
  // rotation (a locked rotation is already in world space). A target at
  // the entity's own position leaves the direction unchanged.
  void Update(int32_t elapsed);

 protected:
  // Needs an entity and a target.
  bool DoEnable() override;
  void DoDisable() override;

 private:
  SmartPtr<CTEntity> m_target;
};
