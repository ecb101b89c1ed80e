// The render shape: faces and their pool, pools, edges, duplicate removal,
// smoothing, bad indices, borrowed faces and transforms. The fast
// algorithms are held against plain scans on random meshes.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/DRenderShape.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/scene/math/DTransform.h"
#include "tests/geometry/RenderShapeReference.h"
#include "tests/support/BufferLimit.h"
#include "tests/support/EngineFixture.h"

namespace {

using qibo::test::RandomMesh;
using qibo::test::RefMesh;
using Algorithm = std::function<void(DRenderShape&)>;

// The log runs from the start of each test.
class RenderShapeTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    StartLog();
  }
};

// Positions and triangles, one vertex per position.
void Build(DRenderShape& s, const std::vector<Vector3>& points,
           const std::vector<std::array<int, 3>>& triangles) {
  for (const Vector3& p : points) s.AddVertex(p);
  for (const auto& t : triangles) s.AddFace()->SetVertices(t[0], t[1], t[2]);
}

// The cube [-1, 1]^3: 8 positions, two triangles a side with
// (P1 - P0) x (P2 - P0) pointing out; one vertex per corner, or four a side.
void BuildCube(DRenderShape& s, bool separateSides, uint32_t groups) {
  for (int i = 0; i < 8; ++i)
    s.AddVertex(Vector3(i & 1 ? 1.f : -1.f, i & 2 ? 1.f : -1.f, i & 4 ? 1.f : -1.f));
  for (int side = 0; side < 6; ++side) {
    const int a = side % 3, sign = side < 3 ? 1 : -1;
    int quad[4];
    for (int k = 0; k < 4; ++k) {
      const int u = (k == 1 || k == 2) ? 1 : 0, v = k >= 2 ? 1 : 0;  // along axes a+1, a+2
      const int bits[3] = {sign > 0, u, v};
      quad[sign > 0 ? k : (4 - k) % 4] = bits[(3 - a) % 3] | bits[(4 - a) % 3] << 1 | bits[(5 - a) % 3] << 2;
    }
    for (int& q : quad) {
      if (!separateSides) continue;
      const int vertex = s.GetVertexCount();
      s.SetVertexCount(vertex + 1);
      s.GetVertices()[vertex].vector = q;
      q = vertex;
    }
    for (int t = 0; t < 2; ++t) {
      DFace* f = s.AddFace();
      f->SetVertices(quad[2 * t], quad[2 * t + 1], quad[(2 * t + 2) % 4]);
      f->SetSmoothingGroups(groups);
    }
  }
}

TEST(DFaceTest, VerticesPlanesAndMeasures) {
  DRenderShape s;
  Build(s, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {{0, 1, 2}});
  s.RecalcFaceNormals();
  DFace& f = *s.GetFace(0);
  const DBases& b = s.GetBases();
  EXPECT_FALSE(f.AddVertex(7));
  EXPECT_EQ(f.GetNumVertices(), 3);
  EXPECT_EQ(f.GetVertexNo(2), 2);
  EXPECT_EQ(f.GetNormal(b), Vector3(0, 0, 1));
  EXPECT_FLOAT_EQ(f.CalcArea(b), 2.0f);
  EXPECT_EQ(f.MidPoint(b), Vector3(2.0f / 3, 2.0f / 3, 0));
  struct Case {
    float d;  // of the plane x = d
    int inFront;
    bool in, out;
  } cases[] = {
      {1, 1, false, true} /* straddling */, {5, 0, true, true}, {-1, 3, false, false}, {0, 1, false, true}};
  for (const Case& c : cases) {
    const Plane3 plane{Vector3(1, 0, 0), c.d};
    EXPECT_EQ(f.CheckAgainstPlane(b, plane), c.inFront) << c.d;
    EXPECT_EQ(f.CheckAgainstPlaneIn(b, plane), c.in) << c.d;
    EXPECT_EQ(f.CheckAgainstPlaneOut(b, plane), c.out) << c.d;
  }
  DFace empty;
  EXPECT_TRUE(empty.CheckAgainstPlaneIn(b, Plane3{}));
  EXPECT_FALSE(empty.CheckAgainstPlaneOut(b, Plane3{}));
  EXPECT_TRUE(f.IsUnder(b, Vector3(0.5f, 0.5f, 9)));
  EXPECT_FALSE(f.IsUnder(b, Vector3(1.5f, 1.5f, 0)));
  EXPECT_FALSE(f.IsUnder(b, Vector3(-0.1f, 0.5f, 0)));
  f.SetEdgeNo(0, 10), f.SetEdgeNo(1, 11), f.SetEdgeNo(2, 12);
  f.Flip();  // each edge slot still names the edge between its vertices
  EXPECT_EQ(std::vector<int>({f.GetVertexNo(0), f.GetVertexNo(1), f.GetVertexNo(2)}),
            std::vector<int>({2, 1, 0}));
  EXPECT_EQ(std::vector<int>({f.GetEdgeNo(0), f.GetEdgeNo(1), f.GetEdgeNo(2)}),
            std::vector<int>({10, 12, 11}));
}

