#include <gtest/gtest.h>

#include <vector>

#include "core/kernel/Kernel.h"
#include "core/render/CTPipelineStage_CachedClone.h"
#include "core/render/CTPipelineStage_LightWorld.h"
#include "core/render/DViewport.h"
#include "core/render/DefRenderPipelineManager.h"
#include "core/render/NormalStages.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTLight.h"
#include "tests/render/RenderFixture.h"
#include "tests/support/BufferLimit.h"

namespace qibo::test {
namespace {

using namespace qibo::state;

// A camera looking down +z, an environment whose light shines down -y
// (white, power 1, ambient 0.2) and a material to light with.
class StageTest : public RenderFixture {
 protected:
  void SetUp() override {
    RenderFixture::SetUp();
    m_camera = Make<CTCamera>("Eye");
    m_environment = Make<CTEnvironment>("Sky");
    m_environment->GetLight()->SetDirection(Vector3(0, -1, 0));
    m_material = Make<CTMaterial>("Paint");
    m_material->m_emissive = Vector3(0.1f, 0.0f, 0.0f);
    m_material->m_ambient = Vector3(0.5f, 0.5f, 0.5f);
    m_material->m_diffuse = Vector3(0.0f, 1.0f, 0.0f);
    m_material->m_specular = Vector3(0.0f, 0.0f, 1.0f);
    m_material->m_power = 2.0;
    m_target = Make<TestTarget>();
    m_target->Show();
    m_viewport.SetCamera(m_camera);
    m_viewport.SetDevice(m_target);
    m_context = m_viewport.GetRenderContext();
    m_context->environment = m_environment;
  }
  void TearDown() override {
    m_viewport.SetDevice(nullptr);
    RenderFixture::TearDown();
  }

  // A world-space shape with one vertex of normal n, run through stage.
  Vector3 Light(CTPipelineStage& stage, const Vector3& n) {
    DRenderShape shape;
    shape.AddVertex(Vector3());
    shape.AddNormal(n);
    shape.GetVertices()[0].normal = 0;
    shape.SetMaterial(m_material);
    shape.SetState(kWorld);
    DRenderPacket packet{m_context, nullptr, 0, &shape, m_context, kWorld, kDrawnFilled, 0};
    stage.InvalidateContext();
    EXPECT_TRUE(stage.Process(&packet));
    EXPECT_EQ(shape.GetState(), kWorld | kLit);
    const DVertex& v = shape.GetVertices()[0];
    return Vector3(v.r, v.g, v.b);
  }

