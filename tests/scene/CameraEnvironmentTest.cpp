// Cameras' and environments' settings, and environments in the engine.

#include <gtest/gtest.h>

#include <cmath>

#include "core/geometry/CTBox.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTLight.h"
#include "tests/scene/SceneFixture.h"

namespace {

using qibo::test::SceneFixture;
using CameraEnvironmentTest = SceneFixture;

}  // namespace

// Each setter against its rule; flag 0x1 (derived data valid) is cleared by
// a change and only by a change.
TEST_F(CameraEnvironmentTest, CameraSettersFollowTheirRules) {
  struct Case {
    const char* what;
    void (*change)(CTCamera&);
    float fov, nearDist, farDist;
    bool nearClip, farClip, changed;
  } cases[] = {
      {"ZoomBy(2)", [](CTCamera& c) { c.ZoomBy(2); }, 32.2042f, 0.1f, 1000, true, true, true},
      {"ZoomBy(1)", [](CTCamera& c) { c.ZoomBy(1); }, 60, 0.1f, 1000, true, true, false},
      {"ChangeMM(50, 36)", [](CTCamera& c) { c.ChangeMM(50, 36); }, 39.5978f, 0.1f, 1000, true, true, true},
      {"near past far", [](CTCamera& c) { c.SetNearDist(2000); }, 60, 2000, 1000, true, false, true},
      {"far before near", [](CTCamera& c) { c.SetFarDist(0.05f); }, 60, 0.1f, 0.05f, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CTCamera camera;
    camera.SetDerivedValid();
    c.change(camera);
    EXPECT_NEAR(camera.GetFOV(), c.fov, 1e-3f);
    EXPECT_FLOAT_EQ(camera.GetNearDist(), c.nearDist);
    EXPECT_FLOAT_EQ(camera.GetFarDist(), c.farDist);
    EXPECT_EQ(camera.HasNearClip(), c.nearClip);
    EXPECT_EQ(camera.HasFarClip(), c.farClip);
    EXPECT_EQ((camera.GetCameraFlags() & CTCamera::kDerivedValid) == 0, c.changed);
  }
}

TEST_F(CameraEnvironmentTest, EnvironmentSettersFollowTheirRules) {
  CTEnvironment* air = Make<CTEnvironment>();
  EXPECT_STREQ(air->GetName(), "Environment");
  ASSERT_NE(qibo::Cast<CTLight>(air->GetLight()), nullptr);
  EXPECT_EQ(air->GetLight()->GetParent(), air);
  EXPECT_NEAR(air->GetLight()->GetDirection().y, -0.6 / std::sqrt(0.41), 1e-5);
  air->SetFogDensity(5);
  EXPECT_TRUE(air->HasFog());
  EXPECT_EQ(air->GetFogDensity(), 1.0f);
  air->SetFogDensity(0);
  EXPECT_FALSE(air->HasFog());
  air->SetGravity(Vector3());
  EXPECT_FALSE(air->HasGravity());
  air->SetWind(Vector3(0, 0, 2e-5f));
  EXPECT_TRUE(air->HasWind());
  air->SetDensityAsGas(28.96f, 1, 293.15f);
  EXPECT_NEAR(air->GetDensity(), 1.188, 1e-3);
}

// Registered environments join the engine, which keeps their world
// transforms up to date every frame; the default one is the first without
// bounds, else "Earth"; a point belongs to the bounded environment of
// highest priority that holds it.
TEST_F(CameraEnvironmentTest, EnvironmentsLiveInTheEngine) {
  auto* engine = static_cast<DefEngineManager*>(qibo::GetService<CTEngineManager>());
  ASSERT_NE(engine, nullptr);
  CTEnvironment* low = Make<CTEnvironment>("low");
  CTEnvironment* high = Make<CTEnvironment>("high");
  for (CTEnvironment* e : {low, high}) {
    e->UseBoundingVolume(Make<CTBox>("bounds"));
    static_cast<CTBox*>(e->GetBoundingVolume())->SetDimensions(10.0);
    ASSERT_TRUE(e->RegisterWithService());
  }
  high->SetPriority(2);
  high->MoveTo(Vector3(4, 0, 0));
  EXPECT_EQ(engine->GetEnvironmentCount(), 2);
  qiBO_DoFrame();
  EXPECT_FALSE(high->UpdateWorldSpace());  // the frame did it
  CTEnvironment* earth = qiBO_GetDefaultEnvironment();
  ASSERT_NE(earth, nullptr);
  EXPECT_STREQ(earth->GetName(), "Earth");
  EXPECT_EQ(qiBO_FindEnvironment(Vector3(0, 0, 0)), high);  // in both, higher priority
  EXPECT_EQ(qiBO_FindEnvironment(Vector3(-4, 0, 0)), low);
  EXPECT_EQ(qiBO_FindEnvironment(Vector3(100, 0, 0)), earth);
  ASSERT_TRUE(low->UnregisterWithService());
  EXPECT_EQ(engine->GetEnvironmentCount(), 1);
}
