#include <algorithm>
#include <vector>

#include "demo/scenes/CTBoxScene.h"
#include "tests/demo/scenes/DemoSceneFixture.h"

namespace qibo::test::scenes {
namespace {

using BoxSceneTest = DemoSceneFixture;

std::vector<CTEntity*> Children(const CTGroup* group) {
  std::vector<CTEntity*> children;
  for (int i = 0; i < group->NumChildren(); ++i) children.push_back(group->GetChild(i));
  return children;
}

TEST_F(BoxSceneTest, Ring_ReinsertsItsChildrenEvery2sAndTheyGlideToTheirNewSlots) {
  CTBoxScene* scene = Make<CTBoxScene>();
  scene->Build();
  CTGroup* ring = scene->GetRing();
  ASSERT_NE(ring, nullptr);
  ASSERT_EQ(ring->NumChildren(), CTBoxScene::kRingCount);
  scene->Activate();
  std::vector<CTEntity*> order = Children(ring);
  int reorders = 0;
  for (int period = 0; period < 4; ++period) {
    Tick(20, 99);
    EXPECT_EQ(Children(ring), order) << "reinserted early";
    Tick(20);
    std::vector<CTEntity*> now = Children(ring);
    EXPECT_TRUE(std::is_permutation(now.begin(), now.end(), order.begin(), order.end()));
    for (CTEntity* box : now) EXPECT_EQ(box->GetParent(), ring);
    reorders += now != order ? 1 : 0;
    order = now;
  }
  EXPECT_GE(reorders, 3);
  // Just before the next reinsertion every box has reached the slot of its
  // place, though the ring turns.
  Tick(20, 95);
  for (int i = 0; i < ring->NumChildren(); ++i)
    EXPECT_LT((ring->GetChild(i)->GetPosition() - scene->RingSlot(i)).Length(), 0.05f) << "box " << i;
}

}  // namespace
}  // namespace qibo::test::scenes
