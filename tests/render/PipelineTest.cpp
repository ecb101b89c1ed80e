#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/kernel/Kernel.h"
#include "core/render/DViewport.h"
#include "core/render/DefRenderPipelineManager.h"
#include "core/scene/CTCamera.h"
#include "tests/render/RenderFixture.h"

namespace qibo::test {
namespace {

using namespace qibo::state;

// A camera looking down +z from (0, 0, -10), a visible test target and the
// pipeline with its context begun.
class PipelineTest : public RenderFixture {
 protected:
  void SetUp() override {
    RenderFixture::SetUp();
    m_camera = Make<CTCamera>("Eye");
    m_camera->MoveTo(Vector3(0, 0, -10));
    m_target = Make<TestTarget>();
    m_target->Show();
    m_viewport.SetCamera(m_camera);
    m_viewport.SetDevice(m_target);
    m_viewport.UpdateViewTransform();
    m_pipeline = qibo::GetService<DefRenderPipelineManager>();
    ASSERT_TRUE(m_pipeline);
    m_pipeline->Start();
  }
  void TearDown() override {
    m_viewport.SetDevice(nullptr);
    RenderFixture::TearDown();
  }

  // Renders the mesh placed at world, in a fresh context of the viewport.
  bool Render(DRenderShape& mesh, const DTransform& world) {
    DRenderContext* context = m_viewport.GetRenderContext();
    if (!m_pipeline->BeginContext(context)) return false;
    RenderInfo_t info;
    info.context = context;
    info.world = &world;
    const bool drawn = m_pipeline->RenderShape(&mesh, info, kDrawnFilled);
    m_pipeline->EndContext(context);
    return drawn;
  }

