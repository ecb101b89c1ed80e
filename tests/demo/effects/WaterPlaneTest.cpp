#include <gtest/gtest.h>

#include <cmath>

#include "core/geometry/CTBox.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTCamera.h"
#include "core/scene/math/DTransform.h"
#include "demo/effects/CTWaterPlane.h"
#include "tests/demo/effects/EffectsFixture.h"

namespace {

using qibo::test::EffectsFixture;

class WaterPlaneTest : public EffectsFixture {
 protected:
  void SetUp() override {
    EffectsFixture::SetUp();
    m_plane = qibo::Create<CTWaterPlane>();
    ASSERT_TRUE(m_plane);
  }
  void TearDown() override {
    m_plane.Reset();
    EffectsFixture::TearDown();
  }

  Ref<CTWaterPlane> m_plane;
};

TEST_F(WaterPlaneTest, HeightAndNormalAreTheSumOfTheTwoWaves) {
  struct Case {
    double a, b, kx, kz, px, pz, x, z;
  };
  const Case cases[] = {
      {0.1, 0.04, 1, 1, 0, 0, 0, 0},          // y = B, normal tilted by -A along x
      {0.1, 0.04, 1, 1, 0, 0, 1.5707963, 0},  // the x wave's crest: flat along x
      {0.1, 0.04, 1, 1, 0.3, 0.9, -2.0, 3.5},  {1.0, 0.4, 1, 1, 2.0, 2.31086, 40.0, -12.0},
      {0.5, 0.2, 2, 0.5, 0.1, 0.2, 0.7, -0.4}, {0.0, 0.0, 1, 1, 1.0, 1.0, 3.0, 3.0},  // calm water
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "A " << c.a << " kx " << c.kx << " at " << c.x << ", " << c.z);
    m_plane->SetAmplitudes(c.a, c.b);
    m_plane->SetWaveNumbers(c.kx, c.kz);
    m_plane->SetPhases(c.px, c.pz);
    const double px = static_cast<float>(c.px);
    const double pz = static_cast<float>(c.pz);
    const double y = c.b * std::cos(pz + c.kz * c.z) + c.a * std::sin(px + c.kx * c.x);
    EXPECT_NEAR(m_plane->GetHeightAt(c.x, c.z), y, 1e-9);
    // The surface's slope along x and z.
    const Vector3 n = Vector3(static_cast<float>(-c.a * c.kx * std::cos(px + c.kx * c.x)), 1.0f,
                              static_cast<float>(c.b * c.kz * std::sin(pz + c.kz * c.z)))
                          .Normalized();
    ExpectNear(m_plane->GetNormalAt(c.x, c.z), n, 1e-6);
  }
  m_plane->SetAmplitudes(0.1, 0.04);
  m_plane->SetWaveNumbers(1, 1);
  m_plane->SetPhases(0, 0);
  EXPECT_NEAR(m_plane->GetHeightAt(0, 0), 0.04, 1e-12);
  ExpectNear(m_plane->GetNormalAt(0, 0), Vector3(-0.1f, 1.0f, 0.0f).Normalized(), 1e-7);
  // The column queries answer the same inside the plane and miss outside.
  Vector3 normal;
  EXPECT_NEAR(m_plane->GetMaxYAndNormal(Vector3(1, 50, -2), normal), m_plane->GetHeightAt(1, -2), 1e-6);
  ExpectNear(normal, m_plane->GetNormalAt(1, -2), 1e-7);
  EXPECT_EQ(m_plane->GetMaxY(Vector3(5.5f, 0, 0)), CTShape::kNoY);
  EXPECT_EQ(m_plane->GetMaxY(Vector3(0, 0, -5.5f)), CTShape::kNoY);
}

