// The primitive shapes: render shapes, support points, point, half-space
// and line tests, heights, culling, bad parameters, copies and streams.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/geometry/CTBBox.h"
#include "core/geometry/CTBox.h"
#include "core/geometry/CTCone.h"
#include "core/geometry/CTCylinder.h"
#include "core/geometry/CTPointShape.h"
#include "core/geometry/CTSimple3DFont.h"
#include "core/geometry/CTSphere.h"
#include "core/geometry/CTSprite.h"
#include "core/io/CTBitmapImport.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/ByteIO.h"
#include "core/persist/MemoryStream.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/LFB.h"
#include "core/render/base/MaterialApi.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/math/DFrustum.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"

// Reads any ".glyphs" file as a blank 16 x 16 picture: a font texture for
// the font tests.
class TestGlyphImport : public CTBitmapImport {
  QIBO_CLASS(TestGlyphImport)

 public:
  TestGlyphImport() { AddExtension("glyphs"); }

 protected:
  bool DoImport(const char*) override { return SetResult(std::make_unique<LFB>(16, 16)); }
};
QIBO_IMPLEMENT_CLASS(TestGlyphImport, CTBitmapImport, .desc = "Test glyph importer")

namespace {

constexpr intersect_t kOut = kIntersectOutside, kIn = kIntersectInside, kCut = kIntersectPartly,
                      kUnknown = kIntersectUnknown;

std::string Str(const Vector3& v) {
  std::ostringstream o;
  o << "(" << v.x << ", " << v.y << ", " << v.z << ")";
  return o.str();
}

// Every parameter a shape keeps, as text: copies and streamed shapes must
// describe themselves alike.
std::string Describe(CTShape* s) {
  std::ostringstream o;
  o << s->GetCD()->GetName().c_str();
  if (auto* b = qibo::Cast<CTBBox>(s)) o << " pivot " << Str(b->GetPivot());
  if (auto* b = qibo::Cast<CTBox>(s)) o << " dims " << Str(b->GetDimensions());
  if (auto* p = qibo::Cast<CTSphere>(s)) o << " r " << p->GetRadius() << " q " << p->GetRenderQuality();
  if (auto* c = qibo::Cast<CTCylinder>(s))
    o << " r " << c->GetRadius() << " h " << c->GetHeight() << " n " << c->GetRenderQuality() << " caps "
      << c->GetBottomCap() << c->GetTopCap();
  if (auto* c = qibo::Cast<CTCone>(s)) o << " r " << c->GetRadius() << " h " << c->GetHeight();
  if (auto* p = qibo::Cast<CTSprite>(s))
    o << " " << p->GetWidth() << "x" << p->GetHeight() << "x" << p->GetThickness();
  if (auto* f = qibo::Cast<CTSimple3DFont>(s))
    o << " '" << f->GetText() << "' " << f->GetCharWidth() << "x" << f->GetCharHeight() << " at " << f->GetX()
      << "," << f->GetY();
  if (auto* p = qibo::Cast<CTPointShape>(s)) {
    for (const Vector3& v : p->GetPoints()) o << " " << Str(v);
    const DRenderShape& m = *p->GetRenderShape();
    o << " mesh " << m.GetVectorCount() << "/" << m.GetNormalCount() << "/" << m.GetVertexCount() << "/"
      << m.GetFaceCount();
    for (int f = 0; f < m.GetFaceCount(); ++f) {
      const DFace& face = *m.GetFace(f);
      o << " [" << face.GetVertexNo(0) << face.GetVertexNo(1) << face.GetVertexNo(2) << " "
        << (face.GetMaterial() ? face.GetMaterial()->GetName() : "-") << "]";
    }
  }
  return o.str();
}

// The log runs from the start of each test.
class ShapesTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    StartLog();
  }

  // One of each primitive with parameters of its own, held for the test.
  struct Zoo {
    CTBox* box;
    CTBBox* bbox;
    CTSphere* sphere;
    CTCylinder* cylinder;
    CTCone* cone;
    CTSprite* sprite;
    CTPointShape* points;
    CTSimple3DFont* font;
  };
  Zoo MakeZoo() {
    Zoo z{Make<CTBox>(),  Make<CTBBox>(),   Make<CTSphere>(),     Make<CTCylinder>(),
          Make<CTCone>(), Make<CTSprite>(), Make<CTPointShape>(), Make<CTSimple3DFont>()};
    z.box->SetDimensions(Vector3(2, 4, 6));
    z.bbox->SetDimensions(2.0);
    z.bbox->SetPivot(Vector3(10, 0, 0));
    z.sphere->SetRadius(1);
    z.cylinder->SetDimensions(1, 2);  // |y| <= 1
    z.cone->SetDimensions(1, 2);      // apex (0, 2, 0)
    z.sprite->SetSize(2, 1);
    z.sprite->SetThickness(0.5);
    for (const Vector3& p : {Vector3(-1, 0, 0), Vector3(1, 0, 0), Vector3(0, 2, 0), Vector3(0, 0, 3)})
      z.points->AddPoint(p);
    z.font->SetText("ab\ncd");  // x 0..2, y -1..1
    return z;
  }
};

