#include "core/geometry/CTBox.h"

#include <cmath>

#include "core/geometry/CTSphere.h"
#include "core/object/Stream.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/MaterialApi.h"

QIBO_IMPLEMENT_CLASS(CTBox, CTShape, .desc = "Box shape", .safeToReceive = true)
static_assert(qibo::ClassId("CTBox") == 0xFC519ED3);

bool CTBox::SetDimensions(double edge) {
  if (!qibo::shapemesh::CheckSize(this, "box edge", edge)) return false;
  const float e = static_cast<float>(edge);
  return SetDimensions(Vector3(e, e, e));
}

bool CTBox::SetDimensions(const Vector3& dimensions) {
  for (int axis = 0; axis < 3; ++axis)
    if (!qibo::shapemesh::CheckSize(this, "box dimension", dimensions[axis])) return false;
  m_dimensions = dimensions;
  m_half = dimensions * 0.5f;
  m_dimensionsBinding.Accept({dimensions.x, dimensions.y, dimensions.z});
  m_render.Invalidate();
  Invalidate();
  return true;
}

Vector3 CTBox::GetCorner(int i) const {
  static constexpr float kSign[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1},
                                        {-1, 1, -1},  {1, 1, -1},  {1, 1, 1},  {-1, 1, 1}};
  const int c = i & 7;
  return Vector3(kSign[c][0] * m_half.x, kSign[c][1] * m_half.y, kSign[c][2] * m_half.z);
}

double CTBox::CalcVolume() { return static_cast<double>(m_dimensions.x) * m_dimensions.y * m_dimensions.z; }

double CTBox::CalcArea() {
  const double x = m_dimensions.x, y = m_dimensions.y, z = m_dimensions.z;
  return 2.0 * (x * y + x * z + y * z);
}

void CTBox::UpdateCWMatrix() {
  const Vector3& d = m_dimensions;
  m_cw = Matrix33::Diagonal(d.y * d.z, d.x * d.z, d.x * d.y);
}

Vector3 CTBox::GetSupport(const Vector3& d) {
  return Vector3(d.x < 0 ? -m_half.x : m_half.x, d.y < 0 ? -m_half.y : m_half.y,
                 d.z < 0 ? -m_half.z : m_half.z);
}

Vector3 CTBox::GetNormal(const Vector3& point) {
  const Vector3 p = point - Centre();
  int best = 0;
  float nearest = std::fabs(m_half.x - std::fabs(p.x));
  for (int axis = 1; axis < 3; ++axis) {
    const float distance = std::fabs(m_half[axis] - std::fabs(p[axis]));
    if (distance < nearest) {
      nearest = distance;
      best = axis;
    }
  }
  Vector3 normal;
  normal[best] = p[best] < 0 ? -1.0f : 1.0f;
  return normal;
}

double CTBox::GetMaxY(const Vector3& point) {
  const Vector3 centre = Centre();
  const Vector3 p = point - centre;
  if (p.x < -m_half.x || p.x > m_half.x || p.z < -m_half.z || p.z > m_half.z) return kNoY;
  return static_cast<double>(m_half.y) + centre.y;  // the top at the pivot's height, for a CTBBox
}

Ref<CTShape> CTBox::GetBoundingSphere() {
  Ref<CTSphere> sphere = qibo::Create<CTSphere>();
  if (!sphere) return Ref<CTShape>();
  sphere->SetRadius(m_half.Length());
  sphere->SetTransform(m_transform);
  return Ref<CTShape>(sphere.Get());
}

intersect_t CTBox::CheckWithPoint(const Vector3& point, const DTransform* transform) {
  return qibo::boxtest::Point(ToShapeSpace(point, transform), Centre(), m_half);
}

intersect_t CTBox::CheckWithHalfspace(const Plane3& plane, const DTransform* transform) {
  if (transform) return kIntersectUnknown;
  return qibo::boxtest::Halfspace(plane, Centre(), m_half);
}

intersect_t CTBox::CheckWithLine(const Line3& line, const DTransform* transform) {
  return qibo::boxtest::Line(qibo::shapetest::LinePoint(line, transform),
                             qibo::shapetest::LineDirection(line, transform), Centre(), m_half);
}

DRenderShape* CTBox::GetRenderShape() {
  if (!m_render.IsCurrent(m_transform)) BuildRenderShape();
  return &m_render.Mesh();
}

// The side materials come from the material service by name; a new one is
// given its colour, one that exists keeps whatever it was given since.
void CTBox::BuildRenderShape() {
  static constexpr DColor kColors[3] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}};
  static constexpr Vector3 kNormals[6] = {{1, 0, 0},  {0, 1, 0},  {0, 0, 1},
                                          {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
  static constexpr int kSides[6][4] = {{1, 5, 6, 2}, {7, 6, 5, 4}, {3, 2, 6, 7},
                                       {0, 3, 7, 4}, {2, 3, 0, 1}, {0, 4, 5, 1}};
  static constexpr float kUV[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  static constexpr int kFaceOrder[6] = {0, 3, 1, 4, 2, 5};
  for (int axis = 0; axis < 3; ++axis) {
    bool existed = false;
    CTMaterial* material = qiBO_CreateMaterial(kSideMaterialNames[axis], &existed);
    if (material && !existed) material->SetColor(kColors[axis]);
    m_sideMaterials[axis] = material;
  }
  DRenderShape& mesh = m_render.Mesh();
  namespace sm = qibo::shapemesh;
  sm::Reset(mesh);
  for (int c = 0; c < 8; ++c) sm::AddPosition(mesh, GetCorner(c));
  for (const Vector3& n : kNormals) mesh.AddNormal(n);
  for (int side = 0; side < 6; ++side)
    for (int j = 0; j < 4; ++j) sm::AddVertex(mesh, kSides[side][j], side, kUV[j][0], kUV[j][1]);
  for (const int side : kFaceOrder) {
    CTMaterial* material = m_sideMaterials[side % 3].Get();
    const int v = 4 * side;
    sm::AddTriangle(mesh, v, v + 1, v + 2, side, false, material);
    sm::AddTriangle(mesh, v + 2, v + 3, v, side, false, material);
  }
  sm::Finish(mesh, m_transform);
  m_render.SetCurrent(m_transform);
}

void CTBox::DoAddProperties() {
  CTShape::DoAddProperties();
  AddProperty(DProperty(m_dimensions.x, "Width"), CTBox::_CD());
  AddProperty(DProperty(m_dimensions.y, "Height"), CTBox::_CD());
  AddProperty(DProperty(m_dimensions.z, "Depth"), CTBox::_CD());
}

void CTBox::OnPropertyChanged(DProperty& property) {
  m_dimensionsBinding.Apply(property, {&m_dimensions.x, &m_dimensions.y, &m_dimensions.z},
                            [this](float x, float y, float z) { SetDimensions(Vector3(x, y, z)); });
  CTShape::OnPropertyChanged(property);
}

void CTBox::WriteToStream(Stream* stream, uint32_t flags) {
  CTShape::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteVector(m_dimensions);
  stream->EndChunk();
}

bool CTBox::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTShape::ProcessChunk(stream, chunkID);
  SetDimensions(stream->ReadVector());
  return true;
}
