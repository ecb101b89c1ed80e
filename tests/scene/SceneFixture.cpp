#include "tests/scene/SceneFixture.h"

#include "core/kernel/ClassApi.h"

QIBO_IMPLEMENT_CLASS(RecordingBox, CTBox, .desc = "Recording box")

namespace qibo::test {

void SceneFixture::SetUp() {
  ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
  StartLog();
  qiBO_RegisterClass(RecordingBox::_CD());
}

void SceneFixture::TearDown() {
  m_owned.clear();
  qiBO_UnregisterClass(RecordingBox::_CD());
  EngineFixture::TearDown();
}

void SceneFixture::ExpectConsistent(CTEntity* root) {
  std::vector<CTEntity*> pending{root};
  while (!pending.empty()) {
    CTEntity* e = pending.back();
    pending.pop_back();
    EXPECT_EQ(e->GetTreeLevel(), e->GetParent() ? e->GetParent()->GetTreeLevel() + 1 : 0) << e->GetName();
    auto* group = qibo::Cast<CTGroup>(e);
    if (!group) continue;
    int counts[8] = {};
    for (int i = 0; i < group->NumChildren(); ++i) {
      CTEntity* child = group->GetChild(i);
      EXPECT_EQ(child->GetParent(), group) << child->GetName();
      for (int k = 0; k < 8; ++k) counts[k] += child->GetKindCount(1u << (16 + k));
      pending.push_back(child);
    }
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(group->GetKindCountNo(k), counts[k]) << group->GetName() << " kind " << k;
      EXPECT_EQ((group->GetHints() >> (16 + k)) & 1u, counts[k] > 0 ? 1u : 0u) << group->GetName();
    }
  }
}

}  // namespace qibo::test