// A shape and a stream image: written at level of detail 31, read back.
Ref<CTShape> RoundTrip(CTShape* shape) {
  std::vector<uint8_t> buffer(1 << 16);
  MemoryStream writer;
  if (!writer.CreateStream(buffer.data(), static_cast<int>(buffer.size()))) return {};
  writer.WriteObject(shape);
  const int size = static_cast<int>(writer.GetPos());
  if (!writer.CloseStream()) return {};
  MemoryStream reader;
  if (!reader.Read(buffer.data(), size)) return {};
  return Ref<CTShape>(qibo::Cast<CTShape>(reader.GetObjectNo(0)));
}

}  // namespace

// The box's mesh, element by element: corners, normals, four vertices per
// side, triangles by sides 0, 3, 1, 4, 2, 5, materials by axis, state.
TEST_F(ShapesTest, RenderShape_BoxFollowsItsLayout) {
  Zoo z = MakeZoo();
  const DRenderShape& m = *z.box->GetRenderShape();
  ASSERT_EQ(m.GetVectorCount(), 8);
  for (int c = 0; c < 8; ++c) EXPECT_EQ(m.GetVectors()[c], z.box->GetCorner(c)) << c;
  EXPECT_EQ(z.box->GetCorner(6), Vector3(1, 2, 3));
  const Vector3 normals[6] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
  ASSERT_EQ(m.GetNormalCount(), 6);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(m.GetNormals()[k], normals[k]);
  const int sides[6][4] = {{1, 5, 6, 2}, {7, 6, 5, 4}, {3, 2, 6, 7},
                           {0, 3, 7, 4}, {2, 3, 0, 1}, {0, 4, 5, 1}};
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  ASSERT_EQ(m.GetVertexCount(), 24);
  for (int v = 0; v < 24; ++v) {
    EXPECT_EQ(m.GetVertices()[v].vector, sides[v / 4][v % 4]) << v;
    EXPECT_EQ(m.GetVertices()[v].normal, v / 4);
    EXPECT_EQ(m.GetVertices()[v].u, uv[v % 4][0]);
    EXPECT_EQ(m.GetVertices()[v].v, uv[v % 4][1]);
  }
  const int order[6] = {0, 3, 1, 4, 2, 5};
  const DColor colors[3] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}};
  ASSERT_EQ(m.GetFaceCount(), 12);
  for (int f = 0; f < 12; ++f) {
    const int k = order[f / 2], v = 4 * k;
    const DFace& face = *m.GetFace(f);
    const int expected[2][3] = {{v, v + 1, v + 2}, {v + 2, v + 3, v}};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(face.GetVertexNo(i), expected[f % 2][i]) << "face " << f;
    EXPECT_EQ(face.GetNormalNo(), k);
    EXPECT_EQ(face.GetPlane(m.GetBases()).normal, normals[k]) << "winding of face " << f;
    ASSERT_NE(face.GetMaterial(), nullptr);
    EXPECT_STREQ(face.GetMaterial()->GetName(), CTBox::kSideMaterialNames[k % 3]);
    EXPECT_EQ(face.GetMaterial()->m_diffuse, Vector3(colors[k % 3].r, colors[k % 3].g, colors[k % 3].b));
  }
  EXPECT_EQ(m.GetState(), 0x110u);
  // A pivot moves the whole mesh; a new size rebuilds it.
  EXPECT_EQ(z.bbox->GetRenderShape()->GetVectors()[6], Vector3(11, 1, 1));
  z.box->SetDimensions(2.0);
  EXPECT_EQ(z.box->GetRenderShape()->GetVectors()[0], Vector3(-1, -1, -1));
}

// Every tessellated primitive is closed, faces outward from a point inside
// it and holds about the volume its formula gives.
TEST_F(ShapesTest, RenderShape_TessellationsAreClosedAndFaceOutward) {
  Zoo z = MakeZoo();
  z.cylinder->SetRenderQuality(24);
  z.sphere->SetRenderQuality(6);
  struct Case {
    CTShape* shape;
    Vector3 inside;
    int vertices, faces;
  } cases[] = {
      {z.box, Vector3(), 24, 12},
      {z.sphere, Vector3(), 49 * 25, 2 * 48 * 23},
      {z.cylinder, Vector3(), 2 * 24 + 2 * 25, 4 * 24},
      {z.cone, Vector3(0, 0.5f, 0), 17 + 16 + 17, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.shape));
    const DRenderShape& m = *c.shape->GetRenderShape();
    EXPECT_EQ(m.GetVertexCount(), c.vertices);
    ASSERT_EQ(m.GetFaceCount(), c.faces);
    EXPECT_EQ(m.GetState(), 0x110u);
    double volume = 0;
    for (int f = 0; f < m.GetFaceCount(); ++f) {
      const DFace& face = *m.GetFace(f);
      const DBases& bases = m.GetBases();
      const Vector3 p0 = face.GetVector(bases, 0);
      const Vector3 wound = (face.GetVector(bases, 1) - p0).Cross(face.GetVector(bases, 2) - p0);
      EXPECT_GT(wound.Dot(face.MidPoint(bases) - c.inside), 0) << "winding of face " << f;
      EXPECT_GT(wound.Dot(face.GetNormal(bases)), 0) << "normal of face " << f;
      volume += face.CalcVolume(bases);
    }
    EXPECT_NEAR(std::fabs(volume), c.shape->CalcVolume(), 0.08 * c.shape->CalcVolume());
  }
  const DRenderShape& sprite = *z.sprite->GetRenderShape();
  EXPECT_EQ(sprite.GetFaceCount(), 2);
  EXPECT_EQ(sprite.GetState(), 0x114u);  // seen from both sides
  EXPECT_EQ(sprite.GetFace(0)->GetPlane(sprite.GetBases()).normal, Vector3(0, 0, -1));
  z.cylinder->SetRenderCaps(false, true);
  EXPECT_EQ(z.cylinder->GetRenderShape()->GetFaceCount(), 3 * 24);
}

