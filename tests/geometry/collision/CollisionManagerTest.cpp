// The collision service: who is told of a contact (reports, groups, one-sided
// reports, touching boxes, "EnableNBody"), boxes that follow their entities,
// callbacks that delete or register entities, the broad phase against the
// all-pairs test, the controllers' collision actions, volumes read from a
// scene file, and volumes that cannot be placed.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/geometry/CTISAGJK.h"
#include "core/geometry/CTSphere.h"
#include "core/geometry/collision/DSweepAndPrune.h"
#include "core/geometry/collision/DefCollisionManager.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/motion/CTMotionController.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "tests/support/EngineFixture.h"

// An entity that records whom it was told about, and may act once in the
// call.
class ProbeEntity : public CTEntity {
  QIBO_CLASS(ProbeEntity)

 public:
  struct Hit {
    CTEntity* other;
    bool withPoint;
  };
  void OnCollision(CTEntity* other, Vector3* point, Vector3* normal) override {
    hits.push_back({other, point != nullptr});
    if (point) lastPoint = *point;
    CTEntity::OnCollision(other, point, normal);
    // Once, and last: it may delete this entity.
    if (std::function<void(ProbeEntity*)> once = std::exchange(action, nullptr)) once(this);
  }
  std::vector<Hit> hits;
  Vector3 lastPoint;
  std::function<void(ProbeEntity*)> action;
};
QIBO_IMPLEMENT_CLASS(ProbeEntity, CTEntity, .desc = "Probe entity")

// The default detector, counting its tests.
class CountingDetector : public CTISAGJK {
  QIBO_CLASS(CountingDetector)

 public:
  bool IntersectTest(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                     DDetectorCache* cache) override {
    ++tests;
    return CTISAGJK::IntersectTest(a, ta, b, tb, cache);
  }
  bool ContactTest(CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb, DDetectorCache* cache,
                   Vector3& pa, Vector3& pb) override {
    ++tests;
    ++contactTests;
    return CTISAGJK::ContactTest(a, ta, b, tb, cache, pa, pb);
  }
  int tests = 0;
  int contactTests = 0;
};
QIBO_IMPLEMENT_CLASS(CountingDetector, CTISAGJK, .desc = "Counting detector")

namespace {

constexpr uint32_t kReport = CTCollisionManager::kReport;
constexpr uint32_t kContact = CTCollisionManager::kReportContact;

class CollisionManagerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    StartLog();
    m_collisions = qibo::Cast<DefCollisionManager>(qibo::GetService<CTCollisionManager>());
    ASSERT_NE(m_collisions, nullptr);
    ASSERT_TRUE(m_collisions->IsStarted());
    m_detector = qibo::Create<CountingDetector>();
    ASSERT_TRUE(m_collisions->SetDetector(m_detector.Get()));
  }
  void TearDown() override {
    m_detector = Ref<CountingDetector>();
    EngineFixture::TearDown();
  }

  // A probe at position with a box volume of the given size, registered
  // with flags.
  ProbeEntity* Probe(const char* name, Vector3 at, uint32_t flags = kReport, Vector3 size = {1, 1, 1}) {
    Ref<ProbeEntity> probe = qibo::Create<ProbeEntity>();
    probe->SetName(name);
    probe->MoveTo(at);
    Ref<CTBox> box = qibo::Create<CTBox>();
    box->SetDimensions(size);
    probe->SetCollisionVolume(box.Get());
    m_collisions->SetEntityFlags(probe.Get(), flags, 0xFFFFFFFFu);
    m_owned.emplace_back(probe.Get());
    return probe.Get();
  }

  DefCollisionManager* m_collisions = nullptr;
  Ref<CountingDetector> m_detector;
};

struct ReportCase {
  const char* what;
  uint32_t flagsA, flagsB;
  float gap;  // between the two unit boxes along x (negative: overlap)
  bool paired;
  int toldA, toldB;
  bool points;
};

