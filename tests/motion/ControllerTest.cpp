// Controllers: their timed update, the key-frame flight, look-at, the PID
// regulator, the motion integrator, collisions, the end of an entity, and
// stream records.
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "core/geometry/CTCollisionManager.h"
#include "core/kernel/Kernel.h"
#include "core/motion/CTKeyFrameController.h"
#include "core/motion/CTLookAtController.h"
#include "core/motion/CTMotionController.h"
#include "core/motion/CTPIDController.h"
#include "core/scene/CTGroup.h"
#include "tests/motion/MotionFixture.h"

// A collision service that only records what it is asked to report.
class RecordingCollisions : public CTCollisionManager {
  QIBO_CLASS(RecordingCollisions)

 public:
  int CheckEntity(CTEntity*) override { return 0; }
  int ProcessAll() override { return 0; }
  void AddEntity(CTEntity*, uint32_t, uint32_t) override {}
  void SetReports(CTEntity* entity, bool on) override { reports.emplace_back(entity, on); }
  bool SetEntityFlags(CTEntity*, uint32_t, uint32_t) override { return false; }
  uint32_t GetEntityFlags(CTEntity*) override { return 0; }
  void RemoveEntity(CTEntity*) override {}
  void RemoveAll() override {}
  void RunBroadPhase() override {}
  std::vector<std::pair<CTEntity*, bool>> reports;
};
QIBO_IMPLEMENT_CLASS(RecordingCollisions, CTCollisionManager, .desc = "Recording collision service")

namespace {

using qibo::test::ExpectNear;
using qibo::test::ExpectSameRotation;
using ControllerTest = qibo::test::MotionFixture;

constexpr float kPi = std::numbers::pi_v<float>;

std::vector<float> Placement(CTEntity* e) {
  const Vector3& p = e->GetPosition();
  const Quaternion& q = e->GetQuat();
  return {p.x, p.y, p.z, q.x, q.y, q.z, q.w};
}

// Each entity controller, ready but for its entity; the next update after
// a change of the target moves the entity if it runs.
Ref<CTEntityController> MakeKind(int kind, CTEntity* target) {
  if (kind == 0) {
    Ref<CTKeyFrameController> c = qibo::Create<CTKeyFrameController>();
    c->GetPositionTrack()->SetValue(0, {0, 0, 0});
    c->GetPositionTrack()->SetValue(100000, {100000, 0, 0});
    return Ref<CTEntityController>(std::move(c));
  }
  if (kind == 1) {
    Ref<CTLookAtController> c = qibo::Create<CTLookAtController>();
    c->SetLookAt(target);
    return Ref<CTEntityController>(std::move(c));
  }
  Ref<CTMotionController> c = qibo::Create<CTMotionController>();
  c->SetVelocity({1, 0, 0});
  return Ref<CTEntityController>(std::move(c));
}

TEST_F(ControllerTest, EnableDisable_RegistersAndRemovesExactlyOneUpdate) {
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    CTEntity* target = Make<CTEntity>("target");
    target->MoveTo({0, 0, 10});
    Ref<CTEntityController> c = MakeKind(kind, target);
    EXPECT_FALSE(c->Enable()) << "no entity";
    EXPECT_EQ(Updates()->GetPendingCount(), 0);
    CTEntity* entity = Make<CTEntity>("driven");
    c->SetObject(entity);
    ASSERT_EQ(entity->GetController(), c.Get());
    ASSERT_TRUE(c->Enable());
    EXPECT_TRUE(c->Enable());
    EXPECT_EQ(Updates()->GetPendingCount(), 1);
    Tick(100);
    target->MoveBy({1, 2, 3});
    std::vector<float> placed = Placement(entity);
    Tick(100);
    EXPECT_NE(Placement(entity), placed) << "runs while enabled";

    c->Disable();
    c->Disable();
    EXPECT_FALSE(c->IsEnabled());
    EXPECT_EQ(Updates()->GetPendingCount(), 0);
    target->MoveBy({1, 2, 3});
    placed = Placement(entity);
    Tick(100);
    EXPECT_EQ(Placement(entity), placed) << "still while disabled";
    ASSERT_TRUE(c->Enable());
    EXPECT_EQ(Updates()->GetPendingCount(), 1);

    // Unbound, or its entity gone: the controller stops and lets go.
    c->SetObject(nullptr);
    EXPECT_FALSE(c->IsEnabled());
    EXPECT_EQ(entity->GetController(), nullptr);
    Ref<CTEntity> doomed = qibo::Create<CTEntity>();
    c->SetObject(doomed.Get());
    ASSERT_TRUE(c->Enable());
    doomed.Reset();
    EXPECT_FALSE(c->IsEnabled());
    EXPECT_EQ(c->GetObject(), nullptr);
    Tick(100);
  }
}

