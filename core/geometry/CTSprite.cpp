#include "core/geometry/CTSprite.h"

#include "core/geometry/CTBBox.h"
#include "core/geometry/CTSphere.h"
#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTSprite, CTShape, .desc = "Sprite", .product = "qiBO 3D", .safeToReceive = true)
static_assert(qibo::ClassId("CTSprite") == 0x618D3E78);

bool CTSprite::SetSize(double width, double height) {
  if (!qibo::shapemesh::CheckSize(this, "sprite width", width) ||
      !qibo::shapemesh::CheckSize(this, "sprite height", height))
    return false;
  m_width = static_cast<float>(width);
  m_height = static_cast<float>(height);
  m_sizeBinding.Accept({m_width, m_height});
  m_render.Invalidate();
  Invalidate();
  return true;
}

bool CTSprite::SetThickness(double thickness) {
  if (!qibo::shapemesh::CheckSize(this, "sprite thickness", thickness)) return false;
  m_thickness = static_cast<float>(thickness);
  m_thicknessBinding.Accept({m_thickness});
  Invalidate();
  return true;
}

Ref<CTShape> CTSprite::GetBoundingSphere() {
  Ref<CTSphere> sphere = qibo::Create<CTSphere>();
  if (!sphere) return Ref<CTShape>();
  sphere->SetRadius(Half().Length());
  sphere->SetTransform(m_transform);
  return Ref<CTShape>(sphere.Get());
}

Ref<CTShape> CTSprite::GetBoundingBox() {
  Ref<CTBBox> box = qibo::Create<CTBBox>();
  if (!box) return Ref<CTShape>();
  box->SetDimensions(Vector3(m_width, m_height, m_thickness));
  box->SetTransform(m_transform);
  return Ref<CTShape>(box.Get());
}

intersect_t CTSprite::CheckWithPoint(const Vector3& p, const DTransform* transform) {
  return qibo::boxtest::Point(ToShapeSpace(p, transform), Vector3(), Half());
}

intersect_t CTSprite::CheckWithHalfspace(const Plane3& plane, const DTransform* transform) {
  if (transform) return kIntersectUnknown;
  return qibo::boxtest::Halfspace(plane, Vector3(), Half());
}

intersect_t CTSprite::CheckWithLine(const Line3& line, const DTransform* transform) {
  return qibo::boxtest::Line(qibo::shapetest::LinePoint(line, transform),
                             qibo::shapetest::LineDirection(line, transform), Vector3(), Half());
}

DRenderShape* CTSprite::GetRenderShape() {
  if (!m_render.IsCurrent(m_transform)) BuildRenderShape();
  return &m_render.Mesh();
}

void CTSprite::BuildRenderShape() {
  namespace sm = qibo::shapemesh;
  const float x = m_width * 0.5f, y = m_height * 0.5f;
  DRenderShape& mesh = m_render.Mesh();
  sm::Reset(mesh);
  const int normal = mesh.AddNormal(Vector3(0, 0, -1));
  sm::AddPoint(mesh, Vector3(-x, -y, 0), normal, 0, 1);
  sm::AddPoint(mesh, Vector3(x, -y, 0), normal, 1, 1);
  sm::AddPoint(mesh, Vector3(x, y, 0), normal, 1, 0);
  sm::AddPoint(mesh, Vector3(-x, y, 0), normal, 0, 0);
  sm::AddTriangle(mesh, 0, 2, 1, normal, false);
  sm::AddTriangle(mesh, 0, 3, 2, normal, false);
  sm::Finish(mesh, m_transform, qibo::shapemesh::kTwoSidedState);
  m_render.SetCurrent(m_transform);
}

void CTSprite::DoAddProperties() {
  CTShape::DoAddProperties();
  AddProperty(DProperty(m_width, "Width"), CTSprite::_CD());
  AddProperty(DProperty(m_height, "Height"), CTSprite::_CD());
  AddProperty(DProperty(m_thickness, "Thickness"), CTSprite::_CD());
}

void CTSprite::OnPropertyChanged(DProperty& property) {
  m_sizeBinding.Apply(property, {&m_width, &m_height},
                      [this](float width, float height) { SetSize(width, height); });
  m_thicknessBinding.Apply(property, {&m_thickness}, [this](float thickness) { SetThickness(thickness); });
  CTShape::OnPropertyChanged(property);
}

void CTSprite::WriteToStream(Stream* stream, uint32_t flags) {
  CTShape::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteFloat(m_width);
  stream->WriteFloat(m_height);
  stream->WriteFloat(m_thickness);
  stream->EndChunk();
}

bool CTSprite::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTShape::ProcessChunk(stream, chunkID);
  const float width = stream->ReadFloat();
  SetSize(width, stream->ReadFloat());
  SetThickness(stream->ReadFloat());
  return true;
}
