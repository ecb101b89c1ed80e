#pragma once

#include <cstdint>

#include "core/motion/CTDynaController.h"
#include "core/object/CTBasicPtr.h"

// The dynamics of a ball that falls into water: the first time it touches
// the water's surface it bounces off it (the splash, answered by the
// dynamics with the ball's restitution) and joins the surface's collision
// group, so that from then on it passes through the surface and sinks,
// slowed by the water's environment (its density: buoyancy and drag).
class CTSplashController : public CTDynaController {
  QIBO_CLASS(CTSplashController)

 public:
  explicit CTSplashController(const char* name = nullptr) : CTDynaController(name) {}

  // The surface entity and the collision group it is in (a bit of
  // CTCollisionManager::kGroupMask).
  void SetSurface(CTEntity* surface, uint32_t group);
  bool HasSplashed() const { return m_splashed; }

  void OnCollision(CTEntity* other, Vector3* point, Vector3* normal) override;

 private:
  SmartPtr<CTEntity> m_surface;
  uint32_t m_group = 0;
  bool m_splashed = false;
};