// The faces of a closed mesh add up to its signed volume; flipped, to its
// negative.
TEST(DFaceTest, VolumesOfAClosedMeshAddUp) {
  DRenderShape cube;
  BuildCube(cube, false, 0);
  for (float expected : {-8.0f, 8.0f}) {
    cube.RecalcFaceNormals();
    float sum = 0;
    for (int i = 0; i < cube.GetFaceCount(); ++i) sum += cube.GetFace(i)->CalcVolume(cube.GetBases());
    EXPECT_NEAR(sum, expected, 1e-5f);
    for (int i = 0; i < cube.GetFaceCount(); ++i) cube.GetFace(i)->Flip();
  }
}

// Built before the face pool and so destroyed after it: its faces are
// freed when the pool is gone (AddressSanitizer watches the exit).
DRenderShape g_outlivesThePool;

TEST(DFaceTest, PoolHandsBackTheLastReleasedFaceReset) {
  g_outlivesThePool.AddFace();
  DFace* a = DFace::New();
  DFace* b = DFace::New();
  b->SetVertices(1, 2, 3), b->SetFlags(3), b->SetNormal(4), b->SetSmoothingGroups(5);
  b->SetMaterial(RandomMesh::Material(0)), b->SetSpare(1, 9), b->SetEdgeNo(0, 6);
  a->Delete();
  b->Delete();
  DFace* c = DFace::New();
  const DFace fresh;
  EXPECT_EQ(c, b);
  EXPECT_EQ(std::memcmp(static_cast<const void*>(c), static_cast<const void*>(&fresh), sizeof(DFace)), 0);
  EXPECT_EQ(DFace::New(), a);
  a->Delete();
  c->Delete();
}

// Add grows by 16 up to 256, then by half; Resize and Shrink give exactly
// the count; an element added from the pool itself survives the move.
TEST(DPoolTest, GrowsBySixteenThenByHalf) {
  DPool<Vector3> pool;
  std::vector<int> capacities;
  for (int i = 0; i < 1000; ++i) {
    pool.Add(i == 0 ? Vector3(1, 2, 3) : pool[0]);
    if (capacities.empty() || capacities.back() != pool.Capacity()) capacities.push_back(pool.Capacity());
  }
  EXPECT_EQ(capacities, std::vector<int>({16,  32,  48,  64,  80,  96,  112, 128, 144, 160,
                                          176, 192, 208, 224, 240, 256, 384, 576, 864, 1296}));
  EXPECT_EQ(pool[999], Vector3(1, 2, 3));
  pool.Shrink();
  EXPECT_EQ(pool.Capacity(), 1000);
  DPool<DVertex> vertices;
  vertices.Resize(1000);
  vertices.Resize(10);
  vertices.Resize(12);
  EXPECT_EQ(vertices.Capacity(), 1000);
  EXPECT_EQ(vertices[11].vector, 0);
}

