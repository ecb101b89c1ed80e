// The scene graph: world transforms, parents, kinds, passes, level of detail,
// files and teardown.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "core/geometry/CTBBox.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Logging.h"
#include "core/persist/MemoryStream.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTLODGroup.h"
#include "core/scene/CTLight.h"
#include "tests/scene/SceneFixture.h"

namespace {

using qibo::test::SceneFixture;
constexpr float kTolerance = 1e-4f;

void ExpectNear(const Vector3& a, const Vector3& b) {
  EXPECT_NEAR(a.x, b.x, kTolerance);
  EXPECT_NEAR(a.y, b.y, kTolerance);
  EXPECT_NEAR(a.z, b.z, kTolerance);
}

Vector3 WorldPosition(CTEntity* e) {
  e->UpdateWorldSpace();
  return e->GetWorldTransform().GetPosition();
}

// A drawing pass over root with a context whose frustum has the given planes.
int Draws(CTEntity* root, RecordingBox* shape, const std::vector<Plane3>& planes = {},
          CTCamera* camera = nullptr) {
  DRenderContext context;
  context.frustum = DFrustum(static_cast<int>(planes.size()));
  for (size_t i = 0; i < planes.size(); ++i) context.frustum[static_cast<int>(i)] = planes[i];
  context.camera = camera;
  ProcessInfo_t info;
  info.flags = qibo::kPassDraw;
  info.render.context = &context;
  const size_t before = shape->rendered.size();
  root->Process(info);
  return static_cast<int>(shape->rendered.size() - before);
}

using SceneGraphTest = SceneFixture;

}  // namespace

// A three-level chain: the leaf's world transform follows every move of an
// ancestor, and only then; a locked position stays where it is in the world
// until it is unlocked, and then follows again.
TEST_F(SceneGraphTest, WorldTransformsFollowMovedAncestors) {
  for (const bool locked : {false, true}) {
    SCOPED_TRACE(locked ? "position locked" : "relative");
    CTGroup* root = Make<CTGroup>("root");
    CTGroup* mid = Make<CTGroup>("mid", root);
    CTEntity* leaf = Make<CTEntity>("leaf", mid);
    root->MoveTo(Vector3(10, 0, 0));
    mid->MoveTo(Vector3(0, 5, 0));
    mid->RotateToAz(std::numbers::pi / 2);
    leaf->MoveTo(Vector3(1, 0, 0));
    ExpectNear(WorldPosition(leaf), Vector3(10, 5, -1));
    if (locked) {
      leaf->LockPosition();
      leaf->UpdateWorldSpace();
    }
    EXPECT_FALSE(leaf->UpdateWorldSpace());  // nothing moved
    root->MoveByX(3);
    EXPECT_TRUE(leaf->UpdateWorldSpace());
    EXPECT_FALSE(leaf->UpdateWorldSpace());
    ExpectNear(leaf->GetWorldTransform().GetPosition(), locked ? Vector3(10, 5, -1) : Vector3(13, 5, -1));
    if (locked) {
      leaf->UnlockPosition();
      ExpectNear(WorldPosition(leaf), Vector3(10, 5, -1));
      root->MoveByX(1);
      ExpectNear(WorldPosition(leaf), Vector3(11, 5, -1));
    }
  }
}

