// Springs: the impulses of one step against the rules (rest length,
// tension or compression only, damping, the cap, coincident ends, the safe
// direction, ends without dynamics), two bodies oscillating at the
// analytic frequency, registration with the physics service, streams and
// the input a spring refuses.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "core/kernel/Logging.h"
#include "core/motion/CTSpring.h"
#include "core/persist/MemoryStream.h"
#include "core/scene/CTGroup.h"
#include "tests/motion/PhysicsFixture.h"

namespace {

using qibo::test::ExpectNear;
using SpringTest = qibo::test::PhysicsFixture;

// The objects written whole into a memory image.
std::vector<uint8_t> WriteImage(std::initializer_list<CTStreamed*> objects) {
  std::vector<uint8_t> buffer(1 << 16);
  MemoryStream out;
  out.SetLevelOfDetail(31);
  EXPECT_TRUE(out.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
  for (CTStreamed* object : objects) out.WriteObject(object);
  EXPECT_TRUE(out.CloseStream());
  buffer.resize(out.GetPos());
  return buffer;
}

// The objects read back, held.
std::vector<Ref<CTReferenced>> ReadImage(const std::vector<uint8_t>& image) {
  MemoryStream in;
  EXPECT_TRUE(in.Read(image.data(), static_cast<int>(image.size())));
  std::vector<Ref<CTReferenced>> objects;
  for (int i = 0; i < in.GetObjectCount(); ++i) objects.emplace_back(in.GetObjectNo(i));
  return objects;
}

struct StepCase {
  const char* what;
  Vector3 at1, at2;  // the two bodies (unit masses), ends at their centres
  Vector3 v1;        // body 1's velocity before the step (body 2 rests)
  double length, c, b;
  SpringType_t type;
  double cap;    // <= 0: none
  Vector3 safe;  // zero: none
  bool dynamics2;
  Vector3 impulse1;  // what body 1 receives in a step of 0.1 s; body 2 the opposite
};

TEST_F(SpringTest, ApplyImpulse_FollowsTheRulesOfOneStep) {
  const StepCase cases[] = {
      // 3 apart, rest 2, C 10: F = -10, 10 x 1 x dt towards each other.
      {"stretched", {3, 0, 0}, {0, 0, 0}, {}, 2, 10, 0, kSpringBothWays, 0, {}, true, {-1, 0, 0}},
      {"compressed pushes", {1, 0, 0}, {0, 0, 0}, {}, 2, 10, 0, kSpringBothWays, 0, {}, true, {1, 0, 0}},
      {"rope closer than its length", {1, 0, 0}, {0, 0, 0}, {}, 2, 10, 0, kSpringTension, 0, {}, true, {}},
      {"rope stretched pulls", {0, 3, 0}, {0, 0, 0}, {}, 2, 10, 0, kSpringTension, 0, {}, true, {0, -1, 0}},
      {"strut stretched", {3, 0, 0}, {0, 0, 0}, {}, 2, 10, 0, kSpringCompression, 0, {}, true, {}},
      {"strut compressed pushes",
       {0, 0, 1},
       {0, 0, 0},
       {},
       2,
       10,
       0,
       kSpringCompression,
       0,
       {},
       true,
       {0, 0, 1}},
      {"C below 1e-5 is off", {3, 0, 0}, {0, 0, 0}, {}, 2, 0.000001, 0, kSpringBothWays, 0, {}, true, {}},
      {"cap: F 8 becomes 5", {1, 0, 0}, {0, 0, 0}, {}, 2, 8, 0, kSpringBothWays, 5, {}, true, {0.5f, 0, 0}},
      {"cap: F -8 is not capped",
       {3, 0, 0},
       {0, 0, 0},
       {},
       2,
       8,
       0,
       kSpringBothWays,
       5,
       {},
       true,
       {-0.8f, 0, 0}},
      // Coincident ends: the last direction (0, 1, 0), extension -Length.
      {"coincident ends", {2, 2, 2}, {2, 2, 2}, {}, 2, 10, 0, kSpringBothWays, 0, {}, true, {0, 2, 0}},
      // Damping: -(dt B) v, the whole relative velocity.
      {"damping alone",
       {2, 0, 0},
       {0, 0, 0},
       {1, 1, 0},
       0,
       0,
       2,
       kSpringBothWays,
       0,
       {},
       true,
       {-0.2f, -0.2f, 0}},
      // Ends passed through each other against the safe direction: the
      // spring is turned over, L = -1, so it pushes body 1 back up.
      {"turned over", {0, -1, 0}, {0, 0, 0}, {}, 2, 10, 0, kSpringBothWays, 0, {0, 1, 0}, true, {0, 3, 0}},
      {"safe side as usual",
       {0, 1, 0},
       {0, 0, 0},
       {},
       2,
       10,
       0,
       kSpringBothWays,
       0,
       {0, 1, 0},
       true,
       {0, 1, 0}},
      {"end without dynamics", {3, 0, 0}, {0, 0, 0}, {}, 2, 10, 0, kSpringBothWays, 0, {}, false, {-1, 0, 0}},
  };
  World()->SetGravity(Vector3(0, 0, 0));
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.what);
    CTEntity* e1 = Body("one", c.at1);
    CTEntity* e2 = Body("two", c.at2);
    CTDynaController* d1 = Dynamics(e1, 1.0);
    CTDynaController* d2 = c.dynamics2 ? Dynamics(e2, 1.0) : nullptr;
    ASSERT_TRUE(d1->SetVelocity(c.v1));
    CTSpring* spring = Make<CTSpring>("spring");
    spring->SetEntities(e1, Vector3(), e2, Vector3());
    spring->SetLength(c.length);
    spring->SetC(c.c);
    spring->SetB(c.b);
    spring->SetType(c.type);
    if (c.cap > 0) spring->SetMaxImpulse(c.cap);
    if (c.safe.SquaredLength() > 0) spring->SetSafeDirection(c.safe);
    spring->ApplyImpulse(0.1);
    ExpectNear(d1->GetVelocity() - c.v1, c.impulse1);
    if (d2) ExpectNear(d2->GetVelocity(), -c.impulse1);
    EXPECT_EQ(e2->GetController(), d2);
  }
}

