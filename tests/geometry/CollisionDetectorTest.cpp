// The narrow phase: ISA-GJK's distances, intersections and contact points
// against exact answers for spheres and boxes (turned ones too), the
// pair cache, and input it must refuse.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "core/geometry/CTBox.h"
#include "core/geometry/CTISAGJK.h"
#include "core/geometry/CTPointShape.h"
#include "core/geometry/CTSphere.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"
#include "tests/support/EngineFixture.h"

// A box that counts its support points, and may call itself not convex.
class CountingBox : public CTBox {
  QIBO_CLASS(CountingBox)

 public:
  Vector3 GetSupport(const Vector3& d) override {
    ++calls;
    return CTBox::GetSupport(d);
  }
  bool IsConvex() const override { return convex; }
  int calls = 0;
  bool convex = true;
};
QIBO_IMPLEMENT_CLASS(CountingBox, CTBox, .desc = "Counting box")

namespace {

constexpr double kPi = std::numbers::pi;

// A shape and its placement: position and Euler angles (radians).
struct Placed {
  Ref<CTShape> shape;
  DTransform where;
};

Placed Sphere(double radius, Vector3 at) {
  Ref<CTSphere> s = qibo::Create<CTSphere>();
  s->SetRadius(radius);
  Placed p{Ref<CTShape>(std::move(s)), {}};
  p.where.MoveTo(at);
  return p;
}

Placed Box(Vector3 size, Vector3 at, double az = 0, double el = 0, double tw = 0) {
  Ref<CTBox> b = qibo::Create<CTBox>();
  b->SetDimensions(size);
  Placed p{Ref<CTShape>(std::move(b)), {}};
  p.where.MoveTo(at);
  if (az != 0 || el != 0 || tw != 0) p.where.SetEuler(az, el, tw);
  return p;
}

class CollisionDetectorTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    m_gjk = Make<CTISAGJK>();
    ASSERT_NE(m_gjk, nullptr);
  }
  CTISAGJK* m_gjk = nullptr;
};

struct DistanceCase {
  const char* what;
  Placed a, b;
  double distance;  // exact
};

TEST_F(CollisionDetectorTest, Distance_MatchesExactAnswersForSpheresAndBoxes) {
  const double root2 = std::sqrt(2.0);
  const DistanceCase cases[] = {
      {"spheres on an axis", Sphere(1, {0, 0, 0}), Sphere(0.5, {3, 0, 0}), 1.5},
      {"spheres on a diagonal", Sphere(1, {1, 1, 1}), Sphere(0.5, {3, 3, 2}), 1.5},
      {"boxes corner to corner", Box({2, 2, 2}, {0, 0, 0}), Box({2, 2, 2}, {3, 3, 3}), std::sqrt(3.0)},
      {"box turned 45 degrees about y, its edge to a face", Box({2, 2, 2}, {0, 0, 0}),
       Box({2, 2, 2}, {3, 0, 0}, kPi / 4), 2.0 - root2},
      {"both turned, an edge above a face", Box({2, 2, 2}, {0, 0, 0}, kPi / 6),
       Box({2, 2, 2}, {0.3f, 3.5f, 0.2f}, 0, 0, kPi / 4), 2.5 - root2},
      {"sphere beside a box's edge", Box({2, 2, 2}, {0, 0, 0}), Sphere(1, {3, 3, 0}), std::sqrt(8.0) - 1.0},
      {"sphere above a box's face", Box({4, 2, 4}, {0, 0, 0}), Sphere(1.5, {0.5f, 4, -1}), 1.5},
      {"sphere facing a turned box's edge", Box({2, 2, 2}, {0, 0, 0}, kPi / 4), Sphere(0.5, {3, 0, 0}),
       2.5 - root2},
      {"scaled box", Box({1, 1, 1}, {0, 0, 0}), Sphere(1, {4, 0, 0}), 4.0 - 1.0 - 1.5},
  };
  for (const DistanceCase& c : cases) {
    SCOPED_TRACE(c.what);
    Placed a = c.a;
    if (std::string(c.what) == "scaled box") a.where.ScaleTo(3.0);  // a cube of 3
    double distance = -1;
    Vector3 pa, pb;
    ASSERT_TRUE(m_gjk->Distance(a.shape.Get(), a.where, c.b.shape.Get(), c.b.where, distance, &pa, &pb));
    EXPECT_NEAR(distance, c.distance, 1e-5 * std::max(1.0, c.distance));
    // The witness points lie that far apart, on their shapes.
    EXPECT_NEAR((pb - pa).Length(), c.distance, 1e-4);
    EXPECT_NE(a.shape->CheckWithPoint(pa + (pb - pa) * 0.01f, &a.where), kIntersectInside);
    EXPECT_EQ(a.shape->CheckWithPoint(pa + (pa - pb) * 0.01f, &a.where), kIntersectInside);
    // Distance is symmetric, and the shapes are apart.
    double back = -1;
    ASSERT_TRUE(m_gjk->Distance(c.b.shape.Get(), c.b.where, a.shape.Get(), a.where, back, nullptr, nullptr));
    EXPECT_NEAR(back, distance, 1e-5);
    EXPECT_FALSE(m_gjk->IntersectTest(a.shape.Get(), a.where, c.b.shape.Get(), c.b.where, nullptr));
  }
}