// SetParent keeps the local placement, ChangeParent the world placement.
TEST_F(SceneGraphTest, SetParentKeepsLocalChangeParentKeepsWorld) {
  CTGroup* a = Make<CTGroup>("a");
  a->MoveTo(Vector3(5, 0, 0));
  a->RotateToAz(0.7);
  a->ScaleTo(2.0);
  CTGroup* b = Make<CTGroup>("b");
  b->MoveTo(Vector3(0, 0, 10));
  b->RotateToEl(0.3);
  for (const bool keepWorld : {false, true}) {
    SCOPED_TRACE(keepWorld ? "ChangeParent" : "SetParent");
    CTEntity* e = Make<CTEntity>("e", a);
    e->MoveTo(Vector3(1, 2, 3));
    e->RotateToTw(0.4);
    e->UpdateWorldSpace();
    const DTransform worldBefore = e->GetWorldTransform();
    const Vector3 probe(0.5f, -1.0f, 2.0f);
    const Vector3 localProbe = e->GetTransform().TransformPoint(probe);
    if (keepWorld)
      ASSERT_TRUE(e->ChangeParent(b));
    else
      ASSERT_TRUE(e->SetParent(b));
    EXPECT_EQ(e->GetParent(), b);
    EXPECT_EQ(e->GetHints() & CTEntity::kLockAll, 0u);
    e->UpdateWorldSpace();
    if (keepWorld) {
      ExpectNear(e->GetWorldTransform().TransformPoint(probe), worldBefore.TransformPoint(probe));
    } else {
      ExpectNear(e->GetTransform().TransformPoint(probe), localProbe);
      ExpectNear(e->GetWorldTransform().TransformPoint(probe), b->TransformToWorld(localProbe));
    }
  }
}

// Every world getter answers the current placement right after a move in
// the tree or of an ancestor, with nobody calling UpdateWorldSpace first.
// Each getter is checked on a scene of its own, so that none brings the
// cache up to date for another.
TEST_F(SceneGraphTest, WorldGettersAnswerTheCurrentPlacement) {
  const double quarter = std::numbers::pi / 2;
  const struct Getter {
    const char* name;
    std::function<void(CTEntity*, const Vector3& position, double az)> expect;
  } getters[] = {
      {"GetWorldPosition",
       [](CTEntity* e, const Vector3& p, double) { ExpectNear(e->GetWorldPosition(), p); }},
      {"GetWorldTransform",
       [](CTEntity* e, const Vector3& p, double) { ExpectNear(e->GetWorldTransform().GetPosition(), p); }},
      {"GetWorldAz", [](CTEntity* e, const Vector3&, double az) { EXPECT_NEAR(e->GetWorldAz(), az, 1e-5); }},
      {"GetWorldDirection",
       [](CTEntity* e, const Vector3&, double az) {
         ExpectNear(e->GetWorldDirection(), Vector3(std::sin(az), 0, std::cos(az)));
       }},
      {"GetWorldMatrix",
       [](CTEntity* e, const Vector3&, double az) {
         ExpectNear(e->GetWorldMatrix().Row(0), Vector3(std::cos(az), 0, -std::sin(az)));
       }},
      {"GetWorldQuat",
       [](CTEntity* e, const Vector3&, double az) {
         EXPECT_NEAR(std::fabs(e->GetWorldQuat().y), std::sin(az / 2), 1e-5);
       }},
  };
  for (const Getter& getter : getters) {
    SCOPED_TRACE(getter.name);
    CTGroup* a = Make<CTGroup>("a");
    CTGroup* b = Make<CTGroup>("b");
    b->MoveTo(Vector3(0, 0, 10));
    b->RotateToAz(quarter);
    CTEntity* e = Make<CTEntity>("e", a);
    e->MoveTo(Vector3(1, 0, 0));
    getter.expect(e, Vector3(1, 0, 0), 0);
    ASSERT_TRUE(e->SetParent(b));
    getter.expect(e, Vector3(0, 0, 9), quarter);
    b->MoveByY(2);
    getter.expect(e, Vector3(0, 2, 9), quarter);
    ASSERT_TRUE(e->ChangeParent(a));
    a->MoveByX(5);
    getter.expect(e, Vector3(5, 2, 9), quarter);
    ASSERT_TRUE(e->SetParent(nullptr));
    getter.expect(e, Vector3(0, 2, 9), quarter);
  }
}