TEST_F(CollisionManagerTest, Reports_FollowTheFlagsGroupsAndOverlaps) {
  const ReportCase cases[] = {
      {"both ask", kReport, kReport, -0.2f, true, 1, 1, false},
      {"one-sided report", kReport, 0, -0.2f, true, 1, 0, false},
      {"with contact points", kContact, kReport, -0.2f, true, 1, 1, true},
      {"same group never reported", kReport | 0x20, kReport | 0x60, -0.2f, false, 0, 0, false},
      {"other groups still meet", kReport | 0x20, kReport | 0x40, -0.2f, true, 1, 1, false},
      {"neither asks: no test", 0, 0, -0.2f, false, 0, 0, false},
      {"boxes that only touch are not paired", kReport, kReport, 0.0f, false, 0, 0, false},
      {"left out of the broad phase", kReport | CTCollisionManager::kExcluded, kReport, -0.2f, false, 0, 0,
       false},
      {"apart", kReport, kReport, 0.5f, false, 0, 0, false},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.what);
    m_collisions->RemoveAll();
    m_detector->tests = m_detector->contactTests = 0;
    ProbeEntity* a = Probe("a", {0, 0, 0}, c.flagsA);
    ProbeEntity* b = Probe("b", {1 + c.gap, 0.3f, 0.1f}, c.flagsB);
    const int found = m_collisions->ProcessAll();
    EXPECT_EQ(m_collisions->IsPaired(a, b), c.paired);
    EXPECT_EQ(found, c.paired ? 1 : 0);
    EXPECT_EQ(static_cast<int>(a->hits.size()), c.toldA);
    EXPECT_EQ(static_cast<int>(b->hits.size()), c.toldB);
    EXPECT_EQ(m_detector->tests, c.paired ? 1 : 0);
    EXPECT_EQ(m_detector->contactTests, c.paired && c.points ? 1 : 0);
    for (ProbeEntity* p : {a, b})
      for (const ProbeEntity::Hit& hit : p->hits) {
        EXPECT_EQ(hit.other, p == a ? static_cast<CTEntity*>(b) : a);
        EXPECT_EQ(hit.withPoint, c.points);
      }
    if (c.points) {
      // A's point is its deepest inside B: on A's right face.
      EXPECT_NEAR(a->lastPoint.x, 0.5f, 1e-3f);
      EXPECT_NEAR(b->lastPoint.x, 0.3f, 1e-3f);
    }
  }
}

TEST_F(CollisionManagerTest, Pairs_FollowTheEntitiesAndNBodyOffTestsOnlyThoseThatExist) {
  ProbeEntity* a = Probe("a", {0, 0, 0});
  ProbeEntity* b = Probe("b", {0.5f, 0, 0});
  ASSERT_EQ(m_collisions->ProcessAll(), 1);
  // Moved apart: the pair goes with the overlap of the boxes.
  b->MoveTo({3, 0, 0});
  EXPECT_EQ(m_collisions->ProcessAll(), 0);
  EXPECT_FALSE(m_collisions->IsPaired(a, b));
  // A parent's move reaches the box.
  Ref<CTGroup> holder = qibo::Create<CTGroup>();
  b->SetParent(holder.Get());
  holder->MoveTo({-2.5f, 0, 0});
  EXPECT_EQ(m_collisions->ProcessAll(), 1);
  Vector3 low, high;
  ASSERT_TRUE(m_collisions->GetEntityBox(b, low, high));
  EXPECT_NEAR(low.x, 0.0f, 1e-5f);
  EXPECT_NEAR(high.x, 1.0f, 1e-5f);
  // A turned box's box spans its corners; a ball's spans its radius.
  ProbeEntity* turned = Probe("turned", {20, 0, 0}, 0, {2, 2, 2});
  turned->SetEuler(std::numbers::pi / 4, 0, 0);
  Ref<CTSphere> round = qibo::Create<CTSphere>();
  round->SetRadius(0.75);
  ProbeEntity* ball = Probe("ball", {30, 1, 0}, 0);
  ball->SetCollisionVolume(round.Get());
  m_collisions->RunBroadPhase();
  ASSERT_TRUE(m_collisions->GetEntityBox(turned, low, high));
  EXPECT_NEAR(low.x, 20.0f - std::sqrt(2.0f), 1e-4f);
  EXPECT_NEAR(high.z, std::sqrt(2.0f), 1e-4f);
  EXPECT_NEAR(high.y, 1.0f, 1e-5f);
  ASSERT_TRUE(m_collisions->GetEntityBox(ball, low, high));
  EXPECT_NEAR(low.y, 0.25f, 1e-5f);
  EXPECT_NEAR(high.x, 30.75f, 1e-5f);

  // "EnableNBody" off: the pair that exists is still tested, no new one
  // is made, and nothing is dropped.
  m_collisions->GetPropertyByName("EnableNBody").FromString("0");
  m_collisions->ApplyChanges();
  ASSERT_FALSE(m_collisions->IsNBody());
  ProbeEntity* c = Probe("c", {0.2f, 0, 0});
  a->hits.clear();
  EXPECT_EQ(m_collisions->ProcessAll(), 1);
  EXPECT_EQ(a->hits.size(), 1u);
  EXPECT_TRUE(c->hits.empty());
  holder->MoveTo({10, 0, 0});
  m_detector->tests = 0;
  EXPECT_EQ(m_collisions->ProcessAll(), 0);
  EXPECT_EQ(m_detector->tests, 1) << "the stale pair is tested, and found apart";
  EXPECT_TRUE(m_collisions->IsPaired(a, b));
  m_collisions->EnableNBody(true);
  EXPECT_EQ(m_collisions->ProcessAll(), 1);  // a with c
  EXPECT_FALSE(m_collisions->IsPaired(a, b));
  EXPECT_TRUE(m_collisions->IsPaired(a, c));
  b->SetParent(nullptr);
}