struct ContactCase {
  const char* what;
  Placed a, b;
  Vector3 normal;  // from a towards b
  double depth;
  Vector3 pointA, pointB;  // nan components: any value
};

TEST_F(CollisionDetectorTest, Penetration_GivesDepthNormalAndDeepestPoints) {
  const float any = std::numeric_limits<float>::quiet_NaN();
  const ContactCase cases[] = {
      {"sphere into a box's side",
       Sphere(1, {1.5f, 0, 0}),
       Box({2, 2, 2}, {0, 0, 0}),
       {-1, 0, 0},
       0.5,
       {0.5f, 0, 0},
       {1, 0, 0}},
      {"spheres overlapping",
       Sphere(1, {0, 0, 0}),
       Sphere(1, {0, 1.5f, 0}),
       {0, 1, 0},
       0.5,
       {0, 1, 0},
       {0, 0.5f, 0}},
      {"box resting into a floor",
       Box({1, 1, 1}, {0.2f, 0.4f, -0.3f}),
       Box({10, 1, 10}, {0, -0.5f, 0}),
       {0, -1, 0},
       0.1,
       {any, -0.1f, any},
       {any, 0, any}},
      {"turned box's edge into a floor",
       Box({2, 2, 2}, {0, 1.3f, 0}, 0, 0, kPi / 4),
       Box({10, 1, 10}, {0, -0.5f, 0}),
       {0, -1, 0},
       std::sqrt(2.0) - 1.3,
       {0, 1.3f - std::sqrt(2.0f), any},
       {0, 0, any}},
  };
  for (const ContactCase& c : cases) {
    SCOPED_TRACE(c.what);
    Vector3 normal, pa, pb;
    double depth = -1;
    ASSERT_TRUE(
        m_gjk->Penetration(c.a.shape.Get(), c.a.where, c.b.shape.Get(), c.b.where, normal, depth, &pa, &pb));
    // The polytope reaches a curved surface's depth long before its
    // direction: a depth error e leaves about sqrt(2 e / r) in the normal.
    EXPECT_NEAR(depth, c.depth, 1e-4);
    EXPECT_NEAR((normal - c.normal).Length(), 0.0f, 5e-3f);
    for (int i = 0; i < 3; ++i) {
      if (!std::isnan(c.pointA[i])) {
        EXPECT_NEAR(pa[i], c.pointA[i], 5e-3f) << "pointA " << i;
      }
      if (!std::isnan(c.pointB[i])) {
        EXPECT_NEAR(pb[i], c.pointB[i], 5e-3f) << "pointB " << i;
      }
    }
    // The contact test gives the same points.
    Vector3 ca, cb;
    ASSERT_TRUE(m_gjk->ContactTest(c.a.shape.Get(), c.a.where, c.b.shape.Get(), c.b.where, nullptr, ca, cb));
    EXPECT_NEAR((ca - pa).Length(), 0.0f, 1e-4f);
    EXPECT_NEAR((cb - pb).Length(), 0.0f, 1e-4f);
    EXPECT_TRUE(m_gjk->IntersectTest(c.a.shape.Get(), c.a.where, c.b.shape.Get(), c.b.where, nullptr));
    double distance = -1;
    ASSERT_TRUE(
        m_gjk->Distance(c.a.shape.Get(), c.a.where, c.b.shape.Get(), c.b.where, distance, nullptr, nullptr));
    EXPECT_EQ(distance, 0.0);
  }
}