// Locking or unlocking any part, alone or after others, never moves or
// resizes the entity, whatever its parent's turn and scale (uniform or
// not); once unlocked again it follows its parent like an entity that was
// never locked.
TEST_F(SceneGraphTest, LocksNeverChangeTheWorldPlacement) {
  using Op = void (CTEntity::*)();
  const Op lockP = &CTEntity::LockPosition, lockR = &CTEntity::LockRotation, lockD = &CTEntity::LockDeform,
           lockAll = &CTEntity::LockTransform, unlockP = &CTEntity::UnlockPosition,
           unlockR = &CTEntity::UnlockRotation, unlockD = &CTEntity::UnlockDeform,
           unlockAll = &CTEntity::UnlockTransform;
  const std::vector<std::vector<Op>> sequences = {
      {lockP, unlockP},
      {lockR, unlockR},
      {lockD, unlockD},
      {lockR, lockD, unlockD, unlockR},
      {lockR, lockD, unlockR, unlockD},
      {lockD, lockP, unlockD, unlockP},
      {lockAll, unlockP, unlockR, unlockD},
      {lockAll, unlockD, unlockR, unlockP},
      {lockAll, unlockAll},
  };
  const Vector3 scales[] = {Vector3(2, 2, 2), Vector3(2, 1, 3)};
  const Vector3 probes[] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0), Vector3(0.5f, -1, 2)};
  for (const Vector3& scale : scales) {
    for (size_t n = 0; n < sequences.size(); ++n) {
      SCOPED_TRACE(testing::Message() << "scale " << scale.y << ", sequence " << n);
      CTGroup* parent = Make<CTGroup>("parent");
      parent->MoveTo(Vector3(1, 2, 3));
      parent->SetEuler(0.5, 0.3, 0.2);
      parent->ScaleTo(scale);
      CTEntity* e = Make<CTEntity>("e", parent);
      CTEntity* twin = Make<CTEntity>("twin", parent);
      for (CTEntity* x : {e, twin}) {
        x->MoveTo(Vector3(1, 1, 1));
        x->SetEuler(-0.4, 0.2, 0.1);
        x->ScaleTo(Vector3(1, 2, 1));
      }
      std::vector<Vector3> before;
      for (const Vector3& p : probes) before.push_back(e->TransformToWorld(p));
      for (const Op op : sequences[n]) {
        (e->*op)();
        for (size_t i = 0; i < std::size(probes); ++i) ExpectNear(e->TransformToWorld(probes[i]), before[i]);
      }
      EXPECT_EQ(e->GetHints() & CTEntity::kLockAll, 0u);
      parent->RotateByAz(0.25);
      parent->MoveByY(-2);
      for (const Vector3& p : probes) ExpectNear(e->TransformToWorld(p), twin->TransformToWorld(p));
    }
  }
}

// Kind counts follow a subtree that moves between groups, cycles are
// refused with the tree left as it was, and masks cut whole subtrees.
TEST_F(SceneGraphTest, KindsFollowMovesCyclesAreRefusedMasksCutSubtrees) {
  CTGroup* root = Make<CTGroup>("root");
  CTGroup* left = Make<CTGroup>("left", root);
  CTGroup* right = Make<CTGroup>("right", root);
  CTGroup* deep = Make<CTGroup>("deep", left);
  CTDrawable* drawable = Make<CTDrawable>("drawable", deep);
  auto* shape = Make<RecordingBox>();
  drawable->SetShape(shape);
  Make<CTLight>("light", deep);
  for (CTGroup* g : {root, left, deep}) {
    EXPECT_EQ(g->GetKindCount(CTEntity::kKindDrawable | CTEntity::kKindLight), 2) << g->GetName();
    EXPECT_EQ(g->GetKind(), CTEntity::kKindDrawable | CTEntity::kKindLight) << g->GetName();
  }
  EXPECT_EQ(right->GetKind(), 0u);

  ASSERT_TRUE(deep->SetParent(right));
  EXPECT_EQ(left->GetKind(), 0u);
  EXPECT_EQ(right->GetKindCount(CTEntity::kKindDrawable), 1);
  EXPECT_EQ(deep->GetTreeLevel(), 2);
  ExpectConsistent(root);

  // Cycles: the tree stays as it was.
  EXPECT_FALSE(root->SetParent(deep));
  EXPECT_FALSE(right->ChangeParent(deep));
  EXPECT_FALSE(deep->SetParent(deep));
  EXPECT_TRUE(Logged("own ancestor"));
  EXPECT_TRUE(root->IsRoot());
  EXPECT_EQ(deep->GetParent(), right);
  ExpectConsistent(root);

  EXPECT_EQ(Draws(root, shape), 1);
  right->Hide();
  EXPECT_EQ(Draws(root, shape), 0);  // the drawable itself is visible
  right->Show();
  drawable->Disable();
  EXPECT_EQ(Draws(root, shape), 0);
  drawable->Enable();
  EXPECT_EQ(Draws(root, shape), 1);
}