TEST_F(ControllerTest, KeyFrame_CameraFlightCutJumpsWithinOneFrame) {
  CTEntity* camera = Make<CTEntity>("camera");
  Ref<CTKeyFrameController> flight = qibo::Create<CTKeyFrameController>();
  const std::pair<int32_t, Vector3> path[] = {{0, {0, 150, -80}},       {10000, {0, 150, -40}},
                                              {20000, {-30, 110, -80}}, {55000, {-30, 110, -40}},
                                              {55100, {200, 20, 300}},  {60000, {200, 20, 340}}};
  for (const auto& [t, p] : path) flight->GetPositionTrack()->SetValue(t, p);
  flight->GetRotationTrack()->SetValue(10000, Quaternion::Identity());
  flight->GetRotationTrack()->SetValue(20000, Quaternion::RotationAz(kPi / 2));
  flight->SetObject(camera);
  ASSERT_TRUE(flight->Enable());

  // Frames of 100 ms: frame k shows local time 100 k.
  std::vector<Vector3> shown;
  for (int32_t t = 0; t <= 60000; t += 100) {
    Tick(100);
    shown.push_back(camera->GetPosition());
    if (t == 5000) ExpectNear(camera->GetPosition(), {0, 150, -60});
    if (t == 15000) ExpectSameRotation(camera->GetQuat(), Quaternion::RotationAz(kPi / 4));
  }
  EXPECT_EQ(shown[0], Vector3(0, 150, -80));
  EXPECT_EQ(shown[550], Vector3(-30, 110, -40));
  EXPECT_EQ(shown[551], Vector3(200, 20, 300));
  for (size_t k = 1; k < shown.size(); ++k) {
    EXPECT_LT((shown[k] - shown[k - 1]).Length(), k == 551 ? 1000.0f : 1.0f) << "frame " << k;
  }
  // After the last key the camera holds; Reset flies again from the start.
  Tick(100);
  EXPECT_EQ(camera->GetPosition(), Vector3(200, 20, 340));
  flight->Reset();
  Tick(100);
  EXPECT_EQ(camera->GetPosition(), Vector3(0, 150, -80));
}

TEST_F(ControllerTest, LookAt_ForwardAxisPointsAtTheTarget) {
  struct Row {
    Vector3 parentEuler, parentPosition, position, target;
  };
  const Row rows[] = {
      {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {3, 0, 4}},
      {{0, 0, 0}, {0, 0, 0}, {1, 2, 3}, {1, 12, 3}},  // straight up
      {{kPi / 2, 0, 0}, {5, 0, 0}, {0, 0, 1}, {-4, 2, 7}},
      {{0.3f, -0.4f, 0.5f}, {1, -2, 3}, {2, 1, -1}, {-10, 5, 20}},
      {{0, 0, 0}, {0, 0, 0}, {1, 1, 1}, {1, 1, 1}},  // on the target: unchanged
  };
  for (const Row& row : rows) {
    CTGroup* parent = Make<CTGroup>("parent");
    parent->SetEuler(row.parentEuler.x, row.parentEuler.y, row.parentEuler.z);
    parent->MoveTo(row.parentPosition);
    CTEntity* entity = Make<CTEntity>("looker");
    entity->SetParent(parent);
    entity->MoveTo(row.position);
    entity->SetDirection({1, 0, 0});
    Ref<CTEntity> target = qibo::Create<CTEntity>();
    target->MoveTo(row.target);
    Ref<CTLookAtController> look = qibo::Create<CTLookAtController>();
    look->SetObject(entity);
    EXPECT_FALSE(look->Enable()) << "no target";
    look->SetLookAt(target.Get());
    ASSERT_TRUE(look->Enable());
    Tick(16);
    entity->UpdateWorldSpace();
    const Vector3 d = row.target - entity->GetWorldPosition();
    ExpectNear(entity->GetWorldDirection(),
               d.Length() > 0 ? d.Normalized() : parent->RotateToWorld({1, 0, 0}));
    // A deleted target leaves the entity as it is.
    target.Reset();
    EXPECT_EQ(look->GetLookAt(), nullptr);
    entity->SetDirection({0, 1, 0});
    Tick(16);
    ExpectNear(entity->GetDirection(), {0, 1, 0});
  }
}

