#include <functional>
#include <string>

#include "core/scene/CTGroup.h"
#include "demo/scenes/CTBoxScene.h"
#include "demo/scenes/CTDoubleTorusScene.h"
#include "demo/scenes/CTFader.h"
#include "demo/scenes/CTInterlude.h"
#include "demo/scenes/CTTorusScene.h"
#include "demo/scenes/CTWaterTankScene.h"
#include "tests/demo/scenes/DemoSceneFixture.h"

namespace qibo::test::scenes {
namespace {

using DemoSceneTest = DemoSceneFixture;

struct SceneKind {
  const char* name;
  std::function<Ref<CTDemoScene>()> make;
};

template <class T>
SceneKind Kind(const char* name) {
  return {name, [] { return Ref<CTDemoScene>(qibo::Create<T>()); }};
}

const SceneKind kContentScenes[] = {
    Kind<CTTorusScene>("torus"),          Kind<CTDoubleTorusScene>("double torus"),
    Kind<CTWaterTankScene>("water tank"), Kind<CTBoxScene>("box"),
    Kind<CTInterlude>("interlude"),
};

// Builds the scene under a world group, as the application does.
Ref<CTDemoScene> BuildUnder(const SceneKind& kind, CTGroup* world) {
  Ref<CTDemoScene> scene = kind.make();
  scene->Build();
  scene->Build();  // a second Build makes nothing more
  scene->GetRoot()->SetParent(world);
  return scene;
}

TEST_F(DemoSceneTest, ContentMovesOnlyWhileActive) {
  for (const SceneKind& kind : kContentScenes) {
    SCOPED_TRACE(kind.name);
    Ref<CTGroup> world = qibo::Create<CTGroup>();
    Ref<CTDemoScene> scene = BuildUnder(kind, world.Get());
    ASSERT_TRUE(scene->IsBuilt());
    ASSERT_GT(scene->GetRoot()->NumChildren(), 0);
    const std::vector<float> built = MotionSignature(scene->GetRoot());
    Tick(20, 30);
    EXPECT_EQ(MotionSignature(scene->GetRoot()), built) << "moved before Activate";

    scene->Activate();
    EXPECT_TRUE(scene->IsActive());
    Tick(20, 30);
    const std::vector<float> moved = MotionSignature(scene->GetRoot());
    EXPECT_NE(moved, built) << "still while active";

    scene->Deactivate();
    EXPECT_FALSE(scene->IsActive());
    Tick(20, 150);  // 3 s: past every periodic update of the scenes
    EXPECT_EQ(MotionSignature(scene->GetRoot()), moved) << "moved after Deactivate";

    scene->Activate();
    Tick(20, 5);
    EXPECT_NE(MotionSignature(scene->GetRoot()), moved) << "still after a second Activate";
  }
}

TEST_F(DemoSceneTest, ReleasingAnActiveScene_TakesItsContentAndDrawListEntriesAlong) {
  std::vector<SceneKind> kinds(std::begin(kContentScenes), std::end(kContentScenes));
  kinds.push_back(Kind<CTFader>("fader"));
  for (const SceneKind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    Ref<CTGroup> world = qibo::Create<CTGroup>();
    Ref<CTDemoScene> scene = BuildUnder(kind, world.Get());
    scene->Activate();
    Tick(20, 10);
    const bool drawsOverlay = std::string(kind.name) == "interlude" || std::string(kind.name) == "fader";
    EXPECT_EQ(Engine()->GetDrawableCount(), drawsOverlay ? 1 : 0);
    const ClassDesc* cd = scene->GetCD();
    const int32_t instances = cd->GetInstances();
    scene.Reset();
    EXPECT_EQ(cd->GetInstances(), instances - 1) << "the scene is gone";
    EXPECT_EQ(world->NumChildren(), 0);
    EXPECT_EQ(Engine()->GetDrawableCount(), 0);
    Tick(20, 10);  // nothing of the scene runs any more
  }
}

}  // namespace
}  // namespace qibo::test::scenes