TEST_F(CollisionManagerTest, StaticGroup_KeepsItsBoxUntilAskedToMakeItAgain) {
  ProbeEntity* wall = Probe("wall", {0, 0, 0}, CTCollisionManager::kStaticGroup);
  ProbeEntity* ball = Probe("ball", {5, 0, 0});
  EXPECT_EQ(m_collisions->ProcessAll(), 0);
  wall->MoveTo({4.5f, 0, 0});
  EXPECT_EQ(m_collisions->ProcessAll(), 0) << "a static box is not made again when its entity moves";
  m_collisions->SetEntityFlags(wall, CTCollisionManager::kRecompute, CTCollisionManager::kRecompute);
  EXPECT_EQ(m_collisions->ProcessAll(), 1);
  EXPECT_EQ(ball->hits.size(), 1u);
}

struct CallbackCase {
  const char* what;
  std::function<void(ProbeEntity* self, ProbeEntity* other, std::vector<Ref<CTReferenced>>& owned)> act;
  bool otherTold;        // in the same pass
  bool restTold = true;  // the pair after it, then and in the next pass
};

TEST_F(CollisionManagerTest, Callbacks_MayDeleteOrRegisterEntitiesSafely) {
  auto release = [](std::vector<Ref<CTReferenced>>& owned, CTEntity* e) {
    owned.erase(
        std::remove_if(owned.begin(), owned.end(), [e](const Ref<CTReferenced>& r) { return r.Get() == e; }),
        owned.end());
  };
  const CallbackCase cases[] = {
      {"deletes the other", [&](ProbeEntity*, ProbeEntity* o, auto& owned) { release(owned, o); }, false},
      {"deletes itself", [&](ProbeEntity* s, ProbeEntity*, auto& owned) { release(owned, s); }, false},
      {"drops its own volume", [](ProbeEntity* s, ProbeEntity*, auto&) { s->SetCollisionVolume(nullptr); },
       false},
      {"drops the other's volume",
       [](ProbeEntity*, ProbeEntity* o, auto&) { o->SetCollisionVolume(nullptr); }, false},
      {"empties the service",
       [](ProbeEntity*, ProbeEntity*, auto&) { qibo::FindService<CTCollisionManager>()->RemoveAll(); }, false,
       false},
      {"asks for another pass",
       [](ProbeEntity*, ProbeEntity*, auto&) {
         EXPECT_EQ(qibo::FindService<CTCollisionManager>()->ProcessAll(), 0);
       },
       true},
      {"registers new entities",
       [this](ProbeEntity*, ProbeEntity*, auto&) {
         for (int i = 0; i < 40; ++i) Probe("newcomer", {0.1f, 0, 0});
       },
       true},
  };
  for (const CallbackCase& c : cases) {
    SCOPED_TRACE(c.what);
    m_collisions->RemoveAll();
    m_owned.clear();
    ProbeEntity* first = Probe("first", {0, 0, 0});
    ProbeEntity* second = Probe("second", {0.5f, 0, 0});
    // A third pair after the first, to show the pass goes on.
    ProbeEntity* third = Probe("third", {10, 0, 0});
    ProbeEntity* fourth = Probe("fourth", {10.5f, 0, 0});
    SmartPtr<ProbeEntity> watchSecond(second);
    first->action = [&](ProbeEntity* self) { c.act(self, second, m_owned); };
    m_collisions->ProcessAll();
    if (watchSecond) {
      EXPECT_EQ(second->hits.size(), c.otherTold ? 1u : 0u);
    }
    EXPECT_EQ(third->hits.size(), c.restTold ? 1u : 0u);
    EXPECT_EQ(fourth->hits.size(), c.restTold ? 1u : 0u);
    // The next pass runs on what is left, newcomers included.
    m_collisions->ProcessAll();
    EXPECT_EQ(third->hits.size(), c.restTold ? 2u : 0u);
  }
  EXPECT_GT(m_collisions->GetEntityCount(), 40);
  EXPECT_GE(CountLogged("inside a collision callback is refused"), 1);
}

