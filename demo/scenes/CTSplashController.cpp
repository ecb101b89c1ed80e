#include "demo/scenes/CTSplashController.h"

#include "core/geometry/CTCollisionManager.h"
#include "core/kernel/Kernel.h"
#include "core/scene/CTEntity.h"

QIBO_IMPLEMENT_CLASS(CTSplashController, CTDynaController, .desc = "Splashing ball", .product = "Quarndelion",
                     .build = 1)

void CTSplashController::SetSurface(CTEntity* surface, uint32_t group) {
  m_surface = surface;
  m_group = group & CTCollisionManager::kGroupMask;
}

void CTSplashController::OnCollision(CTEntity* other, Vector3* point, Vector3* normal) {
  // Noted first: this frame's physics step still answers the splash.
  CTDynaController::OnCollision(other, point, normal);
  if (m_splashed || !other || other != m_surface.Get()) return;
  m_splashed = true;
  auto* collisions = qibo::FindService<CTCollisionManager>();
  if (collisions && GetObject()) collisions->SetEntityFlags(GetObject(), m_group, m_group);
}
