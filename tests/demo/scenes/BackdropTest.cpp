#include "core/render/CTBasicSpectator.h"
#include "core/render/base/CTTexture.h"
#include "demo/scenes/Backdrop.h"
#include "tests/demo/scenes/DemoSceneFixture.h"

namespace qibo::test::scenes {
namespace {

using BackdropTest = DemoSceneFixture;

TEST_F(BackdropTest, ShowBackdrop_ChangesThePictureOnlyWhenItDiffers) {
  CTTexture* pictures[2] = {Make<CTTexture>(), Make<CTTexture>()};
  CTBasicSpectator* spectator = Make<CTBasicSpectator>();
  SetDemoSpectator(spectator);
  ASSERT_EQ(GetDemoSpectator(), spectator);

  struct Step {
    int picture;  // -1: none
    bool changes;
  };
  const Step steps[] = {{0, true}, {0, false}, {1, true}, {1, false}, {0, true}, {-1, true}, {-1, false}};
  for (const Step& step : steps) {
    CTTexture* picture = step.picture < 0 ? nullptr : pictures[step.picture];
    EXPECT_EQ(ShowBackdrop(picture), step.changes) << "picture " << step.picture;
    EXPECT_EQ(GetBackdrop(), picture);
    EXPECT_EQ(spectator->GetViewport().GetBackgroundPicture(), picture);
  }
  SetDemoSpectator(nullptr);
}

TEST_F(BackdropTest, WithoutSpectator_NothingIsShown_AndADeletedSpectatorIsForgotten) {
  CTTexture* picture = Make<CTTexture>();
  SetDemoSpectator(nullptr);
  EXPECT_FALSE(ShowBackdrop(picture));
  EXPECT_EQ(GetBackdrop(), nullptr);

  Ref<CTBasicSpectator> spectator = qibo::Create<CTBasicSpectator>();
  SetDemoSpectator(spectator.Get());
  EXPECT_TRUE(ShowBackdrop(picture));
  spectator.Reset();
  EXPECT_EQ(GetDemoSpectator(), nullptr);
  EXPECT_FALSE(ShowBackdrop(picture));
}

}  // namespace
}  // namespace qibo::test::scenes