TEST_F(CollisionManagerTest, BroadPhase_FindsExactlyTheAllPairsTestsPairsOnRandomScenes) {
  // Boxes on a half-unit grid with half-unit sizes, so that many touch
  // exactly; random groups and exclusions; coherent motion between passes,
  // some jumps, and boxes coming and going. Each scene is widest along
  // another axis, the last one along y after a while.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> cell(0, 40), extent(1, 4), flag(0, 15);
  for (int scene = 0; scene < 4; ++scene) {
    SCOPED_TRACE(scene);
    std::vector<DBroadBox> boxes(400 + 300 * scene);
    int wide = scene % 3;
    auto place = [&](DBroadBox& box) {
      for (int axis = 0; axis < 3; ++axis) {
        box.min[axis] = cell(random) * (axis == wide ? 2.0f : 0.5f);
        box.max[axis] = box.min[axis] + extent(random) * 0.5f;
      }
      const int f = flag(random);
      box.flags = (f & 3) << 4 | (f == 15 ? DBroadBox::kSkip : 0u);
    };
    for (DBroadBox& box : boxes) place(box);
    DSweepAndPrune sweep;
    std::vector<DBoxPair> fast, reference;
    size_t touching = 0;
    std::vector<int> axes;
    for (int pass = 0; pass < 6; ++pass) {
      sweep.FindPairs(boxes, fast);
      DSweepAndPrune::FindPairsAllPairs(boxes, reference);
      std::sort(fast.begin(), fast.end());
      ASSERT_EQ(fast, reference) << "pass " << pass;
      axes.push_back(sweep.GetAxis());
      if (scene == 3 && pass == 2) {
        wide = 1;  // the scene stretches out along y
        for (DBroadBox& box : boxes) place(box);
      }
      EXPECT_FALSE(reference.empty());
      for (DBroadBox& box : boxes) {
        const int roll = flag(random);
        if (roll == 0) {
          place(box);  // a jump, or a box that comes or goes
        } else {
          const float step = (roll - 8) * 0.25f;
          box.min[0] += step;
          box.max[0] += step;
        }
      }
      touching += std::count_if(boxes.begin() + 1, boxes.end(), [&](const DBroadBox& b) {
        return b.min[0] == boxes[0].max[0] || b.max[0] == boxes[0].min[0];
      });
    }
    EXPECT_GT(touching, 0u) << "the scenes must hold boxes that only touch";
    EXPECT_EQ(axes.front(), scene % 3) << "sweeps along the widest axis";
    EXPECT_EQ(axes.back(), scene == 3 ? 1 : scene % 3);
  }
}

