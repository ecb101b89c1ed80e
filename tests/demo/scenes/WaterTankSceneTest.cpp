#include <cmath>

#include "core/object/CTBasicPtr.h"
#include "demo/scenes/CTWaterTankScene.h"
#include "tests/demo/scenes/DemoSceneFixture.h"

namespace qibo::test::scenes {
namespace {

class WaterTankSceneTest : public DemoSceneFixture {
 protected:
  CTWaterTankScene* ActiveTank() {
    CTWaterTankScene* tank = Make<CTWaterTankScene>();
    tank->Build();
    tank->Activate();
    return tank;
  }
};

struct SpawnCase {
  const char* what;
  int32_t frame;  // ms
  int32_t total;  // ms
  int expected;
};

TEST_F(WaterTankSceneTest, Spawn_OneBallEvery100ms_UnlessBelow35FpsWithMoreThan20) {
  const SpawnCase cases[] = {
      {"100 fps", 10, 1000, 10},
      {"50 fps", 20, 2000, 20},
      {"40 fps is fast enough", 25, 3000, 30},
      {"20 fps stops at 21 balls", 50, 3000, 21},
      {"20 fps below the crowd limit", 50, 1500, 15},
  };
  for (const SpawnCase& c : cases) {
    SCOPED_TRACE(c.what);
    CTWaterTankScene* tank = ActiveTank();
    Tick(c.frame, c.total / c.frame);
    EXPECT_EQ(tank->GetBallCount(), c.expected);
    EXPECT_NEAR(tank->GetFrameRate(), 1000.0 / c.frame, 1e-9);
    for (int i = 0; i < tank->GetBallCount(); ++i) {
      const Vector3& p = tank->GetBalls()->GetChild(i)->GetPosition();
      EXPECT_LE(std::fabs(p.x), 10.0f);
      EXPECT_LE(std::fabs(p.z), 10.0f);
      EXPECT_LE(p.y, CTWaterTankScene::kSpawnHeight);
    }
    tank->Deactivate();
  }
}

TEST_F(WaterTankSceneTest, Ball_FallsUnderGravityAndIsRemovedOnceBelowMinusOne) {
  CTWaterTankScene* tank = ActiveTank();
  Tick(10, 10);
  ASSERT_EQ(tank->GetBallCount(), 1);
  SmartPtr<CTEntity> ball(tank->GetBalls()->GetChild(0));
  EXPECT_FLOAT_EQ(ball->GetPosition().y, CTWaterTankScene::kSpawnHeight);

  // Two seconds of free fall: 45 - g t^2 / 2, up to the explicit steps' lag.
  Tick(10, 200);
  ASSERT_TRUE(ball);
  EXPECT_NEAR(ball->GetPosition().y, 45.0 - 0.5 * 9.80665 * 4.0, 0.3);

  float last = ball->GetPosition().y;
  bool sawBelow = false;
  for (int tick = 0; tick < 200 && ball; ++tick) {
    Tick(10);
    if (!ball) break;
    EXPECT_LT(ball->GetPosition().y, last);
    EXPECT_FALSE(sawBelow) << "still there an update after dropping below -1";
    last = ball->GetPosition().y;
    sawBelow = last < CTWaterTankScene::kRemoveBelow;
  }
  EXPECT_FALSE(ball) << "never removed";
  EXPECT_LT(last, 0.0f);
  // Spawning goes on at its pace: 3.2 s or so of balls minus the first.
  EXPECT_GE(tank->GetBallCount(), 29);
  EXPECT_LE(tank->GetBallCount(), 33);
}

TEST_F(WaterTankSceneTest, WaterAndItsEnvironment_FollowTheScene) {
  CTWaterTankScene* tank = Make<CTWaterTankScene>();
  tank->Build();
  ASSERT_NE(tank->GetWater(), nullptr);
  ASSERT_NE(tank->GetEnvironment(), nullptr);
  EXPECT_DOUBLE_EQ(tank->GetWater()->GetAmplitudeA(), 1.0);
  EXPECT_DOUBLE_EQ(tank->GetWater()->GetAmplitudeB(), 0.4);
  EXPECT_EQ(tank->GetEnvironment()->GetBoundingVolume(), tank->GetWater());
  Engine();  // environments register with a running engine
  const int before = Engine()->GetEnvironmentCount();
  tank->Activate();
  EXPECT_TRUE(tank->GetWater()->IsAnimated());
  EXPECT_EQ(Engine()->GetEnvironmentCount(), before + 1);
  // A camera point in the waves is in the water's environment.
  tank->GetRoot()->UpdateWorldSpace();
  tank->GetEnvironment()->UpdateWorldSpace();
  EXPECT_EQ(Engine()->FindEnvironment(Vector3(5.0f, 0.0f, 5.0f)), tank->GetEnvironment());
  EXPECT_NE(Engine()->FindEnvironment(Vector3(5.0f, 20.0f, 5.0f)), tank->GetEnvironment());
  tank->Deactivate();
  EXPECT_FALSE(tank->GetWater()->IsAnimated());
  EXPECT_EQ(Engine()->GetEnvironmentCount(), before);
}

}  // namespace
}  // namespace qibo::test::scenes