TEST_F(RenderShapeTest, UnitSquareHasFiveEdgesOneShared) {
  DRenderShape s;
  Build(s, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {2, 3, 0}});
  for (const Algorithm& build :
       {Algorithm(&DRenderShape::BuildEdges), Algorithm(&DRenderShape::BuildVectorEdges)}) {
    build(s);
    ASSERT_EQ(s.GetEdgeCount(), 5);
    std::vector<std::array<int, 4>> shared;
    for (int e = 0; e < 5; ++e) {
      const DEdge& edge = s.GetEdges()[e];
      if (edge.face1 >= 0)
        shared.push_back(
            {std::min(edge.start, edge.end), std::max(edge.start, edge.end), edge.face0, edge.face1});
    }
    EXPECT_EQ(shared, (std::vector<std::array<int, 4>>{{0, 2, 0, 1}}));
    EXPECT_TRUE(s.GetFlags() & DRenderShape::kHasEdges);
  }
}

TEST_F(RenderShapeTest, OptimizeMergesWithinTheTolerance) {
  struct Case {
    const char* name;
    Vector3 offset;  // of the second position
    float du, red;   // of the second vertex
    int positions, vertices;
  } cases[] = {
      {"5e-6 apart", {5e-6f, 0, 0}, 0, 0, 1, 1}, {"2e-5 apart", {0, 2e-5f, 0}, 0, 0, 2, 2},
      {"colours differ", {}, 0, 1, 1, 1},        {"u 5e-6 apart", {}, 5e-6f, 0, 1, 1},
      {"u 2e-5 apart", {}, 2e-5f, 0, 1, 2},
  };
  for (const Case& c : cases) {
    DRenderShape s;
    s.AddVertex(Vector3(1, 1, 1));
    s.AddVertex(Vector3(1, 1, 1) + c.offset);
    s.GetVertices()[1].u = c.du, s.GetVertices()[1].r = c.red;
    s.AddFace()->SetVertices(0, 1, 1);
    s.Optimize();
    EXPECT_EQ(s.GetVectorCount(), c.positions) << c.name;
    EXPECT_EQ(s.GetVertexCount(), c.vertices) << c.name;
    EXPECT_EQ(s.GetFace(0)->GetVertexNo(1), c.vertices - 1) << c.name;
  }
}

// Groups 0: every corner splits into one vertex per side with the side's
// normal; groups -1: one vertex per corner with the normalised sum of the
// normals of the triangles around it; separate sides: nothing to share.
TEST_F(RenderShapeTest, SmoothingTheCube) {
  struct Case {
    const char* name;
    bool separate;
    uint32_t groups;
    int vertices;
    bool smooth;
  } cases[] = {{"groups 0", false, 0, 24, false},
               {"groups -1", false, ~0u, 8, true},
               {"separate", true, ~0u, 24, false}};
  for (const Case& c : cases) {
    DRenderShape s;
    BuildCube(s, c.separate, c.groups);
    s.RecalcFaceNormals();
    std::vector<Vector3> sums(8);  // by corner
    for (int f = 0; f < 12; ++f)
      for (int k = 0; k < 3; ++k)
        sums[static_cast<size_t>(s.GetFace(f)->GetVectorNo(s.GetBases(), k))] += s.GetFaceNormal(f);
    s.ApplySmoothingGroups();
    EXPECT_EQ(s.GetVertexCount(), c.vertices) << c.name;
    EXPECT_EQ(s.GetVectorCount(), 8) << c.name;
    for (int f = 0; f < 12; ++f) {
      const DFace& face = *s.GetFace(f);
      EXPECT_EQ(face.GetFlags(), 3u);
      for (int k = 0; k < 3; ++k) {
        const Vector3 expected =
            c.smooth ? sums[static_cast<size_t>(face.GetVectorNo(s.GetBases(), k))].Normalized()
                     : face.GetNormal(s.GetBases());
        EXPECT_LT((face.GetNormal(s.GetBases(), k) - expected).Length(), 1e-6f) << c.name << " face " << f;
      }
    }
  }
}