TEST_F(WaterPlaneTest, GridLayoutAndHeightsFollowTheParameters) {
  ASSERT_TRUE(m_plane->SetSize(8.0));
  ASSERT_TRUE(m_plane->SetResolution(4));
  EXPECT_FALSE(m_plane->SetResolution(0));
  EXPECT_FALSE(m_plane->SetSize(-1.0));
  EXPECT_EQ(m_plane->GetSizeX(), 8.0);
  m_plane->SetPhases(0.4, 1.2);
  DRenderShape* grid = m_plane->GetRenderShape();
  ASSERT_EQ(grid->GetVertexCount(), 25);
  ASSERT_EQ(grid->GetVectorCount(), 25);
  ASSERT_EQ(grid->GetFaceCount(), 32);
  EXPECT_EQ(grid->GetState() & 0x00FFFFFFu, 0x116u);
  EXPECT_TRUE(m_plane->HeightsValid());
  for (int i = 0; i <= 4; ++i) {
    for (int j = 0; j <= 4; ++j) {
      const DVertex& v = grid->GetVertices()[5 * i + j];
      const Vector3& p = grid->GetVectors()[v.vector];
      EXPECT_FLOAT_EQ(p.x, 8.0f * (i / 4.0f - 0.5f));
      EXPECT_FLOAT_EQ(p.z, 8.0f * (j / 4.0f - 0.5f));
      EXPECT_NEAR(p.y, m_plane->GetHeightAt(p.x, p.z), 1e-6);
      ExpectNear(grid->GetNormals()[v.normal], m_plane->GetNormalAt(p.x, p.z), 1e-6);
      EXPECT_FLOAT_EQ(v.u, i / 4.0f - 0.5f);
      EXPECT_FLOAT_EQ(v.v, j / 4.0f - 0.5f);
      EXPECT_EQ(v.a, 0.7f);  // no material
    }
  }
  // Cell (row 1, column 2): c = 7.
  const DFace* first = grid->GetFace(2 * (4 * 1 + 2));
  const DFace* second = grid->GetFace(2 * (4 * 1 + 2) + 1);
  EXPECT_EQ(std::vector<int>({first->GetVertexNo(0), first->GetVertexNo(1), first->GetVertexNo(2)}),
            std::vector<int>({7, 8, 12}));
  EXPECT_EQ(std::vector<int>({second->GetVertexNo(0), second->GetVertexNo(1), second->GetVertexNo(2)}),
            std::vector<int>({8, 13, 12}));
  // A material gives the vertices its colour and alpha.
  Ref<CTMaterial> material = qibo::Create<CTMaterial>();
  material->SetColor(DColor{0.2f, 0.4f, 0.6f, 1.0f});
  material->SetAlpha(0.6f);
  m_plane->SetMaterial(material.Get());
  m_plane->BuildGrid();
  const DVertex& v = m_plane->GetRenderShape()->GetVertices()[3];
  EXPECT_FLOAT_EQ(v.r, 0.2f);
  EXPECT_FLOAT_EQ(v.b, 0.6f);
  EXPECT_FLOAT_EQ(v.a, 0.6f);
  m_plane->SetMaterial(nullptr);
}

TEST_F(WaterPlaneTest, CollisionVolumeIsTheBoxAroundBothWaves) {
  m_plane->SetSize(99.0);
  m_plane->SetAmplitudes(1.0, 0.4);
  struct Support {
    Vector3 d, expected;
  };
  const Support supports[] = {{{1, 1, 1}, {49.5f, 1.4f, 49.5f}},
                              {{-1, 0.5f, -3}, {-49.5f, 1.4f, -49.5f}},
                              {{0.2f, -1, -0.1f}, {49.5f, -1.4f, -49.5f}}};
  for (const Support& s : supports) ExpectNear(m_plane->GetSupport(s.d), s.expected, 1e-5);
  struct Point {
    Vector3 p;
    intersect_t expected;
  };
  const Point points[] = {{{0, 0, 0}, kIntersectInside},
                          {{49, 1.3f, -49}, kIntersectInside},
                          {{0, 1.5f, 0}, kIntersectOutside},
                          {{50, 0, 0}, kIntersectOutside},
                          {{0, -1.5f, 0}, kIntersectOutside}};
  for (const Point& p : points) EXPECT_EQ(m_plane->CheckWithPoint(p.p, nullptr), p.expected);
  DTransform raised;
  raised.MoveTo(Vector3(0, 10, 0));
  EXPECT_EQ(m_plane->CheckWithPoint(Vector3(0, 10.5f, 0), &raised), kIntersectInside);
  EXPECT_EQ(m_plane->CheckWithPoint(Vector3(0, 0.5f, 0), &raised), kIntersectOutside);
  Ref<CTShape> box = m_plane->GetBoundingBox();
  auto* asBox = qibo::Cast<CTBox>(box.Get());
  ASSERT_NE(asBox, nullptr);
  ExpectNear(asBox->GetDimensions(), Vector3(99.0f, 2.8f, 99.0f), 1e-5);
}