// The text's quads: one per drawn character, lines downwards, texture
// coordinates from the character grid (16 x 16 from code 32 by default).
TEST_F(ShapesTest, RenderShape_FontDrawsOneQuadPerGlyph) {
  Zoo z = MakeZoo();
  z.font->SetText("A b\n\x7F\x01");  // \x01 lies before the grid; the space takes room only
  z.font->SetSize(2, 3);
  z.font->MoveTo(10, 20);
  const DRenderShape& m = *z.font->GetRenderShape();
  ASSERT_EQ(m.GetFaceCount(), 6);  // A, b, \x7F
  ASSERT_EQ(m.GetVertexCount(), 12);
  const DVertex* v = m.GetVertices();
  EXPECT_EQ(m.GetVectors()[v[0].vector], Vector3(10, 20, 0));  // 'A': cell 33, column 1, row 2
  EXPECT_EQ(v[0].u, 1.0f / 16);
  EXPECT_EQ(v[0].v, 3.0f / 16);
  EXPECT_EQ(m.GetVectors()[v[4].vector], Vector3(14, 20, 0));   // 'b' after the space
  EXPECT_EQ(m.GetVectors()[v[10].vector], Vector3(12, 20, 0));  // \x7F on the second line, upper right
  EXPECT_EQ(m.GetState(), 0x114u);
}

TEST_F(ShapesTest, Support_IsTheFarthestPointAlongTheDirection) {
  Zoo z = MakeZoo();
  struct Case {
    CTShape* shape;
    Vector3 d, expected;
  } cases[] = {
      {z.box, {-1, 0, 1}, {-1, 2, 3}},
      {z.box, {0, -1, 0}, {1, -2, 3}},
      {z.sphere, {0, 3, 4}, {0, 0.6f, 0.8f}},
      {z.sphere, {0, 0, 0}, {0, 0, 0}},
      {z.cylinder, {3, -1, 4}, {0.6f, -1, 0.8f}},
      {z.cylinder, {0, 1, 0}, {0, 1, 0}},
      {z.cone, {0, 1, 0}, {0, 2, 0}},
      {z.cone, {1, 0, 0}, {1, 0, 0}},
      {z.cone, {0, -1, 0}, {0, 0, 0}},
      {z.points, {0, 0, 1}, {0, 0, 3}},
      {z.points, {1, 0, 0}, {1, 0, 0}},
      {z.points, {0, -1, 0}, {-1, 0, 0}},  // first of equals
  };
  for (const Case& c : cases) {
    const Vector3 s = c.shape->GetSupport(c.d);
    EXPECT_NEAR((s - c.expected).Length(), 0, 1e-5)
        << Describe(c.shape) << " d " << Str(c.d) << " got " << Str(s);
  }
  // No mesh vertex lies farther along any direction than the support point.
  std::mt19937 random(7);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (CTShape* shape : {static_cast<CTShape*>(z.box), static_cast<CTShape*>(z.sphere),
                         static_cast<CTShape*>(z.cylinder), static_cast<CTShape*>(z.cone)}) {
    const DRenderShape& m = *shape->GetRenderShape();
    for (int trial = 0; trial < 50; ++trial) {
      const Vector3 d(unit(random), unit(random), unit(random));
      const float reach = d.Dot(shape->GetSupport(d));
      for (int i = 0; i < m.GetVectorCount(); ++i) ASSERT_LE(d.Dot(m.GetVectors()[i]), reach + 1e-4f);
    }
  }
}