// Random meshes, bit for bit. Edges and smoothing start from a merged
// mesh, so that faces meet.
TEST_F(RenderShapeTest, FastAlgorithmsMatchThePlainScans) {
  struct Case {
    const char* name;
    int positions, faces;
    bool wild, merged;
    Algorithm fast;
    std::function<void(RefMesh&)> plain;
  } cases[] = {
      {"Optimize", 300, 400, false, false, &DRenderShape::Optimize, qibo::test::RefOptimize},
      {"Optimize, wild values", 300, 400, true, false, &DRenderShape::Optimize, qibo::test::RefOptimize},
      {"BuildEdges", 100, 400, false, true, &DRenderShape::BuildEdges,
       [](RefMesh& m) { RefBuildEdges(m, false); }},
      {"BuildVectorEdges", 100, 400, false, true, &DRenderShape::BuildVectorEdges,
       [](RefMesh& m) { RefBuildEdges(m, true); }},
      {"ApplySmoothingGroups", 150, 300, false, true, &DRenderShape::ApplySmoothingGroups,
       qibo::test::RefSmooth},
  };
  for (const Case& c : cases) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
      DRenderShape s;
      RandomMesh(seed).Fill(s, c.positions, c.faces, c.wild);
      if (c.merged) s.Optimize();
      RefMesh expected(s);
      c.plain(expected);
      c.fast(s);
      EXPECT_TRUE(RefMesh(s) == expected) << c.name << " seed " << seed;
    }
  }
  // The tip of a fan of 100 triangles is summed per smoothing mask: the
  // same normals up to rounding.
  DRenderShape fan;
  fan.AddVertex(Vector3(0, 1, 0));
  for (int i = 0; i <= 100; ++i) fan.AddVertex(Vector3(std::cos(i * 0.06f), 0, std::sin(i * 0.06f)));
  for (int i = 0; i < 100; ++i) fan.AddFace()->SetVertices(0, i + 2, i + 1);
  RefMesh expected(fan);
  qibo::test::RefSmooth(expected);
  fan.ApplySmoothingGroups();
  ASSERT_EQ(fan.GetNormalCount(), static_cast<int>(expected.normals.size()));
  for (size_t i = 0; i < expected.normals.size(); ++i)
    EXPECT_LT((fan.GetNormals()[i] - expected.normals[i]).Length(), 1e-6f) << i;
}

