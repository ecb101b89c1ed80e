#include "tests/motion/PhysicsFixture.h"

#include "core/geometry/CTBox.h"
#include "core/geometry/CTSphere.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"

namespace qibo::test {

void PhysicsFixture::SetUp() {
  MotionFixture::SetUp();
  ASSERT_NE(qibo::GetService<CTEngineManager>(), nullptr);
  ASSERT_NE(Collisions(), nullptr);
  ASSERT_NE(Physics(), nullptr);
  ASSERT_NE(World(), nullptr);
}

DefPhysicsManager* PhysicsFixture::Physics() {
  return qibo::Cast<DefPhysicsManager>(qibo::GetService<CTPhysicsManager>());
}

CTCollisionManager* PhysicsFixture::Collisions() { return qibo::GetService<CTCollisionManager>(); }

CTEnvironment* PhysicsFixture::World() {
  return qibo::GetService<CTEngineManager>()->GetDefaultEnvironment();
}

void PhysicsFixture::Step(int32_t ms, int n) {
  for (int i = 0; i < n; ++i) {
    Collisions()->ProcessAll();
    Physics()->Step(ms);
  }
}

CTEntity* PhysicsFixture::Body(const char* name, Vector3 at, CTShape* volume) {
  CTEntity* entity = Make<CTEntity>(name);
  entity->MoveTo(at);
  if (volume) entity->SetCollisionVolume(volume);
  return entity;
}

CTDynaController* PhysicsFixture::Dynamics(CTEntity* entity, double mass) {
  CTDynaController* dynamics = Make<CTDynaController>("dynamics");
  EXPECT_TRUE(dynamics->SetMass(mass));
  dynamics->SetObject(entity);
  EXPECT_TRUE(dynamics->Enable());
  return dynamics;
}

CTShape* PhysicsFixture::BoxVolume(Vector3 size) {
  CTBox* box = Make<CTBox>("box");
  box->SetDimensions(size);
  return box;
}

CTShape* PhysicsFixture::BallVolume(double radius) {
  CTSphere* ball = Make<CTSphere>("ball");
  ball->SetRadius(radius);
  return ball;
}

}  // namespace qibo::test