// Culling: a drawable and a group's box against a one-plane frustum (x <= 0
// is inside); a point set too small to be worth culling is always drawn.
TEST_F(SceneGraphTest, DrawablesAndGroupsAreCulledByTheirBounds) {
  const std::vector<Plane3> leftHalf = {Plane3{Vector3(1, 0, 0), 0.0f}};
  CTGroup* root = Make<CTGroup>("root");
  CTDrawable* drawable = Make<CTDrawable>("drawable", root);
  auto* shape = Make<RecordingBox>();
  drawable->SetShape(shape);
  ASSERT_NE(drawable->CreateBoundingVolume(), nullptr);
  struct Case {
    float x;
    int draws;
  } cases[] = {{-5, 1}, {0, 1}, {5, 0}};
  for (const Case& c : cases) {
    drawable->MoveTo(Vector3(c.x, 0, 0));
    EXPECT_EQ(Draws(root, shape, leftHalf), c.draws) << c.x;
  }
  // The group's box around its children culls the whole subtree at once.
  drawable->UseBoundingVolume(nullptr);
  drawable->MoveTo(Vector3(6, 0, 0));
  CTShape* box = root->CreateBoundingVolume();
  ASSERT_NE(box, nullptr);
  const Vector3 low = box->GetSupport(Vector3(-1, -1, -1)) + static_cast<CTBBox*>(box)->GetPivot();
  ExpectNear(low, Vector3(5.5f, -0.5f, -0.5f));
  EXPECT_EQ(drawable->GetBoundingVolume(), nullptr);  // used for the box only
  EXPECT_EQ(Draws(root, shape, leftHalf), 0);
  root->MoveTo(Vector3(-10, 0, 0));
  EXPECT_EQ(Draws(root, shape, leftHalf), 1);
}

// Level of detail: distances 10, 50, 200 choose by the metric distance x
// tan(fov / 2) (a 90-degree camera makes it the distance), strictly below
// each limit; slots keep ascending order; a 17th child never takes part.
TEST_F(SceneGraphTest, LevelOfDetailChoosesOneChildByDistance) {
  CTLODGroup* lod = Make<CTLODGroup>("lod");
  auto* shape = Make<RecordingBox>();
  CTDrawable* children[3];
  for (CTDrawable*& child : children) {
    child = Make<CTDrawable>("level", lod);
    child->SetShape(shape);
  }
  EXPECT_TRUE(lod->SetMaxDistance(children[0], 10));
  EXPECT_TRUE(lod->SetMaxDistance(children[1], 50));
  EXPECT_TRUE(lod->SetMaxDistance(children[2], 200));
  CTCamera* camera = Make<CTCamera>("camera");
  camera->SetFOV(90);
  struct Case {
    float distance;
    int chosen;  // -1: none
  } cases[] = {{5, 0}, {49, 1}, {50.01f, 2}, {199, 2}, {250, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.distance);
    camera->MoveTo(Vector3(0, 0, -c.distance));
    shape->rendered.clear();
    Draws(lod, shape, {}, camera);
    ASSERT_EQ(shape->rendered.size(), c.chosen < 0 ? 0u : 1u);
    if (c.chosen >= 0) {
      EXPECT_EQ(shape->rendered[0], &children[c.chosen]->GetWorldTransform());
    }
  }
  ASSERT_TRUE(lod->SetMaxDistance(children[2], 1));
  EXPECT_EQ(lod->GetChild(0), children[2]);
  const float sorted[] = {1, 10, 50};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(lod->GetChildDistance(i), sorted[i]);
  EXPECT_EQ(lod->GetChildDistance(3), CTLODGroup::kNoLimit);
  for (int i = 3; i < 17; ++i) Make<CTEntity>("more", lod);
  EXPECT_FALSE(lod->SetMaxDistance(lod->GetChild(16), 5));
  EXPECT_EQ(lod->GetMaxDistance(lod->GetChild(16)), CTLODGroup::kNoLimit);
}