// A face that refers outside the pools is dropped, with one logged error,
// by whichever algorithm runs first; the others then run safely.
TEST_F(RenderShapeTest, FacesReferringOutsideThePoolsAreDropped) {
  struct Case {
    const char* name;
    std::function<void(DRenderShape&, DFace&)> spoil;  // face 1 or its vertex 3
    int dropped;
  } cases[] = {
      {"vertex -1", [](DRenderShape&, DFace& f) { f.SetVertices(0, -1, 2); }, 1},
      {"vertex == count", [](DRenderShape& s, DFace& f) { f.SetVertices(0, s.GetVertexCount(), 2); }, 1},
      {"vertex huge", [](DRenderShape&, DFace& f) { f.SetVertices(0x7FFFFFFF, 1, 2); }, 1},
      {"position -1", [](DRenderShape& s, DFace&) { s.GetVertices()[3].vector = -1; }, 1},
      {"position == count", [](DRenderShape& s, DFace&) { s.GetVertices()[3].vector = s.GetVectorCount(); },
       1},
      {"face normal -2", [](DRenderShape&, DFace& f) { f.SetNormal(-2); }, 1},
      {"face normal == count", [](DRenderShape& s, DFace& f) { f.SetNormal(s.GetNormalCount()); }, 1},
      {"vertex normal, smoothed",
       [](DRenderShape& s, DFace& f) { f.SetFlags(DFace::kVertexNormals), s.GetVertices()[3].normal = 1000; },
       1},
      {"vertex normal, flat", [](DRenderShape& s, DFace&) { s.GetVertices()[3].normal = 1000; }, 0},
      {"unused vertex", [](DRenderShape& s, DFace&) { s.GetVertices()[5].vector = -5; }, 0},
      {"one vertex", [](DRenderShape&, DFace& f) { f.ClearVertices(), f.AddVertex(3); }, 0},
  };
  const Algorithm algorithms[] = {
      &DRenderShape::BuildEdges,        &DRenderShape::BuildVectorEdges,     &DRenderShape::Optimize,
      &DRenderShape::RecalcFaceNormals, &DRenderShape::ApplySmoothingGroups, &DRenderShape::CheckFaces};
  for (const Case& c : cases) {
    for (size_t first = 0; first < std::size(algorithms); ++first) {
      SCOPED_TRACE(std::string(c.name) + ", algorithm " + std::to_string(first));
      DRenderShape s;
      Build(s, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 2, 2}, {5, 5, 5}},
            {{0, 1, 2}, {2, 3, 0}, {0, 1, 4}});
      s.AddNormal(Vector3(0, 0, 1));
      s.GetFace(1)->SetNormal(0);
      DFace* kept[2] = {s.GetFace(0), s.GetFace(2)};
      c.spoil(s, *s.GetFace(1));
      const int logged = qiBO_GetErrorsCount();
      algorithms[first](s);
      ASSERT_EQ(qiBO_GetErrorsCount(), logged + c.dropped);
      if (c.dropped) {
        EXPECT_NE(std::string(qiBO_GetErrorNo(logged)->message).find("1 face refers outside the pools"),
                  std::string::npos);
      }
      ASSERT_EQ(s.GetFaceCount(), 3 - c.dropped);
      EXPECT_EQ(s.GetFace(0), kept[0]);  // in their order
      EXPECT_EQ(s.GetFace(2 - c.dropped), kept[1]);
      for (const Algorithm& algorithm : algorithms) algorithm(s);
      EXPECT_EQ(qiBO_GetErrorsCount(), logged + c.dropped);
    }
  }
}

// The clone stage's borrowing: shared face pointers, own faces added after,
// and the base's faces untouched when the clone goes or rewrites faces.
TEST_F(RenderShapeTest, BorrowedFacesStayTheBases) {
  DRenderShape base;
  Build(base, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {2, 3, 0}});
  const std::vector<DFace*> baseFaces(base.GetFaces(), base.GetFaces() + 2);
  auto clone = std::make_unique<DRenderShape>();
  clone->CopyFrom(base);
  clone->BorrowFaces(base);
  EXPECT_EQ(clone->GetBaseShape(), &base);
  EXPECT_EQ(clone->GetBaseFaceCount(), 2);
  EXPECT_EQ(std::vector<DFace*>(clone->GetFaces(), clone->GetFaces() + 2), baseFaces);
  clone->AddFace()->SetVertices(0, 2, 3);
  clone->SetFaceCount(2);  // deletes the own face only
  clone->AddFace();
  clone.reset();
  std::vector<DFace*> fresh;  // the pool must not hand out the base's faces
  for (int i = 0; i < 8; ++i) fresh.push_back(DFace::New());
  for (DFace* f : fresh) {
    EXPECT_EQ(std::count(baseFaces.begin(), baseFaces.end(), f), 0);
    f->Delete();
  }
  DRenderShape rewriting;
  rewriting.CopyFrom(base);
  rewriting.BorrowFaces(base);
  rewriting.BuildEdges();  // takes own copies first
  EXPECT_EQ(rewriting.GetBaseShape(), nullptr);
  EXPECT_NE(rewriting.GetFace(0), baseFaces[0]);
  EXPECT_EQ(base.GetFace(0)->GetEdgeNo(0), -1);
  DRenderShape copy;
  copy.CopyFrom(rewriting);
  EXPECT_NE(copy.GetFace(1), rewriting.GetFace(1));
  EXPECT_TRUE(RefMesh(copy) == RefMesh(rewriting));
}