TEST_F(ShapesTest, PointAndHalfspaceTests_FollowTheIntersectConvention) {
  Zoo z = MakeZoo();
  struct PointCase {
    CTShape* shape;
    Vector3 p;
    intersect_t expected;
  } points[] = {
      {z.box, {1, 2, 3}, kIn},
      {z.box, {1.01f, 0, 0}, kOut},
      {z.bbox, {10.9f, 0, 0}, kIn},
      {z.bbox, {0, 0, 0}, kOut},
      {z.sphere, {0.6f, 0.6f, 0}, kIn},
      {z.sphere, {0.8f, 0.8f, 0}, kOut},
      {z.cylinder, {0.7f, 1, 0.7f}, kIn},
      {z.cylinder, {0, 1.1f, 0}, kOut},
      {z.cylinder, {0.8f, 0, 0.8f}, kOut},
      {z.cone, {0, 0.5f, 0}, kUnknown},
      {z.sprite, {1, 0.5f, 0.25f}, kIn},
      {z.sprite, {0, 0, 0.3f}, kOut},
      {z.points, {0, 1, 1}, kIn},
      {z.points, {0, -0.1f, 1}, kOut},
      {z.font, {1.5f, -0.5f, 0}, kIn},
      {z.font, {1.5f, 1.5f, 0}, kOut},
  };
  for (const PointCase& c : points)
    EXPECT_EQ(c.shape->CheckWithPoint(c.p, nullptr), c.expected) << Describe(c.shape) << " at " << Str(c.p);
  DTransform moved;
  moved.MoveTo(Vector3(5, 0, 0));
  EXPECT_EQ(z.cylinder->CheckWithPoint(Vector3(5.5f, 0, 0), &moved), kIn);

  struct PlaneCase {
    CTShape* shape;
    Plane3 plane;
    intersect_t expected;
  } planes[] = {
      {z.sphere, {{1, 0, 0}, 1}, kIn},       {z.sphere, {{1, 0, 0}, -1}, kOut},
      {z.sphere, {{1, 0, 0}, 0}, kCut},      {z.box, {{0, 1, 0}, 2}, kIn},
      {z.box, {{0, 1, 0}, -2.5f}, kOut},     {z.bbox, {{1, 0, 0}, 9.5f}, kCut},
      {z.bbox, {{1, 0, 0}, 8}, kOut},        {z.cylinder, {{1, 1, 0}, 2.01f}, kIn},
      {z.cylinder, {{1, 1, 0}, 1.9f}, kCut}, {z.cylinder, {{0, -1, 0}, -1.1f}, kOut},
      {z.cone, {{0, 1, 0}, 5}, kUnknown},    {z.sprite, {{0, 0, 1}, 0.25f}, kIn},
      {z.sprite, {{0, 0, 1}, -0.3f}, kOut},  {z.points, {{0, 0, 1}, 3}, kIn},
      {z.points, {{0, 0, 1}, 0}, kCut},      {z.points, {{0, 1, 0}, -0.5f}, kOut},
      {z.font, {{1, 0, 0}, 2}, kIn},         {z.font, {{0, 1, 0}, 0}, kCut},
      {z.font, {{0, 1, 0}, -1.5f}, kOut},
  };
  for (const PlaneCase& c : planes)
    EXPECT_EQ(c.shape->CheckWithHalfspace(c.plane, nullptr), c.expected)
        << Describe(c.shape) << " n " << Str(c.plane.normal) << " d " << c.plane.d;
  EXPECT_EQ(z.box->CheckWithHalfspace(planes[0].plane, &moved),
            kUnknown);  // placed half-spaces: not supported
}

// Fixed lines, then random ones held against sampling points along them
// (a line that only grazes the surface is left out).
TEST_F(ShapesTest, LineTests_AgreeWithPointsAlongTheLine) {
  Zoo z = MakeZoo();
  struct Case {
    CTShape* shape;
    Line3 line;
    intersect_t expected;
  } cases[] = {
      {z.box, {{5, 0, 0}, {-1, 0, 0}}, kCut},        {z.box, {{5, 2.5f, 0}, {1, 0, 0}}, kOut},
      {z.sphere, {{0, 0, 5}, {0, 0, 1}}, kCut},      {z.sphere, {{0, 1.1f, 5}, {0, 0, 1}}, kOut},
      {z.cylinder, {{0.5f, 9, 0}, {0, 1, 0}}, kCut}, {z.cylinder, {{1.1f, 9, 0}, {0, 1, 0}}, kOut},
      {z.cylinder, {{0, 1.5f, 0}, {1, 0, 1}}, kOut}, {z.cone, {{0, 1.9f, 0}, {1, 0, 0}}, kCut},
      {z.cone, {{0.2f, 1.9f, 0}, {0, 0, 1}}, kOut},  {z.cone, {{-1, -1, 0}, {1, 1, 0}}, kCut},
      {z.sprite, {{0, 0, -5}, {0, 0, 1}}, kCut},     {z.sprite, {{1.1f, 0, -5}, {0, 0, 1}}, kOut},
      {z.points, {{0, 1, -5}, {0, 0, 1}}, kCut},     {z.font, {{1, 0, -5}, {0, 0, 1}}, kCut},
      {z.font, {{1, 1.5f, -5}, {0, 0, 1}}, kOut},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.shape->CheckWithLine(c.line, nullptr), c.expected)
        << Describe(c.shape) << " through " << Str(c.line.point) << " along " << Str(c.line.direction);

  auto inCylinder = [](const Vector3& p, float s) {
    return p.x * p.x + p.z * p.z <= s * s && std::fabs(p.y) <= s;
  };
  auto inCone = [](const Vector3& p, float s) {
    const float w = s * (1 - p.y / 2);  // radius 1, height 2, grown or shrunk by s about the base centre
    return p.y >= 0 && p.y <= 2 * s && p.x * p.x + p.z * p.z <= w * w;
  };
  auto inSphere = [](const Vector3& p, float s) { return p.SquaredLength() <= s * s; };
  struct Solid {
    CTShape* shape;
    std::function<bool(const Vector3&, float)> inside;
  } solids[] = {{z.cylinder, inCylinder}, {z.cone, inCone}, {z.sphere, inSphere}};
  std::mt19937 random(11);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (const Solid& solid : solids) {
    int checked = 0;
    for (int trial = 0; trial < 300; ++trial) {
      const Line3 line{Vector3(unit(random), unit(random) + 1, unit(random)) * 1.5f,
                       Vector3(unit(random), unit(random), unit(random)).Normalized()};
      bool shrunk = false, grown = false;
      for (float t = -6; t <= 6; t += 0.002f) {  // the solids lie within 6 of every line's point
        const Vector3 p = line.point + line.direction * t;
        shrunk = shrunk || solid.inside(p, 0.98f);
        grown = grown || solid.inside(p, 1.02f);
      }
      if (shrunk == grown) {
        ++checked;
        ASSERT_EQ(solid.shape->CheckWithLine(line, nullptr), shrunk ? kCut : kOut)
            << Describe(solid.shape) << " through " << Str(line.point) << " along " << Str(line.direction);
      }
    }
    EXPECT_GT(checked, 250);
  }
}

