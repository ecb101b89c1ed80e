#include <cmath>
#include <limits>

#include "demo/scenes/CTFader.h"
#include "tests/demo/scenes/DemoSceneFixture.h"

namespace qibo::test::scenes {
namespace {

using FaderTest = DemoSceneFixture;

struct LevelCase {
  const char* what;
  float duration;  // 0: not set (the fader's own 10 s)
  float start;
  int32_t frame;  // ms
  int frames;
  float expected;
};

TEST_F(FaderTest, Level_MovesByElapsedOverDurationAndIsClamped) {
  const LevelCase cases[] = {
      {"fade in over 4 s, one second", 4.0f, 0.0f, 1000, 1, 0.25f},
      {"fade in in small frames", 4.0f, 0.0f, 20, 50, 0.25f},
      {"fade out over 4 s", -4.0f, 1.0f, 1000, 1, 0.75f},
      {"fade out over 0.4 s ends at 0", -0.4f, 1.0f, 100, 6, 0.0f},
      {"fade in past 1 stops at 1", 3.0f, 0.9f, 500, 4, 1.0f},
      {"the starting duration is 10 s", 0.0f, 0.0f, 500, 5, 0.25f},
  };
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.what);
    CTFader* fader = Make<CTFader>();
    fader->Activate();
    if (c.duration != 0.0f) {
      EXPECT_TRUE(fader->SetDuration(c.duration));
    }
    fader->SetLevel(c.start);
    Tick(c.frame, c.frames);
    EXPECT_NEAR(fader->GetLevel(), c.expected, 1e-5f);
    fader->Deactivate();
    Tick(c.frame, c.frames);  // inactive: the level stays
    EXPECT_NEAR(fader->GetLevel(), c.expected, 1e-5f);
  }
}

TEST_F(FaderTest, SettersRefuseOrClampBadValues) {
  CTFader* fader = Make<CTFader>();
  EXPECT_EQ(fader->GetDuration(), CTFader::kDefaultDuration);
  for (float bad : {0.0f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
    EXPECT_FALSE(fader->SetDuration(bad));
    EXPECT_EQ(fader->GetDuration(), CTFader::kDefaultDuration);
  }
  const float levels[][2] = {{-0.5f, 0.0f}, {1.5f, 1.0f}, {std::nanf(""), 0.0f}, {0.3f, 0.3f}};
  for (const auto& level : levels) {
    fader->SetLevel(level[0]);
    EXPECT_EQ(fader->GetLevel(), level[1]);
  }
}

TEST_F(FaderTest, Veil_OnTheDrawListWhileActive_ShownAboveZeroWithLevelAsOpacity) {
  CTFader* fader = Make<CTFader>();
  fader->SetColor(DColor{1.0f, 1.0f, 1.0f, 1.0f});
  ASSERT_NE(fader->GetVeil(), nullptr);
  EXPECT_EQ(Engine()->GetDrawableCount(), 0);
  fader->Activate();
  fader->Activate();
  EXPECT_EQ(Engine()->GetDrawableCount(), 1);
  EXPECT_TRUE(fader->GetVeil()->IsHidden());  // level 0: nothing drawn
  fader->SetLevel(0.5f);
  EXPECT_FALSE(fader->GetVeil()->IsHidden());
  CTMaterial* material = fader->GetVeil()->GetMaterial();
  ASSERT_NE(material, nullptr);
  EXPECT_NEAR(material->m_alpha, 0.5, 1e-6);
  EXPECT_TRUE(material->m_useAlpha);
  EXPECT_TRUE(material->m_useVertexColor);
  EXPECT_EQ(fader->GetColor().g, 1.0f);
  fader->SetLevel(1.0f);
  EXPECT_FALSE(material->m_useAlpha);  // fully covering: drawn opaque
  fader->Deactivate();
  EXPECT_EQ(Engine()->GetDrawableCount(), 0);
}

}  // namespace
}  // namespace qibo::test::scenes