TEST_F(RenderShapeTest, TransformsInPlaceAndBack) {
  DRenderShape s;
  Build(s, {{1, 2, 3}, {-4, 0.5f, 2}, {0, 0, -7}}, {{0, 1, 2}});
  s.RecalcFaceNormals();
  s.AddNormal(Vector3(0, 1, 0));
  DTransform t;
  t.MoveTo(Vector3(10, -2, 3));
  t.RotateToAz(0.7);
  t.ScaleTo(2.0);
  const RefMesh before(s);
  s.Transform(t);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(s.GetVectors()[i], t.TransformPoint(before.vectors[static_cast<size_t>(i)]));
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(s.GetNormals()[i], t.TransformNormal(before.normals[static_cast<size_t>(i)]));
  s.BackTransform(t);
  for (int i = 0; i < 3; ++i)
    EXPECT_LT((s.GetVectors()[i] - before.vectors[static_cast<size_t>(i)]).Length(), 1e-5f);
  for (int i = 0; i < 2; ++i)
    EXPECT_LT((s.GetNormals()[i] - before.normals[static_cast<size_t>(i)]).Length(), 1e-6f);
}

TEST_F(RenderShapeTest, EveryOperationMovesTheStampAndKeepsTheFlags) {
  DRenderShape other;
  Build(other, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  const DTransform& id = DTransform::I;
  const Algorithm operations[] = {
      [](DRenderShape& s) { s.SetVertexCount(4); },
      [](DRenderShape& s) { s.SetNormalCount(1); },
      [](DRenderShape& s) { s.SetVectorCount(4); },
      [](DRenderShape& s) { s.SetEdgeCount(2); },
      [](DRenderShape& s) { s.SetFaceCount(2); },
      [](DRenderShape& s) { s.AddVertex(Vector3()); },
      [](DRenderShape& s) {
        s.AddEdge({}, {1, 0, 0});
      },
      [](DRenderShape& s) { s.AddNormal(Vector3()); },
      [](DRenderShape& s) { s.AddFace(); },
      &DRenderShape::RecalcFaceNormals,
      &DRenderShape::ApplySmoothingGroups,
      &DRenderShape::BuildEdges,
      &DRenderShape::BuildVectorEdges,
      &DRenderShape::Optimize,
      [&](DRenderShape& s) { s.TransformVectors(id); },
      [&](DRenderShape& s) { s.BackTransformNormals(id); },
      [&](DRenderShape& s) { s.CopyFrom(other); },
      [&](DRenderShape& s) { s.BorrowFaces(other); },
      [](DRenderShape& s) { s.SetMaterial(RandomMesh::Material(1)); },
      [](DRenderShape& s) { s.SetState(0x110); },
      [](DRenderShape& s) { s.SetFlags(s.GetFlags()); },
      &DRenderShape::Clear,
  };
  DRenderShape s;
  for (size_t i = 0; i < std::size(operations); ++i) {
    const uint32_t stamp = s.GetChangeStamp();
    operations[i](s);
    EXPECT_GT(s.GetChangeStamp(), stamp) << i;
    EXPECT_EQ((s.GetFlags() & DRenderShape::kHasVertices) != 0, s.GetVertexCount() > 0) << i;
    EXPECT_EQ((s.GetFlags() & DRenderShape::kHasFaces) != 0, s.GetFaceCount() > 0) << i;
  }
  EXPECT_EQ(s.GetFlags(), 0u);
}

// Sixteen vertices and sixteen triangles, no normals, no edges: the vertex
// pool (32 bytes each) and the face list (8 bytes a face) are full.
void BuildFull(DRenderShape& s) {
  for (int i = 0; i < 16; ++i) s.AddVertex(Vector3(static_cast<float>(i % 4), static_cast<float>(i / 4), 0));
  for (int i = 0; i < 16; ++i) s.AddFace()->SetVertices(i % 13, i % 13 + 1, i % 13 + 3);
}

std::array<int, 5> Counts(const DRenderShape& s) {
  return {s.GetVectorCount(), s.GetVertexCount(), s.GetNormalCount(), s.GetEdgeCount(), s.GetFaceCount()};
}

TEST_F(RenderShapeTest, NoMemory_IsLoggedAndRefusedLeavingTheShapeAsItWas) {
  DRenderShape source;
  BuildFull(source);
  struct Case {
    const char* what;
    size_t limit;  // bytes a request may take
    bool (*refused)(DRenderShape& s, DRenderShape& source);
    const char* logged;
    bool oneVertex = false;  // into a shape of one vertex instead
  };
  const Case cases[] = {
      {"vertex count", 600, [](DRenderShape& s, DRenderShape&) { return s.SetVertexCount(100), true; },
       "no memory for 100 elements of 32 bytes"},
      {"face count", 600, [](DRenderShape& s, DRenderShape&) { return s.SetFaceCount(100), true; },
       "no memory for a list of 100 faces"},
      // The positions may still grow, the vertices may not: the position
      // added for the vertex goes again.
      {"add vertex", 600, [](DRenderShape& s, DRenderShape&) { return s.AddVertex(Vector3()) == -1; },
       "no memory for 32 elements of 32 bytes"},
      {"add edge", 600,
       [](DRenderShape& s, DRenderShape&) {
         return s.AddEdge({}, {1, 0, 0}) == -1;
       },
       "no memory for 32 elements of 32 bytes"},
      {"add normal", 100, [](DRenderShape& s, DRenderShape&) { return s.AddNormal(Vector3()) == -1; },
       "no memory for 16 elements of 12 bytes"},
      {"add face", 200, [](DRenderShape& s, DRenderShape&) { return s.AddFace() == nullptr; },
       "no memory for a list of 32 faces"},
      {"face normals", 100, [](DRenderShape& s, DRenderShape&) { return s.RecalcFaceNormals(), true; },
       "no memory for 16 elements of 12 bytes"},
      {"edges", 100, [](DRenderShape& s, DRenderShape&) { return s.BuildEdges(), true; },
       "no memory for 48 elements of 16 bytes"},
      {"smoothing", 600, [](DRenderShape& s, DRenderShape&) { return s.ApplySmoothingGroups(), true; },
       "no memory for 64 elements of 12 bytes"},
      {"copy", 100, [](DRenderShape& s, DRenderShape& from) { return !s.CopyFrom(from); },
       "no memory for a list of 16 faces", true},
      {"borrow", 100, [](DRenderShape& s, DRenderShape& from) { return !s.BorrowFaces(from); },
       "no memory for a list of 16 faces", true},
  };
  for (const Case& c : cases) {
    DRenderShape s;
    if (c.oneVertex)
      s.AddVertex(Vector3(5, 5, 5));
    else
      BuildFull(s);
    const std::array<int, 5> before = Counts(s);
    const uint32_t flags = s.GetFlags();
    const int logged = CountLogged(c.logged);
    {
      qibo::test::BufferLimit limit(c.limit);
      EXPECT_TRUE(c.refused(s, source)) << c.what;
    }
    EXPECT_EQ(CountLogged(c.logged), logged + 1) << c.what;
    EXPECT_EQ(Counts(s), before) << c.what;
    EXPECT_EQ(s.GetFlags(), flags) << c.what;
    EXPECT_EQ(s.CheckFaces(), 0) << c.what;
    EXPECT_EQ(s.AddVertex(Vector3()), before[1]) << c.what << ": with the memory back it grows again";
  }
}

}  // namespace
