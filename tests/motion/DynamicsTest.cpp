// Rigid bodies: falling and coming to rest, bouncing by their restitution,
// the medium's buoyancy, drag and wind, the engine's frame, streams and
// network packets, and the input they refuse.

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/geometry/CTISAGJK.h"
#include "core/geometry/collision/DefCollisionManager.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/motion/CTSpring.h"
#include "core/persist/NetworkStream.h"
#include "core/scene/CTGroup.h"
#include "tests/motion/PhysicsFixture.h"

namespace {

using DynamicsTest = qibo::test::PhysicsFixture;

constexpr double kG = 9.80665;

// The body's up axis in world coordinates.
Vector3 Up(CTEntity* e) { return e->GetWorldTransform().TransformNormal(Vector3(0, 1, 0)); }

struct RestCase {
  const char* what;
  bool ball;
  Vector3 euler;     // az, el, tw at the start
  float restHeight;  // of the centre on a floor whose top is at 0
};

TEST_F(DynamicsTest, FallingBodies_ComeToRestOnAPlaneAndStayThere) {
  const RestCase cases[] = {
      {"box falling flat", false, {0, 0, 0}, 0.5f},
      {"box landing on a corner", false, {0.5f, 0.35f, 0.25f}, 0.5f},
      {"ball", true, {0, 0, 0}, 0.4f},
  };
  CTEntity* floor = Body("floor", {0, -0.5f, 0}, BoxVolume({40, 1, 40}));
  for (const RestCase& c : cases) {
    SCOPED_TRACE(c.what);
    CTEntity* body = Body("body", {0, 3, 0}, c.ball ? BallVolume(0.4) : BoxVolume({1, 1, 1}));
    body->SetEuler(c.euler.x, c.euler.y, c.euler.z);
    CTDynaController* dynamics = Dynamics(body, 2.0);
    Step(10, 400);
    body->UpdateWorldSpace();
    const Vector3 rest = body->GetWorldPosition();
    EXPECT_NEAR(rest.y, c.restHeight, 0.01f);
    EXPECT_LT(dynamics->GetVelocity().Length(), 0.02f);
    EXPECT_LT(dynamics->GetAngularVelocity().Length(), 0.05f);
    // A box lies flat on one of its faces.
    const Vector3 up = Up(body);
    if (!c.ball) {
      EXPECT_GT(std::max({std::fabs(up.x), std::fabs(up.y), std::fabs(up.z)}), 0.999f);
    }
    // Ten thousand more steps: it stays where it came to rest.
    float lowest = rest.y, highest = rest.y;
    for (int i = 0; i < 100; ++i) {
      Step(10, 100);
      lowest = std::min(lowest, body->GetWorldPosition().y);
      highest = std::max(highest, body->GetWorldPosition().y);
    }
    const Vector3 end = body->GetWorldPosition();
    EXPECT_LT((end - rest).Length(), 0.01f);
    EXPECT_LT(highest - lowest, 0.01f);
    EXPECT_LT((Up(body) - up).Length(), 0.01f);
    EXPECT_TRUE(std::isfinite(end.x) && std::isfinite(end.y) && std::isfinite(end.z));
    dynamics->Disable();
    body->SetCollisionVolume(nullptr);
  }
  EXPECT_EQ(floor->GetController(), nullptr) << "the floor is fixed";
}

TEST_F(DynamicsTest, Restitution_DecidesHowHighABallBouncesBack) {
  struct Case {
    float restitution;
  } const cases[] = {{0.0f}, {0.5f}, {0.8f}};
  Body("floor", {0, -0.5f, 0}, BoxVolume({40, 1, 40}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.restitution);
    CTEntity* ball = Body("ball", {0, 5.5f, 0}, BallVolume(0.5));
    CTDynaController* dynamics = Dynamics(ball, 1.0);
    ASSERT_TRUE(dynamics->SetRestitution(c.restitution));
    World()->SetDensity(0.0f);  // no air: the drop is 5 m exactly
    bool bounced = false;
    float peak = 0.0f;
    for (int i = 0; i < 400; ++i) {
      Step(5);
      const float v = dynamics->GetVelocity().y;
      if (v > 0.0f) bounced = true;
      if (bounced) peak = std::max(peak, ball->GetWorldPosition().y - 0.5f);
      if (bounced && v < 0.0f) break;
    }
    // The rebound rises e^2 times the drop.
    EXPECT_NEAR(peak, c.restitution * c.restitution * 5.0f,
                0.06f + 0.05f * 5.0f * c.restitution * c.restitution);
    dynamics->Disable();
    ball->SetCollisionVolume(nullptr);
  }
}

TEST_F(DynamicsTest, Medium_BuoyancyDragAndWindFollowTheEnvironment) {
  struct Case {
    const char* what;
    float density;  // of the medium
    Vector3 wind;
    double mass;       // of a 1 m cube
    Vector3 expected;  // velocity after 20 s
    float tolerance;
  } const cases[] = {
      // Terminal speed: weight less buoyancy equals 1/2 rho v^2 A (A = 1 m^2).
      {"sinks through water",
       1000.0f,
       {},
       2000.0,
       {0, -static_cast<float>(std::sqrt(2 * 1000 * kG / 1000)), 0},
       0.02f},
      {"floats up through water",
       1000.0f,
       {},
       500.0,
       {0, static_cast<float>(std::sqrt(2 * 500 * kG / 1000)), 0},
       0.02f},
      {"carried by the wind, falling through air",
       1.2f,
       {5, 0, 0},
       10.0,
       {5, -static_cast<float>(std::sqrt(2 * 8.8 * kG / 1.2)), 0},
       0.02f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    World()->SetDensity(c.density);
    World()->SetWind(c.wind);
    CTEntity* cube = Body("cube", {0, 0, 0}, BoxVolume({1, 1, 1}));
    CTDynaController* dynamics = Dynamics(cube, c.mass);
    Step(20, 1000);
    const Vector3 v = dynamics->GetVelocity();
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(v[i], c.expected[i], c.tolerance * (1.0f + std::fabs(c.expected[i])));
    dynamics->Disable();
    cube->SetCollisionVolume(nullptr);
  }
}

TEST_F(DynamicsTest, EngineFrame_StepsThePhysicsWithTheEnvironmentsOfTheScene) {
  // A region of zero gravity beside the world's: a body in it floats.
  CTEnvironment* space = Make<CTEnvironment>("space");
  space->SetGravity(Vector3(0, 0, 0));
  space->SetDensity(0.0f);
  space->UseBoundingVolume(BoxVolume({10, 10, 10}));
  space->MoveTo({100, 0, 0});
  space->SetPriority(1.0f);
  ASSERT_TRUE(space->RegisterWithService());
  World()->SetDensity(0.0f);
  CTEntity* falling = Body("falling", {0, 0, 0});
  CTEntity* floating = Body("floating", {100, 0, 0});
  Dynamics(falling, 1.0);
  Dynamics(floating, 1.0);
  auto* engine = qibo::GetService<CTEngineManager>();
  engine->GetPropertyByName("ConstantFrameTime").FromString("1");
  engine->GetPropertyByName("FrameTime").FromString("0.01");
  engine->ApplyChanges();
  for (int i = 0; i < 100; ++i) qiBO_DoFrame();
  // One second of free fall (semi-implicit steps land a little lower).
  EXPECT_NEAR(falling->GetPosition().y, -0.5 * kG, 0.06);
  EXPECT_EQ(floating->GetPosition(), Vector3(100, 0, 0));
  space->UnregisterWithService();
}

TEST_F(DynamicsTest, MotionSensor_ReadsTheBodyAndForgetsAControllerThatWent) {
  CTEntity* entity = Body("spinner", {2, 0, 0});
  Ref<CTDynaController> dynamics = qibo::Create<CTDynaController>();
  dynamics->SetObject(entity);
  ASSERT_TRUE(dynamics->SetVelocity(Vector3(1, 0, 0)));
  ASSERT_TRUE(dynamics->SetAngularVelocity(Vector3(0, 0, 1)));
  CTMotionSensor* sensor = entity->RequestMotionSensor();
  ASSERT_NE(sensor, nullptr);
  entity->UpdateWorldSpace();
  // v + w x r at one unit to the body's right: (1, 0, 0) + (0, 1, 0).
  qibo::test::ExpectNear(sensor->GetVel(Vector3(3, 0, 0)), Vector3(1, 1, 0));
  // The controller goes (unbound, then deleted): the sensor reads nothing.
  entity->SetController(nullptr);
  dynamics = Ref<CTDynaController>();
  EXPECT_EQ(sensor->GetVel(Vector3(3, 0, 0)), Vector3());
  // And a new one is read as soon as it is bound.
  CTDynaController* next = Dynamics(entity, 1.0);
  ASSERT_TRUE(next->SetVelocity(Vector3(0, 0, 4)));
  qibo::test::ExpectNear(sensor->GetVel(Vector3(2, 0, 0)), Vector3(0, 0, 4));
  // The entity goes while someone (a spring) still holds its sensor.
  Ref<CTMotionSensor> kept(sensor);
  std::erase_if(m_owned, [entity](const Ref<CTReferenced>& r) { return r.Get() == entity; });
  EXPECT_EQ(kept->GetEntity(), nullptr);
  EXPECT_EQ(kept->GetVel(Vector3(2, 0, 0)), Vector3());
}

TEST_F(DynamicsTest, BadInput_IsRefusedAndNoNumberThatIsNotOneSpreads) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  CTEntity* entity = Body("body", {0, 10, 0}, BoxVolume({1, 1, 1}));
  CTDynaController* dynamics = Dynamics(entity, 3.0);
  for (double mass : {0.0, -1.0, nan, std::numeric_limits<double>::infinity(), 1e-320}) {
    SCOPED_TRACE(mass);
    EXPECT_FALSE(dynamics->SetMass(mass));
    EXPECT_EQ(dynamics->GetMass(), 3.0);
  }
  for (const char* text : {"0", "-2", "nan"}) {
    dynamics->GetPropertyByName("Mass").FromString(text);
    dynamics->ApplyChanges();
    EXPECT_EQ(dynamics->GetMass(), 3.0) << text;
  }
  EXPECT_FALSE(dynamics->SetRestitution(1.5f));
  EXPECT_FALSE(dynamics->SetFriction(-0.1f));
  EXPECT_FALSE(dynamics->SetVelocity(Vector3(0, static_cast<float>(nan), 0)));
  dynamics->ApplyImpulse(Vector3(static_cast<float>(nan), 0, 0), Vector3());
  EXPECT_EQ(dynamics->GetVelocity(), Vector3());
  EXPECT_TRUE(Logged("mass 0 refused"));

  // A body placed where no number is: skipped with one warning, and the
  // body it lies on and the spring to it keep their numbers.
  CTEntity* other = Body("other", {0, 0, 0}, BoxVolume({1, 1, 1}));
  CTDynaController* otherDynamics = Dynamics(other, 1.0);
  CTSpring* spring = Make<CTSpring>("spring");
  spring->SetEntities(entity, Vector3(), other, Vector3());
  spring->SetC(10.0);
  ASSERT_TRUE(spring->Enable());
  entity->MoveTo(Vector3(static_cast<float>(nan), 0.5f, 0));
  const int before = qiBO_GetErrorsCount();
  Step(10, 20);
  EXPECT_EQ(qiBO_GetErrorsCount() - before, 3)
      << "one warning each from the collision service, body and spring";
  const Vector3 p = other->GetPosition(), v = otherDynamics->GetVelocity();
  EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
  EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
  EXPECT_TRUE(std::isfinite(dynamics->GetVelocity().y));
  // Placed again, it falls again.
  entity->MoveTo(Vector3(5, 10, 0));
  Step(10, 10);
  EXPECT_LT(entity->GetPosition().y, 10.0f);
}

TEST_F(DynamicsTest, Streams_BringBodiesBackAndPacketsMakeOnlyWhatIsSafe) {
  CTGroup* scene = Make<CTGroup>("scene");
  CTEntity* crate = Body("crate", {1, 2, 3}, BoxVolume({1, 2, 1}));
  crate->SetParent(scene);
  CTDynaController* dynamics = Dynamics(crate, 7.5);
  dynamics->SetRestitution(0.25f);
  dynamics->SetFriction(0.75f);
  dynamics->SetVelocity(Vector3(1, 2, 3));
  dynamics->SetAngularVelocity(Vector3(0, 0.5f, 0));
  ASSERT_TRUE(scene->SaveTree("crate.qibo", 31));
  CTGroup* loaded = Make<CTGroup>("loaded");
  ASSERT_TRUE(loaded->LoadTree("crate.qibo"));
  CTEntity* crate2 = loaded->FindChildByName("crate");
  ASSERT_NE(crate2, nullptr);
  auto* dynamics2 = qibo::Cast<CTDynaController>(crate2->GetController());
  ASSERT_NE(dynamics2, nullptr);
  EXPECT_EQ(dynamics2->GetMass(), 7.5);
  EXPECT_EQ(dynamics2->GetRestitution(), 0.25f);
  EXPECT_EQ(dynamics2->GetFriction(), 0.75f);
  EXPECT_EQ(dynamics2->GetVelocity(), Vector3(1, 2, 3));
  EXPECT_EQ(dynamics2->GetAngularVelocity(), Vector3(0, 0.5f, 0));
  EXPECT_TRUE(dynamics2->IsEnabled());
  ASSERT_NE(crate2->GetCollisionVolume(), nullptr);
  EXPECT_NE(Collisions()->GetEntityFlags(crate2) & CTCollisionManager::kReport, 0u);
  EXPECT_EQ(Physics()->GetBodyCount(), 2);

  // What may arrive in a network packet: volumes, springs and bodies yes,
  // services and the narrow phase no.
  struct Case {
    ClassDesc* cd;
    bool made;
  } const cases[] = {{CTBox::_CD(), true},
                     {CTSpring::_CD(), true},
                     {CTDynaController::_CD(), true},
                     {DefCollisionManager::_CD(), false},
                     {DefPhysicsManager::_CD(), false},
                     {CTISAGJK::_CD(), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cd->GetName().c_str());
    Ref<CTStreamed> object = qibo::CreateAs<CTStreamed>(c.cd);
    ASSERT_TRUE(object);
    NetworkStream writer;
    ASSERT_TRUE(writer.CreateStream());
    writer.WriteObject(object.Get());
    ASSERT_TRUE(writer.CloseStream());
    const std::vector<uint8_t> packet(writer.GetData(), writer.GetData() + writer.GetSize());
    object = Ref<CTStreamed>();
    NetworkStream reader;
    reader.Read(packet.data(), static_cast<int>(packet.size()));
    ASSERT_EQ(reader.GetObjectCount(), c.made ? 1 : 0);
    if (c.made) {
      EXPECT_EQ(reader.GetObjectNo(0)->GetCD(), c.cd);
    }
  }
}

}  // namespace
