#include "tests/demo/scenes/DemoSceneFixture.h"

#include <cstdlib>

#include "core/geometry/CTCollisionManager.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"
#include "core/motion/CTPhysicsManager.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "demo/effects/CTTorus1.h"
#include "demo/effects/CTWaterPlane.h"

namespace qibo::test::scenes {

void DemoSceneFixture::SetUp() {
  ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
  StartLog();
  std::srand(1);
  ASSERT_NE(Updates(), nullptr);
  Tick(0);
}

DefUpdateManager* DemoSceneFixture::Updates() {
  return qibo::Cast<DefUpdateManager>(qibo::GetService<CTUpdateManager>());
}

DefEngineManager* DemoSceneFixture::Engine() {
  return qibo::Cast<DefEngineManager>(qibo::GetService<CTEngineManager>());
}

void DemoSceneFixture::Tick(int32_t elapsed, int n) {
  for (int i = 0; i < n; ++i) {
    Updates()->Tick(elapsed);
    if (auto* collisions = qibo::FindService<CTCollisionManager>()) collisions->ProcessAll();
    if (auto* physics = qibo::FindService<CTPhysicsManager>()) physics->Step(elapsed);
  }
}

std::vector<float> MotionSignature(CTEntity* root) {
  std::vector<float> signature;
  std::vector<CTEntity*> pending{root};
  while (!pending.empty()) {
    CTEntity* entity = pending.back();
    pending.pop_back();
    if (!entity) continue;
    const Vector3& p = entity->GetPosition();
    const Quaternion& q = entity->GetQuat();
    signature.insert(signature.end(), {p.x, p.y, p.z, q.x, q.y, q.z, q.w});
    // Shapes that animate themselves: their phases.
    CTShape* shape = qibo::Cast<CTDrawable>(entity) ? static_cast<CTDrawable*>(entity)->GetShape() : nullptr;
    if (auto* torus = qibo::Cast<CTTorus1>(shape)) signature.push_back(static_cast<float>(torus->GetPhase()));
    if (auto* water = qibo::Cast<CTWaterPlane>(shape))
      signature.push_back(static_cast<float>(water->GetPhaseX()));
    if (auto* group = qibo::Cast<CTGroup>(entity))
      for (int i = 0; i < group->NumChildren(); ++i) pending.push_back(group->GetChild(i));
  }
  return signature;
}

}  // namespace qibo::test::scenes
