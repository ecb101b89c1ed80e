#include "demo/scenes/CTViewQuad.h"

#include "core/geometry/ShapeKit.h"

QIBO_IMPLEMENT_CLASS(CTViewQuad, CTShape, .desc = "View quad", .product = "Quarndelion", .build = 1)

namespace {

constexpr float kCorners[4][2] = {{-1.0f, -1.0f}, {-1.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, -1.0f}};

}  // namespace

CTViewQuad::CTViewQuad(const char* name) : CTShape(name) {
  using namespace qibo::shapemesh;
  const int normal = m_mesh.AddNormal(Vector3(0.0f, 0.0f, -1.0f));
  for (const auto& c : kCorners)
    AddPoint(m_mesh, Vector3(c[0], c[1], 0.0f), normal, 0.5f * (c[0] + 1.0f), 0.5f * (1.0f - c[1]));
  AddTriangle(m_mesh, 0, 1, 2, normal, false);
  AddTriangle(m_mesh, 0, 2, 3, normal, false);
  Finish(m_mesh, DTransform(), kQuadState);
}

void CTViewQuad::SetColor(const DColor& color) {
  DVertex* vertices = m_mesh.GetVertices();
  for (int i = 0; i < m_mesh.GetVertexCount(); ++i) {
    vertices[i].r = color.r;
    vertices[i].g = color.g;
    vertices[i].b = color.b;
    vertices[i].a = 1.0f;
  }
  m_mesh.Touch();
}

DColor CTViewQuad::GetColor() const {
  const DVertex& v = m_mesh.GetVertices()[0];
  return DColor{v.r, v.g, v.b, 1.0f};
}

Vector3 CTViewQuad::GetSupport(const Vector3& d) {
  return Vector3(d.x < 0.0f ? -1.0f : 1.0f, d.y < 0.0f ? -1.0f : 1.0f, 0.0f);
}