TEST_F(CollisionDetectorTest, Intersect_TouchingCountsAndAGapDoesNot) {
  struct Case {
    const char* what;
    float gap;  // between two unit cubes side by side, turned about x
    bool touching;
  } const cases[] = {
      {"faces together", 0.0f, true}, {"overlap", -0.01f, true}, {"a hair apart", 1e-3f, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Placed a = Box({1, 1, 1}, {0, 0, 0}, 0, 0.3);
    Placed b = Box({1, 1, 1}, {1 + c.gap, 0, 0}, 0, 0.3);
    EXPECT_EQ(m_gjk->IntersectTest(a.shape.Get(), a.where, b.shape.Get(), b.where, nullptr), c.touching);
  }
}

TEST_F(CollisionDetectorTest, Cache_AWarmSeparatedPairCostsOneSupportPointEach) {
  // Two bars crossing half a unit apart: the line between their centres
  // is no separating axis, so a cold test takes several steps.
  Ref<CountingBox> a = qibo::Create<CountingBox>(), b = qibo::Create<CountingBox>();
  a->SetDimensions(Vector3(10, 1, 1));
  b->SetDimensions(Vector3(1, 1, 10));
  DTransform ta, tb;
  tb.MoveTo({4, 1.5f, 4});
  DDetectorCache* cache = m_gjk->CreateCache();
  ASSERT_NE(cache, nullptr);
  EXPECT_FALSE(m_gjk->IntersectTest(a.Get(), ta, b.Get(), tb, cache));
  const int cold = a->calls + b->calls;
  for (int frame = 0; frame < 5; ++frame) {
    tb.MoveByY(0.01);  // coherent motion
    a->calls = b->calls = 0;
    EXPECT_FALSE(m_gjk->IntersectTest(a.Get(), ta, b.Get(), tb, cache));
    EXPECT_EQ(a->calls + b->calls, 2) << "frame " << frame;
  }
  EXPECT_GT(cold, 2);
  // Without a cache every test starts again.
  a->calls = b->calls = 0;
  EXPECT_FALSE(m_gjk->IntersectTest(a.Get(), ta, b.Get(), tb, nullptr));
  EXPECT_GT(a->calls + b->calls, 2);
  m_gjk->ReleaseCache(cache);
}

TEST_F(CollisionDetectorTest, BadInput_AnswersNoContactAndNeverANumberThatIsNot) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  Placed box = Box({1, 1, 1}, {0, 0, 0});
  for (Vector3 at : {Vector3(nan, 0, 0), Vector3(0, inf, 0), Vector3(0, 0, -inf)}) {
    SCOPED_TRACE(at.x);
    Placed far = Sphere(1, at);
    Vector3 pa(7, 7, 7), pb(7, 7, 7), normal;
    double distance = 7, depth = 7;
    EXPECT_FALSE(m_gjk->IntersectTest(box.shape.Get(), box.where, far.shape.Get(), far.where, nullptr));
    EXPECT_FALSE(m_gjk->ContactTest(box.shape.Get(), box.where, far.shape.Get(), far.where, nullptr, pa, pb));
    EXPECT_FALSE(m_gjk->Distance(box.shape.Get(), box.where, far.shape.Get(), far.where, distance, &pa, &pb));
    EXPECT_FALSE(
        m_gjk->Penetration(box.shape.Get(), box.where, far.shape.Get(), far.where, normal, depth, &pa, &pb));
    EXPECT_EQ(distance, 7);
    EXPECT_EQ(pa, Vector3(7, 7, 7));
  }
  // A shape that is not convex, or none at all, is not handled.
  Ref<CountingBox> concave = qibo::Create<CountingBox>();
  concave->convex = false;
  EXPECT_FALSE(m_gjk->CanHandle(concave.Get(), box.shape.Get()));
  EXPECT_FALSE(m_gjk->CanHandle(nullptr, box.shape.Get()));
  EXPECT_TRUE(m_gjk->CanHandle(box.shape.Get(), box.shape.Get()));
  // A point set whose points coincide is one point: distances still work.
  Ref<CTPointShape> dot = qibo::Create<CTPointShape>();
  dot->AddPoint(Vector3(0, 0, 0));
  dot->AddPoint(Vector3(0, 0, 0));
  DTransform there;
  there.MoveTo({0, 2, 0});
  double distance = -1;
  ASSERT_TRUE(m_gjk->Distance(box.shape.Get(), box.where, dot.Get(), there, distance, nullptr, nullptr));
  EXPECT_NEAR(distance, 1.5, 1e-6);
}

TEST_F(CollisionDetectorTest, Properties_TheServiceFindsItByNameAndBadValuesAreRefused) {
  Ref<CTCollisionDetector> byName(qibo::Cast<CTCollisionDetector>(qiBO_CreateClassByNameIC("isagjk")));
  ASSERT_TRUE(byName);
  EXPECT_EQ(byName->GetCD(), CTISAGJK::_CD());
  EXPECT_EQ(byName->GetCD()->GetDesc(), QIBO_String("ISA-GJK Collision Detector"));
  struct Write {
    const char* property;
    const char* text;
    bool taken;
  } const writes[] = {{"MaxIterations", "25", true},   {"MaxIterations", "0", false},
                      {"RelativeError", "1e-9", true}, {"RelativeError", "-1", false},
                      {"AbsoluteError", "nan", false}, {"AbsoluteError", "0.001", true}};
  for (const Write& w : writes) {
    SCOPED_TRACE(std::string(w.property) + " " + w.text);
    const qibo::gjk::Settings before = m_gjk->GetSettings();
    DProperty& property = m_gjk->GetPropertyByName(w.property);
    property.FromString(w.text);
    m_gjk->ApplyChanges();
    const qibo::gjk::Settings after = m_gjk->GetSettings();
    const bool changed = after.maxIterations != before.maxIterations ||
                         after.relativeError != before.relativeError ||
                         after.absoluteError != before.absoluteError;
    EXPECT_EQ(changed, w.taken);
    // A refused value does not stay in the field either.
    const double field = property.ToDouble();
    EXPECT_TRUE(field == after.maxIterations || field == after.relativeError || field == after.absoluteError);
  }
  EXPECT_EQ(m_gjk->GetSettings().maxIterations, 25);
  EXPECT_EQ(m_gjk->GetSettings().absoluteError, 0.001);
}

}  // namespace
