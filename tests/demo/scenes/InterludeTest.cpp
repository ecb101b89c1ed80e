#include <vector>

#include "core/scene/CTDrawable.h"
#include "demo/scenes/CTInterlude.h"
#include "tests/demo/scenes/DemoSceneFixture.h"

namespace qibo::test::scenes {
namespace {

class InterludeTest : public DemoSceneFixture {
 protected:
  static std::vector<uint8_t> Cells(const ConwayField* field) {
    return std::vector<uint8_t>(field->GetCurrent(), field->GetCurrent() + field->GetCellCount());
  }
};

TEST_F(InterludeTest, Closing_NoCellIsBornAndTheFieldDiesAwayEvenlyAndVanishes) {
  CTInterlude* interlude = Make<CTInterlude>();
  interlude->Build();
  ConwayField* field = interlude->GetField();
  ASSERT_NE(field, nullptr);
  ASSERT_EQ(field->GetSide(), 32);
  interlude->Activate();
  EXPECT_TRUE(field->IsRunning());
  EXPECT_TRUE(interlude->GetGrain()->IsShown());

  // Before closing the field lives: some generation gives birth.
  bool born = false;
  for (int generation = 0; generation < 10 && !born; ++generation) {
    const std::vector<uint8_t> before = Cells(field);
    Tick(20, 20);
    const std::vector<uint8_t> after = Cells(field);
    for (size_t i = 0; i < after.size(); ++i) born = born || (after[i] && !before[i]);
  }
  EXPECT_TRUE(born);

  interlude->BeginClosing();
  EXPECT_TRUE(interlude->IsClosing());
  EXPECT_FALSE(field->IsRunning());
  const int start = interlude->GetLiveCount();
  int live = start;
  ASSERT_GT(live, 0);
  // Evenly over the closing phase: about half the cells are left halfway,
  // some still live in its last quarter, and none at its end.
  int32_t elapsed = 0;
  while (live > 0 && elapsed < 20000) {
    const std::vector<uint8_t> before = Cells(field);
    Tick(20, 20);
    elapsed += 400;
    const std::vector<uint8_t> after = Cells(field);
    for (size_t i = 0; i < after.size(); ++i) ASSERT_FALSE(after[i] && !before[i]) << "cell " << i << " born";
    const int now = interlude->GetLiveCount();
    EXPECT_LT(now, live) << "a closing generation kills at least one cell";
    live = now;
    if (elapsed == CTInterlude::kClosingDuration / 2 / 400 * 400) {
      EXPECT_GE(live * 10, start * 4) << "at " << elapsed << " ms";
      EXPECT_LE(live * 10, start * 6) << "at " << elapsed << " ms";
    }
  }
  EXPECT_EQ(live, 0);
  EXPECT_GE(elapsed, CTInterlude::kClosingDuration * 3 / 4);
  EXPECT_LE(elapsed, CTInterlude::kClosingDuration);
  Tick(20, 50);  // one more second: every cube has shrunk away
  for (int i = 0; i < field->GetCellCount(); ++i) EXPECT_TRUE(field->GetCube(i)->IsHidden()) << "cube " << i;

  // Shown again while closing, the field does not start living again.
  interlude->Deactivate();
  EXPECT_FALSE(interlude->GetGrain()->IsShown());
  interlude->Activate();
  EXPECT_FALSE(field->IsRunning());
  Tick(20, 50);
  EXPECT_EQ(interlude->GetLiveCount(), 0);
}

}  // namespace
}  // namespace qibo::test::scenes