TEST_F(WaterPlaneTest, ReflectionCoordinatesLookUpFromUnderACameraStraightAbove) {
  m_plane->SetAmplitudes(0.0, 0.0);  // a flat mirror
  m_plane->SetResolution(2);
  m_plane->SetSize(4.0);
  m_plane->GetRenderShape();
  const double h = 10.0;
  DTransform moved;
  moved.MoveTo(Vector3(100, -3, 7));
  DTransform moved2;
  moved2.MoveTo(Vector3(5, -2, 1));
  DTransform turned;
  turned.RotateToTw(1.5707963267948966);  // about z: y goes to -x
  const DTransform* const worlds[] = {nullptr, &moved, &turned};
  for (const DTransform* world : worlds) {
    m_plane->ComputeReflection(Vector3(0, static_cast<float>(h), 0), world);
    const DRenderShape* grid = m_plane->GetRenderShape();
    for (int i = 0; i < grid->GetVertexCount(); ++i) {
      const DVertex& v = grid->GetVertices()[i];
      const Vector3& p = grid->GetVectors()[v.vector];
      // The eye mirrored in the flat surface: the reflected ray is (x, h, z).
      Vector3 r(p.x, static_cast<float>(h), p.z);
      if (world) r = world->TransformNormal(r);
      SCOPED_TRACE(testing::Message() << "vertex " << i);
      EXPECT_NEAR(v.u, std::fabs(std::atan2(r.y, r.x)) / M_PI, 1e-5);
      EXPECT_NEAR(v.v, r.z / r.Length(), 1e-5);
    }
  }
  // Straight under the eye the mirror sends the view back up: u = 1/2, v = 0.
  m_plane->ComputeReflection(Vector3(0, static_cast<float>(h), 0), nullptr);
  const DVertex& centre = m_plane->GetRenderShape()->GetVertices()[4];
  EXPECT_NEAR(centre.u, 0.5, 1e-6);
  EXPECT_NEAR(centre.v, 0.0, 1e-6);

  // Drawing takes the eye from the context's camera, brought into the
  // plane's space: a camera 10 above a plane moved to (5, -2, 1) sees the
  // same as the eye above.
  m_plane->ComputeReflection(Vector3(3, -40, 2), nullptr);  // something else first
  Ref<CTCamera> camera = qibo::Create<CTCamera>();
  camera->MoveTo(Vector3(5, 8, 1));
  camera->UpdateWorldSpace();
  DRenderContext context;
  context.camera = camera.Get();
  RenderInfo_t info;
  info.context = &context;
  info.world = &moved2;
  m_plane->Render(info, nullptr);
  EXPECT_NEAR(centre.u, 0.5, 1e-6);
  EXPECT_NEAR(centre.v, 0.0, 1e-6);
  const DVertex& corner = m_plane->GetRenderShape()->GetVertices()[0];  // at (-2, 0, -2)
  EXPECT_NEAR(corner.u, std::fabs(std::atan2(h, -2.0)) / M_PI, 1e-5);
  EXPECT_NEAR(corner.v, -2.0 / std::sqrt(8.0 + h * h), 1e-5);
}

TEST_F(WaterPlaneTest, AnimationAdvancesThePhasesOnlyWhileOn) {
  m_plane->GetRenderShape();
  ASSERT_TRUE(m_plane->HeightsValid());
  Tick(500);
  EXPECT_EQ(m_plane->GetPhaseX(), 0.0);
  m_plane->SetAnimated(true);
  struct Step {
    int32_t ms;
    double px;
  };
  const Step steps[] = {{500, 0.5}, {250, 0.75}, {1000, 1.75}};
  for (const Step& step : steps) {
    Tick(step.ms);
    EXPECT_NEAR(m_plane->GetPhaseX(), step.px, 1e-6);
    EXPECT_NEAR(m_plane->GetPhaseZ(), step.px * 1.15543, 1e-5);
    EXPECT_FALSE(m_plane->HeightsValid());
    const Vector3 p = m_plane->GetRenderShape()->GetVectors()[0];
    EXPECT_NEAR(p.y, m_plane->GetHeightAt(p.x, p.z), 1e-6);
  }
  m_plane->SetAnimated(false);
  Tick(500);
  EXPECT_NEAR(m_plane->GetPhaseX(), 1.75, 1e-6);
  m_plane->SetAnimated(true);
  m_plane.Reset();
  Tick(16);  // a destroyed plane leaves no update behind
}

}  // namespace
