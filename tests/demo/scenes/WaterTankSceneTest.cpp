#include <algorithm>
#include <cmath>

#include "core/object/CTBasicPtr.h"
#include "demo/scenes/CTSplashController.h"
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

TEST_F(WaterTankSceneTest, Ball_FallsSplashesOnTheWaterSinksAndIsRemovedBelowMinusOne) {
  CTWaterTankScene* tank = ActiveTank();
  Tick(10, 10);
  ASSERT_EQ(tank->GetBallCount(), 1);
  SmartPtr<CTEntity> ball(tank->GetBalls()->GetChild(0));
  auto* body = qibo::Cast<CTSplashController>(ball->GetController());
  ASSERT_NE(body, nullptr);
  EXPECT_NEAR(ball->GetPosition().y, CTWaterTankScene::kSpawnHeight, 0.01f);

  // Two seconds of free fall: 45 - g t^2 / 2, up to the steps' lag and
  // the air's drag.
  Tick(10, 200);
  ASSERT_TRUE(ball);
  EXPECT_NEAR(ball->GetPosition().y, 45.0 - 0.5 * 9.80665 * 4.0, 0.3);

  // Down to the water, up again (the splash), down through the surface.
  enum Phase { kFalling, kRising, kSinking } phase = kFalling;
  float peak = 0.0f, lowestBeforeSplash = 100.0f, last = ball->GetPosition().y;
  float entrySpeed = 0.0f, lastSpeed = 0.0f;
  for (int tick = 0; tick < 1000 && ball; ++tick) {
    Tick(10);
    if (!ball) break;
    const float y = ball->GetPosition().y;
    const float v = body->GetVelocity().y;
    if (phase == kFalling) lowestBeforeSplash = std::min(lowestBeforeSplash, y);
    if (phase == kFalling && v > 0.0f) phase = kRising;
    if (phase == kRising) peak = std::max(peak, y);
    if (phase == kRising && v < 0.0f) phase = kSinking;
    if (phase == kSinking && y < 1.0f && entrySpeed == 0.0f) entrySpeed = -v;
    lastSpeed = -v;
    EXPECT_GE(last, CTWaterTankScene::kRemoveBelow) << "still there a frame after dropping below -1";
    last = y;
  }
  EXPECT_FALSE(ball) << "never removed";
  EXPECT_EQ(phase, kSinking);
  // The splash: off the top of the waves, a visible bounce.
  EXPECT_GT(lowestBeforeSplash, 1.0f);
  EXPECT_GT(peak, lowestBeforeSplash + 2.0f);
  // Through the water it slows down: no free fall there.
  EXPECT_GT(entrySpeed, 0.0f);
  EXPECT_LT(lastSpeed, entrySpeed);
  EXPECT_LT(last, CTWaterTankScene::kRemoveBelow);
}

TEST_F(WaterTankSceneTest, Balls_StayBoundedOverTheWholeScene) {
  // The tank shows for 50 s of the timeline; at 100 frames a second the
  // rain never stops, and balls leave as fast as they come.
  CTWaterTankScene* tank = ActiveTank();
  int most = 0;
  int splashed = 0;
  for (int second = 0; second < 50; ++second) {
    Tick(10, 100);
    most = std::max(most, tank->GetBallCount());
    for (int i = 0; i < tank->GetBallCount(); ++i) {
      CTEntity* ball = tank->GetBalls()->GetChild(i);
      const Vector3& p = ball->GetPosition();
      ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
      EXPECT_GE(p.y, CTWaterTankScene::kRemoveBelow - 0.5f);
      auto* body = qibo::Cast<CTSplashController>(ball->GetController());
      if (body && body->HasSplashed()) ++splashed;
    }
  }
  EXPECT_GT(most, 30);
  EXPECT_LT(most, 90);
  EXPECT_GT(splashed, 0);
  EXPECT_LT(tank->GetBallCount(), 90);
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