// A child leaving a level-of-detail group takes its distance with it: the
// others keep theirs, still in ascending order, whichever slot was freed;
// a child beyond the sixteen slots that moves up has no limit.
TEST_F(SceneGraphTest, LevelOfDetailDistancesStayWithTheirChildren) {
  for (int leaving = 0; leaving < 4; ++leaving) {
    SCOPED_TRACE(leaving);
    CTLODGroup* lod = Make<CTLODGroup>("lod");
    std::vector<CTEntity*> children;
    for (int i = 0; i < CTLODGroup::kSlots + 1; ++i) children.push_back(Make<CTEntity>("level", lod));
    const float distances[] = {10, 50, 200, 400};
    for (int i = 0; i < 4; ++i)
      ASSERT_TRUE(lod->SetMaxDistance(children[static_cast<size_t>(i)], distances[i]));
    ASSERT_TRUE(children[static_cast<size_t>(leaving)]->SetParent(nullptr));
    for (int i = 0; i < 4; ++i) {
      if (i != leaving) {
        EXPECT_EQ(lod->GetMaxDistance(children[static_cast<size_t>(i)]), distances[i]);
      }
    }
    for (int slot = 1; slot < CTLODGroup::kSlots; ++slot)
      EXPECT_LE(lod->GetChildDistance(slot - 1), lod->GetChildDistance(slot));
    EXPECT_EQ(lod->GetMaxDistance(children.back()), CTLODGroup::kNoLimit);
    std::vector<float> kept(std::begin(distances), std::end(distances));
    kept.erase(kept.begin() + leaving);
    for (int slot = 0; slot < 3; ++slot)
      EXPECT_EQ(lod->GetChildDistance(slot), kept[static_cast<size_t>(slot)]);
    EXPECT_EQ(lod->GetChildDistance(3), CTLODGroup::kNoLimit);
  }
}

// Deleting a 100,000-deep chain or a wide tree, and reading the world
// transform at the bottom of the chain, never recurse once per level.
TEST_F(SceneGraphTest, DeepAndWideTreesTearDownWithoutRecursion) {
  const int32_t before = CTEntity::_CD()->GetInstances() + CTGroup::_CD()->GetInstances();
  {
    Ref<CTGroup> root = qibo::Create<CTGroup>();
    CTGroup* tail = root.Get();
    for (int i = 0; i < 100000; ++i) {
      Ref<CTGroup> next = qibo::Create<CTGroup>();
      next->SetParent(tail);
      tail = next.Get();
    }
    root->MoveTo(Vector3(1, 2, 3));
    ExpectNear(WorldPosition(tail), Vector3(1, 2, 3));
    EXPECT_EQ(tail->GetTreeLevel(), 100000);
    for (int i = 0; i < 100; ++i) {
      Ref<CTGroup> branch = qibo::Create<CTGroup>();
      branch->SetParent(root.Get());
      for (int j = 0; j < 100; ++j) Ref<CTEntity>(qibo::Create<CTEntity>().Get())->SetParent(branch.Get());
    }
  }
  EXPECT_EQ(CTEntity::_CD()->GetInstances() + CTGroup::_CD()->GetInstances(), before);
}