  CTCamera* m_camera = nullptr;
  CTEnvironment* m_environment = nullptr;
  CTMaterial* m_material = nullptr;
  TestTarget* m_target = nullptr;
  DViewport m_viewport;
  DRenderContext* m_context = nullptr;
};

struct LightCase {
  const char* name;
  uint32_t switches;
  Vector3 normal;
  Vector3 colour;
};

// Eye along +z, light along -y: the half vector is -(0, -1, 1)/sqrt 2. A
// normal n = (0, 1, -1)/sqrt 2 gets cos 45 of the light and the whole
// highlight; n = (0, 1, 1)/sqrt 2 the same light and no highlight.
constexpr float kR = 0.70710678f;
const LightCase kLightCases[] = {
    {"facing the light, diffuse", CTMaterial::kUseDiffuse, {0, 1, 0}, {0, 1, 0}},
    {"at 45 degrees, diffuse", CTMaterial::kUseDiffuse, {0, kR, kR}, {0, kR, 0}},
    {"emissive and ambient",
     CTMaterial::kUseEmissive | CTMaterial::kUseAmbient,
     {0, 1, 0},
     {0.2f, 0.1f, 0.1f}},
    {"away from the light: base only",
     CTMaterial::kUseEmissive | CTMaterial::kUseDiffuse,
     {0, -1, 0},
     {0.1f, 0, 0}},
    {"away, nothing on: black", CTMaterial::kUseDiffuse | CTMaterial::kUseSpecular, {0, -1, 0}, {0, 0, 0}},
    {"highlight at the half vector", CTMaterial::kUseSpecular, {0, kR, -kR}, {0, 0, 1}},
    {"no highlight past the half vector", CTMaterial::kUseSpecular, {0, kR, kR}, {0, 0, 0}},
    {"highlight at 45 degrees, power 2", CTMaterial::kUseSpecular, {0, 1, 0}, {0, 0, 0.5f}},
};

TEST_F(StageTest, LightWorld_GivesHandComputedColours) {
  Ref<CTPipelineStage_LightWorld> stage = qibo::Create<CTPipelineStage_LightWorld>();
  ASSERT_TRUE(stage->HandlesContext(m_context));
  for (const LightCase& c : kLightCases) {
    SCOPED_TRACE(c.name);
    m_material->SetSwitches(c.switches);
    const Vector3 colour = Light(*stage, c.normal);
    EXPECT_NEAR(colour.x, c.colour.x, 1e-5f);
    EXPECT_NEAR(colour.y, c.colour.y, 1e-5f);
    EXPECT_NEAR(colour.z, c.colour.z, 1e-5f);
  }
  // No light, no lighting: neither in the route search nor when run.
  m_context->environment = nullptr;
  EXPECT_FALSE(stage->HandlesContext(m_context));
}

TEST_F(StageTest, LightWorld_RefusesLitAndSharedShapes) {
  Ref<CTPipelineStage_LightWorld> stage = qibo::Create<CTPipelineStage_LightWorld>();
  EXPECT_TRUE(stage->HandlesState(kWorld));
  EXPECT_FALSE(stage->HandlesState(kWorld | kLit));
  EXPECT_FALSE(stage->HandlesState(kWorld | kShared));
  EXPECT_FALSE(stage->HandlesState(kLocal));
}

// The whole route with the core's stages: clone, to world, light, to
// camera, then the test's drawing stage sees lit camera-space vertices while
// the owner's shape stays as it was.
TEST_F(StageTest, FullRoute_ClonesMovesAndLightsBeforeDrawing) {
  TestStage::s_enabled = {"TestDrawCamera"};
  m_camera->MoveTo(Vector3(0, 0, -10));
  m_material->SetSwitches(CTMaterial::kUseDiffuse);
  auto* pipeline = qibo::GetService<DefRenderPipelineManager>();
  ASSERT_TRUE(pipeline && pipeline->Start());
  TestMeshShape shape;
  shape.m_mesh.SetMaterial(m_material);
  DTransform world;
  world.SetPosition(Vector3(0, 1, 0));
  m_viewport.UpdateViewTransform();
  ASSERT_TRUE(pipeline->BeginContext(m_context));
  RenderInfo_t info;
  info.context = m_context;
  info.world = &world;
  EXPECT_TRUE(pipeline->RenderShape(&shape.m_mesh, info, kDrawnFilled));
  pipeline->EndContext(m_context);
  ASSERT_EQ(TestStage::s_draws.size(), 1u);
  EXPECT_EQ(TestStage::s_draws[0].steps, 5);
  EXPECT_EQ(TestStage::s_draws[0].state & ~kPerRun, kCamera | kLit);
  EXPECT_EQ(shape.m_mesh.GetState(), kShared | kLocal);
  EXPECT_EQ(shape.m_mesh.GetVectors()[1], Vector3(1, 0, 0));
}

// Without the memory for its copy, the clone stage fails (logged) and hands
// the shared shape on to no one; with the memory back it clones again.
TEST_F(StageTest, CachedClone_WithoutMemoryFailsAndLeavesTheSharedShape) {
  Ref<CTPipelineStage_CachedClone> stage = qibo::Create<CTPipelineStage_CachedClone>();
  DRenderShape shape;
  for (int i = 0; i < 20; ++i) shape.AddVertex(Vector3(static_cast<float>(i), 0, 0));
  shape.AddFace()->SetVertices(0, 1, 2);
  shape.SetState(kShared | kLocal);
  for (const bool memory : {false, true}) {
    DRenderPacket packet{m_context, nullptr, 0, &shape, m_context, kShared | kLocal, kDrawnFilled, 0};
    const int logged = CountLogged("Render shape: no memory");
    {
      BufferLimit limit(memory ? 0 : 100);
      EXPECT_EQ(stage->Process(&packet), memory);
    }
    EXPECT_EQ(CountLogged("Render shape: no memory"), logged + (memory ? 0 : 1));
    EXPECT_EQ(packet.shape == &shape, !memory);
    EXPECT_EQ(packet.shape->GetVertexCount(), 20);
  }
}

TEST_F(StageTest, NormalStages_MakeOneThirdLongLines) {
  DRenderShape shape;
  for (int i = 0; i < 4; ++i) {
    const int a = shape.AddVertex(Vector3(static_cast<float>(i), 0, 0));
    const int b = shape.AddVertex(Vector3(static_cast<float>(i) + 1, 0, 0));
    const int c = shape.AddVertex(Vector3(static_cast<float>(i), 3, 0));
    shape.AddFace()->SetVertices(a, b, c);
  }
  shape.RecalcFaceNormals();
  for (int i = 0; i < shape.GetVertexCount(); ++i) shape.GetVertices()[i].normal = i / 3;
  shape.SetState(kShared | kLocal);
  Ref<CTPipelineStage_DrawFaceNormals> faces = qibo::Create<CTPipelineStage_DrawFaceNormals>();
  Ref<CTPipelineStage_DrawVertexNormals> vertices = qibo::Create<CTPipelineStage_DrawVertexNormals>();
  struct {
    CTPipelineStage* stage;
    int lines;
  } cases[] = {{faces.Get(), 4}, {vertices.Get(), 12}};
  for (const auto& c : cases) {
    DRenderPacket packet{m_context, nullptr, 0, &shape, m_context, shape.GetState(), kDrawnFaceNormals, 0};
    ASSERT_TRUE(c.stage->Process(&packet));
    const DRenderShape& lines = *packet.shape;
    EXPECT_NE(&lines, &shape);
    EXPECT_EQ(packet.target, kDrawnEdges);
    EXPECT_EQ(lines.GetState() & (kShared | kLit), kLit);
    ASSERT_EQ(lines.GetEdgeCount(), c.lines);
    for (int i = 0; i < c.lines; ++i) {
      const DEdge& e = lines.GetEdges()[i];
      const Vector3 along = lines.GetVectors()[lines.GetVertices()[e.end].vector] -
                            lines.GetVectors()[lines.GetVertices()[e.start].vector];
      EXPECT_NEAR(along.Length(), 1.0f / 3, 1e-6f);
      EXPECT_NEAR(along.z, 1.0f / 3, 1e-6f);  // the triangles face +z
    }
  }
  DRenderShape empty;
  DRenderPacket packet{m_context, nullptr, 0, &empty, m_context, 0, kDrawnFaceNormals, 0};
  EXPECT_FALSE(faces->Process(&packet));
}

}  // namespace
}  // namespace qibo::test