TEST_F(ControllerTest, PID_FollowsTheHandComputedSequence) {
  Ref<CTPIDController> pid = qibo::Create<CTPIDController>();
  ASSERT_TRUE(pid->SetPID(2, 1, 0.5));
  ASSERT_TRUE(pid->SetActuatorBounds(3, -3));
  struct Step {
    double dt, desired, actual, output;
    bool saturated;
  };
  // u = KI integral + KD (e - e') / dt + KP e; the integral stands still
  // after a clamped step.
  const Step steps[] = {
      {0.5, 1, 0, 3, true},        // e 1, integral 0.5, derivative 2: u 3.5
      {0.5, 1, 0.5, 1, false},     // e 0.5, integral frozen 0.5, derivative -1
      {0.5, 1, 0.5, 1.75, false},  // integral 0.75, derivative 0
      {0.5, -2, 0.5, -3, true},    // e -2.5, integral -0.5, derivative -6: u -8.5
      {0.5, -2, -1, -1, false},    // e -1, integral frozen -0.5, derivative 3
      {0, -2, -1, -2.5, false},    // no time: no integral step, no derivative
      {0.25, 1.5, 0, 3, true},     // e 1.5, integral -0.125, derivative 10: u 7.875
  };
  for (const Step& s : steps) {
    EXPECT_NEAR(pid->GetActuatorValue(s.dt, s.desired, s.actual), s.output, 1e-6) << (&s - steps);
    EXPECT_EQ(pid->IsSaturated(), s.saturated) << (&s - steps);
  }
  // Reaching a bound is not saturation.
  Ref<CTPIDController> p = qibo::Create<CTPIDController>();
  p->SetActuatorBounds(-3, 3);
  EXPECT_EQ(p->GetActuatorValue(0.1, 3, 0), 3);
  EXPECT_FALSE(p->IsSaturated());

  // Reset starts over; input that is not a number changes nothing.
  pid->Reset();
  EXPECT_FALSE(pid->IsSaturated());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double first = pid->GetActuatorValue(0.5, 1, 0);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(pid->GetActuatorValue(0.5, nan, 0), first);
  EXPECT_TRUE(Logged("ignored"));
  EXPECT_FALSE(pid->SetPID(nan, 0, 0));
  EXPECT_EQ(pid->GetKP(), 2);
}

TEST_F(ControllerTest, Motion_IntegratesVelocitiesExplicitly) {
  CTEntity* entity = Make<CTEntity>("mover");
  Ref<CTMotionController> motion = qibo::Create<CTMotionController>();
  motion->SetVelocity({1, 0, 0});
  motion->SetAcceleration({0, 2, 0});
  motion->SetAngularVelocity({0, kPi, 0});
  motion->SetObject(entity);
  ASSERT_TRUE(motion->Enable());
  Tick(500);
  ExpectNear(entity->GetPosition(), {0.5f, 0, 0});
  const float len = std::sqrt(1.0f + kPi * kPi / 16);  // q = (0, pi/4, 0, 1) normalised
  ExpectSameRotation(entity->GetQuat(), {0, kPi / 4 / len, 0, 1 / len});
  Tick(500);
  ExpectNear(entity->GetPosition(), {1.0f, 0.5f, 0});
  // A velocity written as text that is not a number is refused.
  motion->GetPropertyByName("MotionInfo.Vel.x").FromString("nan");
  motion->ApplyChanges();
  EXPECT_EQ(motion->GetMotionInfo().velocity, Vector3(0, 2, 0));
  EXPECT_TRUE(Logged("MotionInfo.Vel.x is not a finite number"));
}

