#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <utility>

#include "core/render/base/MaterialApi.h"
#include "demo/effects/CTTorus1.h"
#include "tests/demo/effects/EffectsFixture.h"

namespace {

using qibo::test::EffectsFixture;

constexpr double kRing = 0.06283186;
constexpr double kDegree = 0.017453292519943295;

// The knot by mode, written out per mode: (f cos b cos a, f cos b sin a, f sin b).
Vector3 Knot(double f, double a, double b) {
  return {static_cast<float>(f * std::cos(b) * std::cos(a)),
          static_cast<float>(f * std::cos(b) * std::sin(a)), static_cast<float>(f * std::sin(b))};
}

Vector3 Expected(int mode, double u, double t) {
  const double wobble = 1.25 * std::sin(2 * t) * std::cos(u) + std::sin(t);
  const double wave = 8 + 4 * std::cos(t + 2 * u);
  switch (mode) {
    case 1:
      return Knot(8 + 8.0 / 3.0 * std::sin(3 * u), wobble, u);
    case 2:
      return Knot(8 + 4 * std::sin(t), wobble, u + std::cos(u) / 2);
    case 3:
      return Knot(wave, std::cos(u + t), std::cos(u - t));
    case 4:
      return Knot(8, wobble, u + 5 * std::cos(t));
    case 5:
      return Knot(wave, u, 20.0 / 3.0 * std::sin(u - t));
    default:
      return Knot(8, t, u);
  }
}

class TorusTest : public EffectsFixture {
 protected:
  Ref<CTTorus1> MakeTorus(int mode, bool shadow, double phase) {
    Ref<CTTorus1> torus = qibo::Create<CTTorus1>();
    torus->SetMode(mode);
    torus->EnableShadow(shadow);
    torus->SetPhase(phase);
    torus->Build();
    return torus;
  }
};

TEST_F(TorusTest, CurvePointFollowsEachModesFormula) {
  EXPECT_EQ(CTTorus1::CurvePoint(1, 0.0, 0.0), Vector3(8.0f, 0.0f, 0.0f));
  struct Case {
    int mode;
    double u, t;
  };
  const Case cases[] = {{1, 0.0, 0.0},  {1, 1.3, 0.7}, {1, 4.0, 2.5}, {2, 0.5, 0.3},  {2, 3.1, 5.9},
                        {3, 0.0, 0.0},  {3, 2.2, 1.1}, {4, 0.9, 0.4}, {4, 5.5, 3.3},  {5, 0.0, 1.0},
                        {5, 2.7, -0.8}, {0, 1.0, 2.0}, {6, 0.4, 0.2}, {-1, 3.0, 1.5}, {3, 6.2, 4.4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " u " << c.u << " t " << c.t);
    ExpectNear(CTTorus1::CurvePoint(c.mode, c.u, c.t), Expected(c.mode, c.u, c.t), 1e-5);
  }
}

TEST_F(TorusTest, TubeIsAClosedConsistentlyWoundMeshOfHundredRingsOfTwelve) {
  Ref<CTTorus1> torus = MakeTorus(1, false, 0.0);
  DRenderShape* tube = torus->GetRenderShape();
  ASSERT_EQ(tube->GetVertexCount(), 1200);
  ASSERT_EQ(tube->GetVectorCount(), 1200);
  ASSERT_EQ(tube->GetNormalCount(), 1200);
  ASSERT_EQ(tube->GetFaceCount(), 2400);
  EXPECT_EQ(tube->GetState() & 0x00FFFFFFu, 0x110u);
  for (int k = 0; k < 100; k += 33) {
    for (int j = 0; j < 12; j += 5) {
      const DVertex& v = tube->GetVertices()[12 * k + j];
      EXPECT_EQ(v.vector, 12 * k + j);
      EXPECT_EQ(v.normal, 12 * k + j);
      EXPECT_FLOAT_EQ(v.u, static_cast<float>(j * 0.5235988));
      EXPECT_FLOAT_EQ(v.v, static_cast<float>(k * kRing));
    }
  }
  // Every directed edge is walked once, and its reverse once by the
  // neighbouring face: no holes, no seams, no flipped triangles.
  std::map<std::pair<int, int>, int> edges;
  for (int f = 0; f < tube->GetFaceCount(); ++f) {
    const DFace* face = tube->GetFace(f);
    ASSERT_EQ(face->GetNumVertices(), 3);
    EXPECT_EQ(face->GetFlags(), 3u);
    for (int i = 0; i < 3; ++i) {
      const int a = face->GetVertexNo(i);
      const int b = face->GetVertexNo((i + 1) % 3);
      ASSERT_GE(a, 0);
      ASSERT_LT(a, 1200);
      ++edges[{a, b}];
    }
  }
  for (const auto& [edge, count] : edges) {
    EXPECT_EQ(count, 1) << edge.first << "->" << edge.second;
    const auto reverse = edges.find({edge.second, edge.first});
    EXPECT_TRUE(reverse != edges.end() && reverse->second == 1) << edge.first << "->" << edge.second;
  }
  EXPECT_EQ(edges.size(), 7200u);
  // The closing ring joins ring 99 to ring 0 and ends the list.
  auto triangle = [&](int f) {
    const DFace* face = tube->GetFace(f);
    return std::vector<int>{face->GetVertexNo(0), face->GetVertexNo(1), face->GetVertexNo(2)};
  };
  EXPECT_EQ(triangle(2398), (std::vector<int>{0, 1188, 1199}));
  EXPECT_EQ(triangle(2399), (std::vector<int>{0, 1199, 11}));
}

TEST_F(TorusTest, RingsCircleTheCurveWithThePulsingRadius) {
  struct Case {
    int mode;
    double phase;
  };
  const Case cases[] = {{1, 0.0}, {2, 0.8}, {3, 1.7}, {4, 0.9}, {5, 2.0}, {9, 0.3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    Ref<CTTorus1> torus = MakeTorus(c.mode, false, c.phase);
    const double phase = torus->GetPhase();
    EXPECT_NEAR(phase, c.phase, 1e-6);
    const Vector3* positions = torus->GetRenderShape()->GetVectors();
    const Vector3* normals = torus->GetRenderShape()->GetNormals();
    // The fixed bounding box holds the tube in every mode.
    Ref<CTShape> box = torus->GetBoundingVolume();
    ASSERT_TRUE(box);
    for (int i = 0; i < 1200; ++i)
      EXPECT_EQ(box->CheckWithPoint(positions[i], nullptr), kIntersectInside) << i;
    for (int k = 0; k < 100; k += 7) {
      const double u = k * kRing;
      const Vector3 p = Expected(c.mode, u, phase);
      const bool pulse = c.mode == 4 || c.mode == 5;
      const double h = pulse ? 1 + 2 * std::sin(phase) * std::cos(4 * u) : 1.0;
      Vector3 centre;
      for (int j = 0; j < 12; ++j) centre += positions[12 * k + j];
      ExpectNear(centre * (1.0f / 12.0f), p, 1e-4);
      for (int j = 0; j < 12; j += 4) {
        const Vector3 n = normals[12 * k + j];
        EXPECT_NEAR(n.Length(), 1.0, 1e-5);
        // The ring's plane holds the curve's radial direction.
        EXPECT_NEAR(std::fabs(n.Dot(p.Normalized())), std::fabs(std::sin(j * 0.5235988)), 1e-4);
        ExpectNear(positions[12 * k + j], p + n * static_cast<float>(h), 1e-4);
      }
    }
  }
}

TEST_F(TorusTest, ShadowIsABandOnTheFloorUnderTheTube) {
  Ref<CTTorus1> plain = MakeTorus(1, false, 0.0);
  EXPECT_EQ(plain->GetShadowShape()->GetFaceCount(), 0);

  for (int mode : {1, 4}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    Ref<CTTorus1> torus = MakeTorus(mode, true, 0.6);
    DRenderShape* band = torus->GetShadowShape();
    ASSERT_EQ(band->GetVectorCount(), 200);
    ASSERT_EQ(band->GetVertexCount(), 200);
    EXPECT_EQ(band->GetState() & 0x00FFFFFFu, 0x116u);
    const double phase = torus->GetPhase();
    for (int k = 0; k < 100; ++k) {
      const Vector3& a = band->GetVectors()[2 * k];
      const Vector3& b = band->GetVectors()[2 * k + 1];
      EXPECT_EQ(a.y, -19.0f);
      EXPECT_EQ(b.y, -19.0f);
      const double u = k * kRing;
      const Vector3 p = Expected(mode, u, phase);
      const double h = mode == 4 ? 1 + 2 * std::sin(phase) * std::cos(4 * u) : 1.0;
      EXPECT_NEAR((a.x + b.x) / 2, p.x, 1e-4);
      EXPECT_NEAR((a.z + b.z) / 2, p.z, 1e-4);
      EXPECT_NEAR(std::hypot(a.x - p.x, a.z - p.z), std::fabs(h), 1e-4);
      // Across the curve's radial direction, outward first.
      EXPECT_GE((a.x - p.x) * p.x * h + (a.z - p.z) * p.z * h, -1e-6);
    }
    for (int f = 0; f < band->GetFaceCount(); ++f)
      for (int i = 0; i < 3; ++i) {
        EXPECT_GE(band->GetFace(f)->GetVertexNo(i), 0);
        EXPECT_LT(band->GetFace(f)->GetVertexNo(i), 200);
      }
    EXPECT_EQ(band->GetFaceCount(), 200);
  }
  EXPECT_NE(qiBO_FindMaterial("ShadowMat"), nullptr);
}

TEST_F(TorusTest, EngineUpdatesAdvanceThePhaseAndTheSlowOutputsUntilDestroyed) {
  Ref<CTTorus1> torus = qibo::Create<CTTorus1>();
  EXPECT_EQ(torus->GetA(), 0.0);
  EXPECT_EQ(torus->GetB(), 8.0);
  torus->Build();  // one update with no time: the slow angle moves, the phase does not
  EXPECT_EQ(torus->GetPhase(), 0.0);
  struct Step {
    int32_t ms;
    int updates;  // in total so far, Build's included
  };
  const Step steps[] = {{100, 2}, {900, 3}, {16, 4}, {0, 5}};
  double elapsed = 0;
  for (const Step& step : steps) {
    Tick(step.ms);
    elapsed += step.ms;
    SCOPED_TRACE(testing::Message() << "after " << elapsed << " ms");
    EXPECT_NEAR(torus->GetPhase(), elapsed * 0.1 * kDegree, 1e-5);
    const double s = step.updates * 3 * kDegree;
    EXPECT_NEAR(torus->GetA(), 8 * std::sin(s), 1e-9);
    EXPECT_NEAR(torus->GetB(), 8 - 8 * std::sin(s), 1e-9);
  }
  // The tube follows the phase.
  ExpectNear(torus->GetRenderShape()->GetVectors()[0] - torus->GetRenderShape()->GetNormals()[0],
             Expected(1, 0.0, torus->GetPhase()), 1e-4);
  torus.Reset();
  Tick(100);  // the dead torus's update is gone

  // A torus released after shut-down does not start the engine again.
  Ref<CTTorus1> late = qibo::Create<CTTorus1>();
  qiBO_Deinit();
  late.Reset();
  EXPECT_EQ(qibo::FindService<CTUpdateManager>(), nullptr);
}

}  // namespace
