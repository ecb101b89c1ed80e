#include "core/geometry/CTSphere.h"

#include <cmath>
#include <numbers>

#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTSphere, CTShape, .desc = "Sphere shape", .safeToReceive = true)
static_assert(qibo::ClassId("CTSphere") == 0x0169D761);

using std::numbers::pi;

bool CTSphere::SetRadius(double radius) {
  if (!qibo::shapemesh::CheckSize(this, "sphere radius", radius)) return false;
  m_radius = radius;
  m_radius2 = radius * radius;
  m_radiusBinding.Accept({radius});
  m_render.Invalidate();
  Invalidate();
  return true;
}

void CTSphere::SetRenderQuality(int quality) {
  if (!qibo::shapemesh::ClampSegments(this, "sphere render quality", quality, 1, kMaxQuality)) return;
  m_quality = quality;
  m_qualityBinding.Accept({quality});
  m_render.Invalidate();
}

double CTSphere::CalcVolume() { return 4.0 / 3.0 * pi * m_radius2 * m_radius; }

double CTSphere::CalcArea() { return 4.0 * pi * m_radius2; }

void CTSphere::UpdateCWMatrix() {
  const float section = static_cast<float>(pi * m_radius2);
  m_cw = Matrix33::Diagonal(section, section, section);
}

Vector3 CTSphere::GetSupport(const Vector3& d) {
  const float length2 = d.SquaredLength();
  if (length2 <= qibo::kEpsilon) return Vector3();
  return d * static_cast<float>(m_radius / std::sqrt(length2));
}

Vector3 CTSphere::GetNormal(const Vector3& p) {
  const float length2 = p.SquaredLength();
  if (length2 < qibo::kEpsilon) return Vector3();
  if (std::fabs(length2 - 1.0f) <= qibo::kEpsilon) return p;
  return p / std::sqrt(length2);
}

double CTSphere::GetMaxY(const Vector3& p) {
  const double column = static_cast<double>(p.x) * p.x + static_cast<double>(p.z) * p.z;
  return column <= m_radius2 ? std::sqrt(m_radius2 - column) : kNoY;
}

intersect_t CTSphere::CheckWithPoint(const Vector3& point, const DTransform* transform) {
  return ToShapeSpace(point, transform).SquaredLength() <= m_radius2 ? kIntersectInside : kIntersectOutside;
}

intersect_t CTSphere::CheckWithHalfspace(const Plane3& plane, const DTransform* transform) {
  if (transform) return kIntersectUnknown;
  // The plane's d is the distance of the origin behind it for a unit normal.
  const double length = plane.normal.Length();
  if (!(length >= qibo::kEpsilon)) return kIntersectUnknown;
  const double d = plane.d / length;
  if (d >= m_radius) return kIntersectInside;
  if (d <= -m_radius) return kIntersectOutside;
  return kIntersectPartly;
}

intersect_t CTSphere::CheckWithLine(const Line3& line, const DTransform* transform) {
  const Vector3 p = qibo::shapetest::LinePoint(line, transform);
  const Vector3 dir = qibo::shapetest::LineDirection(line, transform);
  const double c = p.SquaredLength() - m_radius2;
  if (c <= 0) return kIntersectPartly;
  const double along = dir.Dot(p);
  return dir.SquaredLength() * c >= along * along ? kIntersectOutside : kIntersectPartly;
}

DRenderShape* CTSphere::GetRenderShape() {
  if (!m_render.IsCurrent(m_transform)) BuildRenderShape();
  return &m_render.Mesh();
}

// Rows of vertices from the top pole down, each row once around with the
// first column repeated at u = 1 so that the texture does not wrap back.
void CTSphere::BuildRenderShape() {
  namespace sm = qibo::shapemesh;
  const int around = 8 * m_quality, down = 4 * m_quality, row = around + 1;
  const float radius = static_cast<float>(m_radius);
  DRenderShape& mesh = m_render.Mesh();
  sm::Reset(mesh);
  for (int i = 0; i <= down; ++i) {
    const double theta = pi * i / down;
    for (int j = 0; j <= around; ++j) {
      const double phi = 2.0 * pi * j / around;
      const Vector3 n(static_cast<float>(std::sin(theta) * std::sin(phi)),
                      static_cast<float>(std::cos(theta)),
                      static_cast<float>(std::sin(theta) * std::cos(phi)));
      sm::AddPoint(mesh, n * radius, mesh.AddNormal(n), static_cast<float>(j) / around,
                   static_cast<float>(i) / down);
    }
  }
  // Each cell (a, b over c, d) makes two triangles; at the poles one of them
  // would have no area and is left out.
  for (int i = 0; i < down; ++i) {
    for (int j = 0; j < around; ++j) {
      const int a = i * row + j, b = a + 1, c = a + row, d = c + 1;
      if (i > 0) sm::AddTriangle(mesh, a, c, b, -1, true);
      if (i < down - 1) sm::AddTriangle(mesh, b, c, d, -1, true);
    }
  }
  sm::Finish(mesh, m_transform);
  m_render.SetCurrent(m_transform);
}

void CTSphere::DoAddProperties() {
  CTShape::DoAddProperties();
  AddProperty(DProperty(m_radius, "Radius"), CTSphere::_CD());
  AddProperty(DProperty(m_quality, "RenderQuality"), CTSphere::_CD());
}

void CTSphere::OnPropertyChanged(DProperty& property) {
  m_radiusBinding.Apply(property, {&m_radius}, [this](double radius) { SetRadius(radius); });
  m_qualityBinding.Apply(property, {&m_quality}, [this](int quality) { SetRenderQuality(quality); });
  CTShape::OnPropertyChanged(property);
}

void CTSphere::WriteToStream(Stream* stream, uint32_t flags) {
  CTShape::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteDouble(m_radius);
  stream->WriteInt(m_quality);
  stream->EndChunk();
}

bool CTSphere::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTShape::ProcessChunk(stream, chunkID);
  SetRadius(stream->ReadDouble());
  SetRenderQuality(stream->ReadInt());
  return true;
}