TEST_F(ControllerTest, Collisions_SwitchTheControllerWhenTheServiceRuns) {
  auto* collisions = static_cast<RecordingCollisions*>(qiBO_GetService(RecordingCollisions::_CD()));
  ASSERT_EQ(qibo::FindService<CTCollisionManager>(), collisions);
  CTEntity* entity = Make<CTEntity>("bumper");
  CTEntity* other = Make<CTEntity>("wall");
  Ref<CTMotionController> c = qibo::Create<CTMotionController>();
  c->SetCollisionAction(kCollisionDisable);
  c->SetObject(entity);
  EXPECT_EQ(collisions->reports, (std::vector<std::pair<CTEntity*, bool>>{{entity, true}}));
  ASSERT_TRUE(c->Enable());
  for (int i = 0; i < 2; ++i) {
    entity->OnCollision(other, nullptr, nullptr);
    EXPECT_FALSE(c->IsEnabled());
  }
  c->SetCollisionAction(kCollisionEnable);
  entity->OnCollision(other, nullptr, nullptr);
  EXPECT_TRUE(c->IsEnabled());
  c->SetCollisionAction(kCollisionNone);
  EXPECT_EQ(collisions->reports.back(), std::make_pair(entity, false));
  c->Disable();
  entity->OnCollision(other, nullptr, nullptr);
  EXPECT_FALSE(c->IsEnabled());
}

TEST_F(ControllerTest, Streams_BringControllersAndTracksBack) {
  CTGroup* scene = Make<CTGroup>("scene");
  CTEntity* camera = Make<CTEntity>("camera");
  CTEntity* mover = Make<CTEntity>("mover");
  camera->SetParent(scene);
  mover->SetParent(scene);
  Ref<CTKeyFrameController> flight = qibo::Create<CTKeyFrameController>();
  flight->GetPositionTrack()->SetValue(0, {1, 2, 3});
  flight->GetPositionTrack()->SetValue(1000, {4, 5, 6});
  flight->GetPositionTrack()->SetOutOfRangeAfter(kOutOfRangeBackAndForth);
  flight->GetRotationTrack()->SetValue(500, Quaternion::RotationAz(1.0f));
  flight->SetObject(camera);
  ASSERT_TRUE(flight->Enable());
  Tick(250, 2);
  Ref<CTLookAtController> look = qibo::Create<CTLookAtController>();
  look->SetObject(mover);
  look->SetLookAt(camera);
  look->SetCollisionAction(kCollisionEnable);
  ASSERT_TRUE(look->Enable());
  ASSERT_TRUE(scene->SaveTree("scene.qibo", 31));

  CTGroup* loaded = Make<CTGroup>("loaded");
  ASSERT_TRUE(loaded->LoadTree("scene.qibo"));
  CTEntity* camera2 = loaded->FindChildByName("camera");
  CTEntity* mover2 = loaded->FindChildByName("mover");
  ASSERT_TRUE(camera2 && mover2 && camera2 != camera);
  auto* flight2 = qibo::Cast<CTKeyFrameController>(camera2->GetController());
  ASSERT_NE(flight2, nullptr);
  EXPECT_TRUE(flight2->IsEnabled());
  EXPECT_EQ(flight2->GetLocalTime(), 500);
  EXPECT_EQ(flight2->GetPositionTrack()->GetValue(1500), Vector3(2.5f, 3.5f, 4.5f));
  ASSERT_EQ(flight2->GetRotationTrack()->GetKeyCount(), 1);
  ExpectSameRotation(flight2->GetRotationTrack()->GetKeyValue(0), Quaternion::RotationAz(1.0f));
  auto* look2 = qibo::Cast<CTLookAtController>(mover2->GetController());
  ASSERT_NE(look2, nullptr);
  EXPECT_EQ(look2->GetLookAt(), camera2);
  EXPECT_EQ(look2->GetCollisionAction(), kCollisionEnable);
  EXPECT_TRUE(look2->IsEnabled());
  Tick(100);
  EXPECT_EQ(camera2->GetPosition(), Vector3(2.5f, 3.5f, 4.5f));
}

}  // namespace