TEST_F(CollisionManagerTest, CollisionAction_SwitchesTheControllerThroughTheService) {
  // The controller asks for reports before its entity has a volume: the
  // service keeps the wish when the entity registers.
  Ref<ProbeEntity> mover = qibo::Create<ProbeEntity>();
  Ref<CTMotionController> motion = qibo::Create<CTMotionController>();
  motion->SetCollisionAction(kCollisionDisable);
  motion->SetObject(mover.Get());
  ASSERT_TRUE(motion->Enable());
  Ref<CTSphere> ball = qibo::Create<CTSphere>();
  mover->SetCollisionVolume(ball.Get());
  EXPECT_EQ(m_collisions->GetEntityFlags(mover.Get()) & kReport, kReport);
  ProbeEntity* wall = Probe("wall", {3, 0, 0}, 0);
  EXPECT_EQ(m_collisions->ProcessAll(), 0);
  EXPECT_TRUE(motion->IsEnabled());
  wall->MoveTo({0.9f, 0, 0});
  EXPECT_EQ(m_collisions->ProcessAll(), 1);
  EXPECT_FALSE(motion->IsEnabled());
  EXPECT_TRUE(wall->hits.empty()) << "the wall asked for nothing";
  EXPECT_EQ(m_collisions->ProcessAll(), 1);
  EXPECT_FALSE(motion->IsEnabled()) << "stays disabled";
  motion->SetCollisionAction(kCollisionNone);
  EXPECT_EQ(m_collisions->GetEntityFlags(mover.Get()) & kReport, 0u);
  mover->SetController(nullptr);
}

TEST_F(CollisionManagerTest, SceneFile_RegistersTheVolumesItReads) {
  Ref<CTGroup> scene = qibo::Create<CTGroup>();
  Ref<CTDrawable> crate = qibo::Create<CTDrawable>();
  crate->SetName("crate");
  crate->SetParent(scene.Get());
  Ref<CTBox> box = qibo::Create<CTBox>();
  crate->SetCollisionVolume(box.Get());
  ASSERT_TRUE(scene->SaveTree("crates.qibo", 31));
  crate->SetParent(nullptr);
  ASSERT_TRUE(m_collisions->Stop());
  EXPECT_EQ(m_collisions->GetEntityCount(), 0);

  Ref<CTGroup> loaded = qibo::Create<CTGroup>();
  ASSERT_TRUE(loaded->LoadTree("crates.qibo"));
  CTEntity* read = loaded->FindChildByName("crate");
  ASSERT_NE(read, nullptr);
  ASSERT_NE(read, crate.Get());
  EXPECT_TRUE(m_collisions->IsStarted()) << "reading a volume starts the service";
  ASSERT_NE(read->GetCollisionVolume(), nullptr);
  EXPECT_EQ(m_collisions->GetEntityCount(), 1);
  // A copy is registered too.
  Ref<CTEntity> copy(read->Copy());
  EXPECT_EQ(copy->GetCollisionVolume(), read->GetCollisionVolume());
  EXPECT_EQ(m_collisions->GetEntityCount(), 2);
  copy->SetParent(nullptr);
}

TEST_F(CollisionManagerTest, BadVolumes_AreLeftOutWithOneWarningAndComeBackWhenMended) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    Vector3 at, size;
  } const cases[] = {
      {"a box of no size", {0, 0, 0}, {0, 0, 0}},
      {"a position that is not a number", {nan, 0, 0}, {1, 1, 1}},
      {"an infinite position", {0, std::numeric_limits<float>::infinity(), 0}, {1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    m_collisions->RemoveAll();
    const int before = CountLogged("left out of collision tests");
    ProbeEntity* bad = Probe("bad", c.at, kContact, c.size);
    ProbeEntity* good = Probe("good", {0.2f, 0, 0}, kContact);
    for (int pass = 0; pass < 3; ++pass) {
      bad->MoveBy({0, 0, 0.001f});  // moving: its box is made again each pass
      EXPECT_EQ(m_collisions->ProcessAll(), 0);
    }
    EXPECT_TRUE(bad->hits.empty());
    EXPECT_TRUE(good->hits.empty());
    EXPECT_EQ(CountLogged("left out of collision tests"), before + 1);
    // Mended, it takes part again and no number that is not one came out.
    bad->MoveTo({0, 0, 0});
    static_cast<CTBox*>(bad->GetCollisionVolume())->SetDimensions(Vector3(1, 1, 1));
    m_collisions->SetEntityFlags(bad, CTCollisionManager::kRecompute, CTCollisionManager::kRecompute);
    EXPECT_EQ(m_collisions->ProcessAll(), 1);
    ASSERT_EQ(good->hits.size(), 1u);
    EXPECT_TRUE(std::isfinite(good->lastPoint.x) && std::isfinite(good->lastPoint.y));
  }
}

}  // namespace