TEST_F(SpringTest, TwoBodies_OscillateAtTheAnalyticFrequency) {
  struct Case {
    double m1, m2, c;
  } const cases[] = {{1, 3, 40}, {2, 2, 5}, {0.5, 10, 200}};
  World()->SetGravity(Vector3(0, 0, 0));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.c);
    const double rest = 2.0;
    CTEntity* e1 = Body("one", {2.5f, 0, 0});
    CTEntity* e2 = Body("two", {0, 0, 0});
    Dynamics(e1, c.m1);
    Dynamics(e2, c.m2);
    CTSpring* spring = Make<CTSpring>("spring");
    spring->SetEntities(e1, Vector3(), e2, Vector3());
    spring->SetLength(rest);
    spring->SetC(c.c);
    ASSERT_TRUE(spring->Enable());
    EXPECT_EQ(Physics()->GetSpringCount(), 1);
    const double omega = std::sqrt(c.c * (1.0 / c.m1 + 1.0 / c.m2));
    const double period = 2.0 * std::numbers::pi / omega;
    const double centre = (c.m1 * 2.5) / (c.m1 + c.m2);
    // Upward crossings of the rest length, interpolated between frames.
    std::vector<double> crossings;
    double previous = 0.5, time = 0.0;
    const int32_t frame = 10;
    while (crossings.size() < 11 && time < 40 * period) {
      Step(frame);
      time += frame * 0.001;
      const double extension = (e1->GetPosition() - e2->GetPosition()).Length() - rest;
      if (previous < 0.0 && extension >= 0.0)
        crossings.push_back(time - frame * 0.001 * extension / (extension - previous));
      previous = extension;
      // Momentum is kept: the centre of mass stands still.
      const double mass = (c.m1 * e1->GetPosition().x + c.m2 * e2->GetPosition().x) / (c.m1 + c.m2);
      ASSERT_NEAR(mass, centre, 1e-3);
    }
    ASSERT_EQ(crossings.size(), 11u);
    const double measured = (crossings.back() - crossings.front()) / 10.0;
    EXPECT_NEAR(measured / period, 1.0, 0.01);
    spring->Disable();
    EXPECT_EQ(Physics()->GetSpringCount(), 0);
  }
}