TEST_F(ShapesTest, GetMaxY_IsTheTopAboveTheColumn) {
  Zoo z = MakeZoo();
  // A roof over the point shape: two triangles rising from y = 0 at x = -1
  // to y = 2 at x = 1 over z in [0, 1].
  DRenderShape& roof = *z.points->GetRenderShape();
  for (const Vector3& p : {Vector3(-1, 0, 0), Vector3(1, 2, 0), Vector3(1, 2, 1), Vector3(-1, 0, 1)})
    roof.AddVertex(p);
  roof.AddFace()->SetVertices(0, 1, 2);
  roof.AddFace()->SetVertices(0, 2, 3);
  roof.AddFace()->SetVertices(0, 2, 99);  // refers outside the pools: passed over
  struct Case {
    CTShape* shape;
    Vector3 p;
    double expected;
  } cases[] = {
      {z.box, {1, 0, 3}, 2},
      {z.box, {1.001f, 0, 3}, CTShape::kNoY},
      {z.bbox, {10.5f, 0, -1}, 1},
      {z.sphere, {0, 0, 0}, 1},
      {z.sphere, {0.6f, 9, 0}, 0.8},
      {z.sphere, {0.8f, 0, 0.8f}, CTShape::kNoY},
      {z.cylinder, {0.6f, 0, 0.7f}, 1},
      {z.cylinder, {0.8f, 0, 0.8f}, CTShape::kNoY},
      {z.cone, {0, 0, 0}, CTShape::kNoY},
      {z.points, {0, -7, 0.5f}, 1},
      {z.points, {0.5f, 0, 0.25f}, 1.5},
      {z.points, {0, 0, 1.5f}, CTShape::kNoY},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(c.shape->GetMaxY(c.p), c.expected, 1e-5) << Describe(c.shape) << " at " << Str(c.p);
  Vector3 normal;
  EXPECT_NEAR(z.cylinder->GetMaxYAndNormal(Vector3(0.3f, 0, 0), normal), 1, 1e-6);
  EXPECT_EQ(normal, Vector3(0, 1, 0));
}

// Against a box-shaped frustum |x| <= 10, |y| <= 10, 1 <= z <= 50, each
// shape ahead, behind and across the right side; a cone cannot tell.
TEST_F(ShapesTest, Frustum_CullsEveryShapeAtKnownPlaces) {
  Zoo z = MakeZoo();
  DFrustum frustum(6);
  frustum[0] = {{1, 0, 0}, 10};
  frustum[1] = {{-1, 0, 0}, 10};
  frustum[2] = {{0, 1, 0}, 10};
  frustum[3] = {{0, -1, 0}, 10};
  frustum[4] = {{0, 0, -1}, -1};
  frustum[5] = {{0, 0, 1}, 50};
  const struct {
    Vector3 at;
    intersect_t expected;
    uint32_t clip;
  } places[] = {
      {{0, 0, 20}, kIn, qibo::kClipNone}, {{0, 0, -20}, kOut, qibo::kClipOutside}, {{10, 0, 20}, kCut, 0x1}};
  for (CTShape* shape :
       {static_cast<CTShape*>(z.box), static_cast<CTShape*>(z.sphere), static_cast<CTShape*>(z.cylinder),
        static_cast<CTShape*>(z.sprite), static_cast<CTShape*>(z.points), static_cast<CTShape*>(z.font)}) {
    for (const auto& place : places) {
      DTransform t;
      t.MoveTo(place.at);
      uint32_t clip = qibo::kClipAll;
      EXPECT_EQ(shape->CheckAgainstFrustum(frustum, &t, &clip), place.expected)
          << Describe(shape) << Str(place.at);
      EXPECT_EQ(clip, place.clip) << Describe(shape);
    }
  }
  uint32_t clip = qibo::kClipAll;
  EXPECT_EQ(z.cone->CheckAgainstFrustum(frustum, nullptr, &clip), kUnknown);
  EXPECT_EQ(clip, qibo::kClipAll);
  // Turned and scaled placements: the same answers as moving the frustum by
  // the placement's inverse.
  std::mt19937 random(3);
  std::uniform_real_distribution<float> unit(-1, 1);
  int answers[4] = {};
  for (int trial = 0; trial < 400; ++trial) {
    DTransform t;
    t.SetEuler(unit(random) * 3, unit(random) * 3, unit(random) * 3);
    t.ScaleTo(1.5 + unit(random), 1.5 + unit(random), 1.5 + unit(random));
    t.MoveTo(Vector3(unit(random) * 14, unit(random) * 14, 25 + unit(random) * 28));
    DTransform inverse;
    inverse.SetInverse(t);
    DFrustum moved = frustum;
    moved.Transform(inverse);
    intersect_t expected = kIn;
    for (int i = 0; i < 6 && expected != kOut; ++i) {
      const intersect_t r = z.box->CheckWithHalfspace(moved[i], nullptr);
      if (r != kIn) expected = r;
    }
    uint32_t mask = qibo::kClipAll;
    const intersect_t got = z.box->CheckAgainstFrustum(frustum, &t, &mask);
    ASSERT_EQ(got, expected) << "trial " << trial;
    ++answers[got];
  }
  EXPECT_GT(answers[kIn], 20);
  EXPECT_GT(answers[kOut], 20);
  EXPECT_GT(answers[kCut], 20);
}

// Bad sizes and segment counts are refused or cut, with a warning; the
// shapes stay usable and their meshes bounded.
TEST_F(ShapesTest, Degenerate_ParametersAreRefusedOrCut) {
  Zoo z = MakeZoo();
  const double nan = std::nan("");
  EXPECT_FALSE(z.box->SetDimensions(Vector3(1, -1, 1)));
  EXPECT_FALSE(z.box->SetDimensions(nan));
  EXPECT_EQ(z.box->GetDimensions(), Vector3(2, 4, 6));
  EXPECT_TRUE(Logged("box dimension -1 refused"));
  EXPECT_FALSE(z.sphere->SetRadius(-1));
  EXPECT_FALSE(z.sphere->SetRadius(1e300));  // beyond a float
  EXPECT_FALSE(z.cylinder->SetDimensions(nan, 1));
  EXPECT_FALSE(z.cone->SetHeight(-2));
  EXPECT_FALSE(z.sprite->SetSize(1, INFINITY));
  EXPECT_FALSE(z.font->SetSize(-1));
  EXPECT_FALSE(z.font->MoveTo(nan, 0));
  z.bbox->SetPivot(Vector3(nan, 0, 0));
  EXPECT_EQ(Describe(z.sphere) + Describe(z.cylinder) + Describe(z.cone) + Describe(z.sprite) +
                Describe(z.font) + Describe(z.bbox),
            Describe(MakeZoo().sphere) + Describe(MakeZoo().cylinder) + Describe(MakeZoo().cone) +
                Describe(MakeZoo().sprite) + Describe(MakeZoo().font) + Describe(MakeZoo().bbox));
  z.sphere->SetRenderQuality(0);
  z.cylinder->SetRenderQuality(2);
  EXPECT_EQ(z.sphere->GetRenderQuality(), 2);
  EXPECT_EQ(z.cylinder->GetRenderQuality(), CTCylinder::kDefaultSegments);
  z.sphere->SetRenderQuality(100000);
  z.cylinder->SetRenderQuality(100000);
  EXPECT_EQ(z.sphere->GetRenderQuality(), CTSphere::kMaxQuality);
  EXPECT_EQ(z.cylinder->GetRenderQuality(), 1024);
  EXPECT_TRUE(Logged("cylinder segments 100000 cut to 1024"));
  EXPECT_EQ(z.sphere->GetRenderShape()->GetVertexCount(), 257 * 129);
  // Zero sizes make flat or empty shapes with finite meshes.
  z.sphere->SetRadius(0);
  z.cylinder->SetDimensions(0, 0);
  z.cone->SetDimensions(0, 0);
  z.sprite->SetSize(0);
  for (CTShape* shape : {static_cast<CTShape*>(z.sphere), static_cast<CTShape*>(z.cylinder),
                         static_cast<CTShape*>(z.cone), static_cast<CTShape*>(z.sprite)}) {
    const DRenderShape& m = *shape->GetRenderShape();
    for (int i = 0; i < m.GetVectorCount(); ++i)
      EXPECT_TRUE(std::isfinite(m.GetVectors()[i].x)) << Describe(shape);
    for (int i = 0; i < m.GetNormalCount(); ++i)
      EXPECT_TRUE(std::isfinite(m.GetNormals()[i].y)) << Describe(shape);
    EXPECT_NE(shape->CheckWithLine({{0, 0, -1}, {0, 0, 1}}, nullptr), kUnknown) << Describe(shape);
  }
  // Written through a property, a bad size is refused the same way.
  ASSERT_TRUE(z.cylinder->MakeProperties());
  z.cylinder->GetPropertyByName("Radius").FromString("-3");
  z.cylinder->ApplyChanges();
  EXPECT_EQ(z.cylinder->GetRadius(), 0);
  z.cylinder->GetPropertyByName("Radius").FromString("2.5");
  z.cylinder->ApplyChanges();
  EXPECT_EQ(z.cylinder->GetRadius(), 2.5);
  EXPECT_EQ(z.cylinder->GetMaxY(Vector3(2.4f, 0, 0)), 0);  // derived data follows
}

// Copies and stream images keep every parameter (the point shape's mesh
// and face materials too); a corrupt count is refused.
TEST_F(ShapesTest, CopyAndStream_KeepTheParameters) {
  Zoo z = MakeZoo();
  z.sphere->SetRenderQuality(5);
  z.cylinder->SetRenderCaps(true, false);
  z.font->MoveTo(-3, 4);
  DRenderShape& mesh = *z.points->GetRenderShape();
  for (const Vector3& p : {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0)}) mesh.AddVertex(p);
  mesh.AddFace()->SetVertices(0, 1, 2);
  mesh.GetFace(0)->SetMaterial(qiBO_CreateMaterial("Roof", nullptr));
  for (CTShape* shape :
       {static_cast<CTShape*>(z.box), static_cast<CTShape*>(z.bbox), static_cast<CTShape*>(z.sphere),
        static_cast<CTShape*>(z.cylinder), static_cast<CTShape*>(z.cone), static_cast<CTShape*>(z.sprite),
        static_cast<CTShape*>(z.points), static_cast<CTShape*>(z.font)}) {
    Ref<CTShape> copy(shape->Copy());
    ASSERT_TRUE(copy);
    EXPECT_EQ(Describe(copy.Get()), Describe(shape));
    EXPECT_EQ(std::string(copy->GetName()), std::string("Copy of ") + shape->GetName());
    Ref<CTShape> read = RoundTrip(shape);
    ASSERT_TRUE(read) << Describe(shape);
    EXPECT_EQ(Describe(read.Get()), Describe(shape));
  }
  // A chunk that claims two billion points is refused whole.
  std::vector<uint8_t> buffer(4096);
  MemoryStream writer;
  ASSERT_TRUE(writer.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
  writer.WriteObject(z.points);
  const uint32_t size = writer.GetPos();
  ASSERT_TRUE(writer.CloseStream());
  const std::string image(buffer.begin(), buffer.begin() + size);
  const std::string id("\x21\x10\xCF\x15", 4);  // the class ID, then the chunk ID
  const size_t at = image.find(id, image.find(id) + 4);
  ASSERT_NE(at, std::string::npos);
  std::memcpy(buffer.data() + at + 8, "\xFF\xFF\xFF\x7F", 4);
  MemoryStream reader;
  ASSERT_TRUE(reader.Read(buffer.data(), static_cast<int>(size)));
  auto* read = qibo::Cast<CTPointShape>(reader.GetObjectNo(0));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->GetPointCount(), 0);
  EXPECT_TRUE(Logged("2147483647 points in the stream refused"));
}