  CTCamera* m_camera = nullptr;
  TestTarget* m_target = nullptr;
  DViewport m_viewport;
  DefRenderPipelineManager* m_pipeline = nullptr;
};

struct RouteCase {
  const char* name;
  std::set<std::string> enabled;
  std::string failing;
  uint32_t state;
  bool drawn;
  const char* drawnBy;  // the drawing stage, or null
  int steps;            // stage runs until the drawing stage, itself included
  uint32_t drawnState;  // the state the drawing stage saw
};

const RouteCase kRoutes[] = {
    {"clone, to world, light, to camera, draw",
     {"TestLightStage", "TestDrawCamera"},
     "",
     kShared | kLocal,
     true,
     "TestDrawCamera",
     5,
     kCamera | kLit},
    {"one step to a stage that lights local shapes",
     {"TestLightStage", "TestDrawCamera", "TestDrawLocalLight"},
     "",
     kShared | kLocal,
     true,
     "TestDrawLocalLight",
     1,
     kShared | kLocal},
    {"a tie goes to the earlier stage",
     {"TestDrawLocalLight2", "TestDrawLocalLight"},
     "",
     kShared | kLocal,
     true,
     "TestDrawLocalLight",
     1,
     kShared | kLocal},
    {"the later stage when it is alone",
     {"TestDrawLocalLight2"},
     "",
     kShared | kLocal,
     true,
     "TestDrawLocalLight2",
     1,
     kShared | kLocal},
    {"a temporary clone is drawn, then deleted",
     {"TestTemporaryClone", "TestLightStage", "TestDrawCamera"},
     "",
     kShared | kLocal,
     true,
     "TestDrawCamera",
     4,
     kTemporary | kCamera | kLit},
    {"already drawn: no stage runs",
     {"TestDrawLocalLight"},
     "",
     kShared | kLocal | kDrawnFilled,
     true,
     nullptr,
     0,
     0},
    {"no drawing stage: no route", {"TestLightStage"}, "", kShared | kLocal, false, nullptr, 0, 0},
    {"a failing stage ends the run",
     {"TestLightStage", "TestDrawCamera"},
     "TestLightStage",
     kShared | kLocal,
     false,
     nullptr,
     0,
     0},
};

TEST_F(PipelineTest, Routes_AreShortestAndLeaveTheOwnersShapeAlone) {
  for (const RouteCase& c : kRoutes) {
    SCOPED_TRACE(c.name);
    TestStage::s_enabled = c.enabled;
    TestStage::s_failing = c.failing;
    TestStage::s_draws.clear();
    m_pipeline->CreateStages();  // a fresh route cache for each case
    TestMeshShape shape;
    shape.m_mesh.SetState(c.state);
    const std::vector<Vector3> before(shape.m_mesh.GetVectors(), shape.m_mesh.GetVectors() + 3);
    DTransform world;
    world.SetPosition(Vector3(1, 2, 3));

    EXPECT_EQ(Render(shape.m_mesh, world), c.drawn);

    ASSERT_EQ(TestStage::s_draws.size(), c.drawnBy ? 1u : 0u);
    if (c.drawnBy) {
      const TestDraw& draw = TestStage::s_draws[0];
      EXPECT_EQ(draw.stage, c.drawnBy);
      EXPECT_EQ(draw.steps, c.steps);
      EXPECT_EQ(draw.state & ~kPerRun, c.drawnState);
      EXPECT_EQ(draw.shape == &shape.m_mesh, (c.state & kShared) && c.steps == 1);
    }
    // Only the per-run bits of the owner's shape change, and its positions
    // never do.
    EXPECT_EQ(shape.m_mesh.GetState(), c.state & ~kPerRun);
    EXPECT_EQ(std::vector<Vector3>(shape.m_mesh.GetVectors(), shape.m_mesh.GetVectors() + 3), before);
  }
}

TEST_F(PipelineTest, FiveStepRoute_DeliversCameraSpacePositions) {
  TestStage::s_enabled = {"TestLightStage", "TestDrawCamera"};
  TestMeshShape shape;
  DTransform world;
  world.SetPosition(Vector3(1, 2, 3));
  ASSERT_TRUE(Render(shape.m_mesh, world));
  ASSERT_EQ(TestStage::s_draws.size(), 1u);
  // Local (1, 0, 0) is (2, 2, 3) in the world, 13 in front of the camera.
  const std::vector<Vector3>& seen = TestStage::s_draws[0].positions;
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_NEAR(seen[1].x, 2.0f, 1e-5f);
  EXPECT_NEAR(seen[1].y, 2.0f, 1e-5f);
  EXPECT_NEAR(seen[1].z, 13.0f, 1e-5f);
}

TEST_F(PipelineTest, SearchesOncePerKey_FailuresIncluded) {
  TestStage::s_enabled = {"TestLightStage", "TestDrawCamera"};
  DTransform world;
  TestMeshShape first;
  TestMeshShape second;
  ASSERT_TRUE(Render(first.m_mesh, world));
  const int searches = m_pipeline->GetSearchCount();
  ASSERT_TRUE(Render(second.m_mesh, world));
  EXPECT_EQ(m_pipeline->GetSearchCount(), searches);

  // A state no stage takes: searched once, logged once, then answered from
  // the cache.
  first.m_mesh.SetState(kShared | kScreen);
  second.m_mesh.SetState(kShared | kScreen);
  EXPECT_FALSE(Render(first.m_mesh, world));
  EXPECT_FALSE(Render(second.m_mesh, world));
  EXPECT_EQ(m_pipeline->GetSearchCount(), searches + 1);
  EXPECT_EQ(CountLogged("No pipeline route from state 0x00002010"), 1);

  // And a failure does not stay: the next frame draws again.
  TestStage::s_failing = "TestDrawCamera";
  EXPECT_FALSE(Render(first.m_mesh, world));
  TestStage::s_failing.clear();
  first.m_mesh.SetState(kShared | kLocal);
  EXPECT_TRUE(Render(first.m_mesh, world));
}

TEST_F(PipelineTest, Contexts_NeedCameraTargetAndViewport_AndShapesNeedAContext) {
  TestStage::s_enabled = {"TestDrawLocalLight"};
  DRenderContext context = *m_viewport.GetRenderContext();
  DTransform world;
  TestMeshShape shape;
  RenderInfo_t info;
  info.context = &context;
  info.world = &world;
  // Outside BeginContext nothing is drawn, and nothing is cached that would
  // stop a later context.
  EXPECT_FALSE(m_pipeline->RenderShape(&shape.m_mesh, info, kDrawnFilled));
  EXPECT_EQ(m_pipeline->GetSearchCount(), 0);

  for (auto clear :
       {+[](DRenderContext& c) { c.camera = nullptr; }, +[](DRenderContext& c) { c.target = nullptr; },
        +[](DRenderContext& c) { c.viewport = nullptr; }}) {
    DRenderContext broken = context;
    clear(broken);
    EXPECT_FALSE(m_pipeline->BeginContext(&broken));
    EXPECT_EQ(m_pipeline->GetActiveStageCount(), 0);
  }
  ASSERT_TRUE(m_pipeline->BeginContext(&context));
  EXPECT_TRUE(m_pipeline->RenderShape(&shape.m_mesh, info, kDrawnFilled));
  m_pipeline->EndContext(&context);

  // A context filled outside the engine's frame, whose pipeline nobody has
  // fetched yet: a shape's Render fetches it and draws.
  context.pipeline.Reset();
  ASSERT_TRUE(m_pipeline->BeginContext(&context));
  TestStage::s_draws.clear();
  shape.Render(info, nullptr);
  m_pipeline->EndContext(&context);
  EXPECT_EQ(context.pipeline.Get(), m_pipeline);
  EXPECT_EQ(TestStage::s_draws.size(), 1u);
}

TEST_F(PipelineTest, Stages_AreMadeFromTheRegistryAndNamedByDescription) {
  std::vector<std::string> names;
  for (int i = 0; i < m_pipeline->GetStageCount(); ++i) names.push_back(m_pipeline->GetStage(i)->GetName());
  // The abstract stage classes make none.
  const std::vector<std::string> expected = {"CachedShapeClone", "DrawVertexNormals", "DrawFaceNormals",
                                             "LocalToWorld",     "LightWorld",        "WorldToCamera",
                                             "WorldToView",      "Test light",        "Test draw camera",
                                             "Test draw local",  "Test draw local 2", "Test temporary clone"};
  EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace qibo::test