TEST_F(SpringTest, BadInput_IsRefusedWithAWarning) {
  CTSpring* spring = Make<CTSpring>("spring");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ASSERT_TRUE(spring->SetC(4.0));
  EXPECT_FALSE(spring->SetC(nan));
  EXPECT_FALSE(spring->SetB(std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(spring->SetLength(nan));
  EXPECT_EQ(spring->GetC(), 4.0);
  spring->GetPropertyByName("C").FromString("nan");
  spring->ApplyChanges();
  EXPECT_EQ(spring->GetC(), 4.0);
  EXPECT_TRUE(spring->UsesC());
  spring->SetType(static_cast<SpringType_t>(7));
  EXPECT_EQ(spring->GetType(), kSpringBothWays);

  // Both ends on one body: nothing, and one warning however often it runs.
  CTEntity* body = Body("body", {1, 0, 0});
  CTDynaController* dynamics = Dynamics(body, 1.0);
  spring->SetEntities(body, Vector3(1, 0, 0), body, Vector3());
  const int before = qiBO_GetErrorsCount();
  for (int i = 0; i < 5; ++i) spring->ApplyImpulse(0.1);
  EXPECT_EQ(dynamics->GetVelocity(), Vector3());
  EXPECT_LE(qiBO_GetErrorsCount() - before, 1);
  EXPECT_TRUE(Logged("both ends are on one entity"));
  // An end deleted: the spring idles.
  CTEntity* other = Body("other", {5, 0, 0});
  spring->SetEntities(body, Vector3(), other, Vector3());
  m_owned.erase(std::remove_if(m_owned.begin(), m_owned.end(),
                               [other](const Ref<CTReferenced>& r) { return r.Get() == other; }),
                m_owned.end());
  EXPECT_EQ(spring->GetEntity2(), nullptr);
  spring->ApplyImpulse(0.1);
  EXPECT_EQ(dynamics->GetVelocity(), Vector3());
}

TEST_F(SpringTest, Stream_BringsTheSpringAndItsEndsBack) {
  CTGroup* scene = Make<CTGroup>("scene");
  CTEntity* e1 = Body("one", {0, 1, 0});
  CTEntity* e2 = Body("two", {0, 5, 0});
  e1->SetParent(scene);
  e2->SetParent(scene);
  CTSpring* spring = Make<CTSpring>("spring");
  spring->SetEntities(e1, Vector3(0.5f, 0, 0), e2, Vector3(0, -0.5f, 0));
  spring->SetLength(3.0);
  spring->SetC(12.0);
  spring->SetB(0.5);
  spring->SetType(kSpringTension);
  spring->SetMaxImpulse(9.0);
  spring->SetSafeDirection(Vector3(0, 1, 0));
  ASSERT_TRUE(spring->Enable());
  const std::vector<uint8_t> image = WriteImage({scene, e1, e2, spring});
  std::vector<Ref<CTReferenced>> read = ReadImage(image);
  CTSpring* copy = nullptr;
  for (const Ref<CTReferenced>& r : read)
    if (auto* s = qibo::Cast<CTSpring>(r.Get())) copy = s;
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, spring);
  EXPECT_EQ(copy->GetLength(), 3.0);
  EXPECT_EQ(copy->GetC(), 12.0);
  EXPECT_EQ(copy->GetB(), 0.5);
  EXPECT_EQ(copy->GetType(), kSpringTension);
  EXPECT_TRUE(copy->IsEnabled());
  ASSERT_NE(copy->GetEntity1(), nullptr);
  ASSERT_NE(copy->GetEntity2(), nullptr);
  EXPECT_STREQ(copy->GetEntity1()->GetName(), "one");
  EXPECT_NE(copy->GetEntity1(), e1);
  // Both act alike.
  Dynamics(e1, 1.0);
  Dynamics(copy->GetEntity1(), 1.0);
  spring->ApplyImpulse(0.1);
  copy->ApplyImpulse(0.1);
  ExpectNear(qibo::Cast<CTDynaController>(copy->GetEntity1()->GetController())->GetVelocity(),
             qibo::Cast<CTDynaController>(e1->GetController())->GetVelocity());
}

}  // namespace