// A count the chunk has no room for is refused before anything is made,
// however small it is: a few bytes claiming a million records each must not
// cost megabytes. Each case patches one count of a point shape's image.
TEST_F(ShapesTest, Stream_CountsBeyondTheChunkAreRefused) {
  Zoo z = MakeZoo();
  DRenderShape& mesh = *z.points->GetRenderShape();
  for (const Vector3& p : {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0)}) mesh.AddVertex(p);
  mesh.AddFace()->SetVertices(0, 1, 2);
  std::vector<uint8_t> buffer(8192);
  MemoryStream writer;
  ASSERT_TRUE(writer.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
  writer.WriteObject(z.points);
  const uint32_t size = writer.GetPos();
  ASSERT_TRUE(writer.CloseStream());
  const std::string image(buffer.begin(), buffer.begin() + size);
  const size_t points = image.find("\x21\x10\xCF\x15", image.find("\x21\x10\xCF\x15") + 4);
  const size_t meshAt = image.find("\x22\x10\xCF\x15");
  ASSERT_NE(points, std::string::npos);
  ASSERT_NE(meshAt, std::string::npos);
  // The mesh chunk: positions, normals, vertices (32 bytes each), faces.
  const size_t positions = meshAt + 8;
  const size_t normals = positions + 4 + 12 * static_cast<size_t>(mesh.GetVectorCount());
  const size_t vertices = normals + 4 + 12 * static_cast<size_t>(mesh.GetNormalCount());
  const size_t faces = vertices + 4 + 32 * static_cast<size_t>(mesh.GetVertexCount());
  const struct Case {
    size_t at;
    uint32_t count;
    const char* logged;
  } cases[] = {
      {points + 8, 1u << 20, "1048576 points in the stream refused"},
      {points + 8, 5, "5 points in the stream refused"},  // one more than the four there
      {positions, 1u << 20, "1048576 positions in the stream refused"},
      {normals, 1u << 20, "1048576 normals in the stream refused"},
      {vertices, 1u << 20, "1048576 vertices in the stream refused"},
      {faces, 1u << 20, "1048576 faces in the stream refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged);
    std::vector<uint8_t> damaged(buffer.begin(), buffer.begin() + size);
    qibo::PutLE32(damaged.data() + c.at, c.count);
    MemoryStream reader;
    ASSERT_TRUE(reader.Read(damaged.data(), static_cast<int>(size)));
    auto* read = qibo::Cast<CTPointShape>(reader.GetObjectNo(0));
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(Logged(c.logged));
    if (c.at == points + 8) {
      EXPECT_EQ(read->GetPointCount(), 0);
      EXPECT_EQ(read->GetRenderShape()->GetFaceCount(), 1);  // the mesh chunk is sound
    } else {
      EXPECT_EQ(read->GetPointCount(), 4);
      EXPECT_EQ(read->GetRenderShape()->GetVectorCount(), 0);  // nothing of a refused mesh stays
      EXPECT_EQ(read->GetRenderShape()->GetFaceCount(), 0);
    }
  }
}

TEST_F(ShapesTest, BoundingVolumes_EncloseTheShape) {
  Zoo z = MakeZoo();
  struct Case {
    CTShape* shape;
    Vector3 boxDims;
    double sphereRadius;  // 0: none
  } cases[] = {
      {z.cylinder, {2, 2, 2}, std::sqrt(2.0)},
      {z.cone, {2, 2, 2}, std::sqrt(6.0)},  // around the base's centre
      {z.sprite, {2, 1, 0.5f}, std::sqrt(1.0 + 0.25 + 0.0625)},
      {z.points, {2, 2, 3}, 3},
      {z.font, {2, 2, 0}, std::sqrt(5.0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.shape));
    Ref<CTShape> box = c.shape->GetBoundingBox();
    ASSERT_NE(qibo::Cast<CTBox>(box.Get()), nullptr);
    EXPECT_NEAR((static_cast<CTBox*>(box.Get())->GetDimensions() - c.boxDims).Length(), 0, 1e-5);
    Ref<CTShape> sphere = c.shape->GetBoundingSphere();
    ASSERT_NE(qibo::Cast<CTSphere>(sphere.Get()), nullptr);
    EXPECT_NEAR(static_cast<CTSphere*>(sphere.Get())->GetRadius(), c.sphereRadius, 1e-5);
  }
  z.sprite->SetThickness(0);
  EXPECT_NEAR(static_cast<CTSphere*>(z.sprite->GetBoundingSphere().Get())->GetRadius(), std::sqrt(1.25),
              1e-5);
  z.points->Clear();
  EXPECT_FALSE(z.points->GetBoundingSphere());
  EXPECT_FALSE(z.points->WorthCulling());
}

// A good font file brings its texture, grid and material; bad ones are
// refused with a message and change nothing.
TEST_F(ShapesTest, FontFile_LoadsItsTextureOrIsRefused) {
  Zoo z = MakeZoo();
  qiBO_RegisterClass(TestGlyphImport::_CD());
  ASSERT_EQ(mkdir("textures", 0700), 0);
  qibo::test::PutFile("textures/glyphs.glyphs", "");
  qibo::test::PutFile("good.font", "# eight by four cells\n  texture glyphs \ngrid 8 4\n\nfirst 64\n");
  ASSERT_TRUE(z.font->Load("good.font"));
  ASSERT_NE(z.font->GetTexture(), nullptr);
  EXPECT_EQ(z.font->GetColumns() * 100 + z.font->GetRows() * 10, 840);
  EXPECT_EQ(z.font->GetFirstChar(), 64);
  ASSERT_NE(z.font->GetFontMaterial(), nullptr);
  EXPECT_EQ(z.font->GetFontMaterial()->GetTexture(), z.font->GetTexture());
  z.font->SetText("A");  // cell 1 of 8 x 4
  const DRenderShape& m = *z.font->GetRenderShape();
  ASSERT_EQ(m.GetFaceCount(), 2);
  EXPECT_EQ(m.GetFace(0)->GetMaterial(), z.font->GetFontMaterial());
  EXPECT_EQ(m.GetVertices()[0].u, 1.0f / 8);
  EXPECT_EQ(m.GetVertices()[0].v, 1.0f / 4);
  z.font->Free();
  qiBO_UnregisterClass(TestGlyphImport::_CD());

  qibo::test::PutFile("plain.font", "# glyphs\ngrid 16 8\n");
  qibo::test::PutFile("grid.font", "texture glyphs\ngrid 0 8\n");
  qibo::test::PutFile("key.font", "texture glyphs\ncolour red\n");
  qibo::test::PutFile("missing.font", "texture no-such-texture\n");
  const struct {
    const char* file;
    const char* message;
  } cases[] = {
      {"absent.font", "font file \"absent.font\" not found"},
      {"plain.font", "names no texture"},
      {"grid.font", "cannot read \"grid 0 8\""},
      {"key.font", "cannot read \"colour red\""},
      {"missing.font", "font texture \"no-such-texture\" of missing.font could not be loaded"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(z.font->Load(c.file)) << c.file;
    EXPECT_TRUE(Logged(c.message)) << c.message;
  }
  EXPECT_EQ(z.font->GetTexture(), nullptr);
  EXPECT_EQ(z.font->GetColumns(), 8);  // as the good file left it
}
