#include "core/geometry/CTCylinder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/geometry/CTBBox.h"
#include "core/geometry/CTSphere.h"
#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTCylinder, CTShape, .desc = "Cylinder shape", .safeToReceive = true)
static_assert(qibo::ClassId("CTCylinder") == 0x81ACDC60);

using std::numbers::pi;

bool CTCylinder::SetDimensions(double radius, double height) {
  if (!qibo::shapemesh::CheckSize(this, "cylinder radius", radius) ||
      !qibo::shapemesh::CheckSize(this, "cylinder height", height))
    return false;
  m_radius = radius;
  m_height = height;
  m_radius2 = radius * radius;
  m_halfHeight = height * 0.5;
  m_dimensionsBinding.Accept({radius, height});
  m_render.Invalidate();
  Invalidate();
  return true;
}

void CTCylinder::SetRenderQuality(int segments) {
  if (!qibo::shapemesh::ClampSegments(this, "cylinder segments", segments, 3)) return;
  m_segments = segments;
  m_segmentsBinding.Accept({segments});
  m_render.Invalidate();
}

void CTCylinder::SetRenderCaps(bool bottom, bool top) {
  m_bottomCap = bottom;
  m_topCap = top;
  m_render.Invalidate();
}

double CTCylinder::CalcVolume() { return pi * m_radius2 * m_height; }

double CTCylinder::CalcArea() { return 2.0 * pi * m_radius * (m_height + m_radius); }

Vector3 CTCylinder::GetSupport(const Vector3& d) {
  const float y = static_cast<float>(d.y < 0 ? -m_halfHeight : m_halfHeight);
  const float q2 = d.x * d.x + d.z * d.z;
  if (q2 <= qibo::kEpsilon) return Vector3(0, y, 0);
  const float s = static_cast<float>(m_radius / std::sqrt(q2));
  return Vector3(d.x * s, y, d.z * s);
}

Vector3 CTCylinder::GetNormal(const Vector3& p) {
  const double radial = std::sqrt(static_cast<double>(p.x) * p.x + static_cast<double>(p.z) * p.z);
  const double toMantle = std::fabs(m_radius - radial), toCap = std::fabs(m_halfHeight - std::fabs(p.y));
  if (toCap <= toMantle || radial < qibo::kEpsilon) return Vector3(0, p.y < 0 ? -1.0f : 1.0f, 0);
  return Vector3(static_cast<float>(p.x / radial), 0, static_cast<float>(p.z / radial));
}

double CTCylinder::GetMaxY(const Vector3& p) {
  const double column = static_cast<double>(p.x) * p.x + static_cast<double>(p.z) * p.z;
  return column <= m_radius2 ? m_halfHeight : kNoY;
}

Ref<CTShape> CTCylinder::GetBoundingSphere() {
  Ref<CTSphere> sphere = qibo::Create<CTSphere>();
  if (!sphere) return Ref<CTShape>();
  sphere->SetRadius(std::sqrt(m_radius2 + m_halfHeight * m_halfHeight));
  sphere->SetTransform(m_transform);
  return Ref<CTShape>(sphere.Get());
}

Ref<CTShape> CTCylinder::GetBoundingBox() {
  Ref<CTBBox> box = qibo::Create<CTBBox>();
  if (!box) return Ref<CTShape>();
  const float diameter = static_cast<float>(2.0 * m_radius);
  box->SetDimensions(Vector3(diameter, static_cast<float>(m_height), diameter));
  box->SetTransform(m_transform);
  return Ref<CTShape>(box.Get());
}

intersect_t CTCylinder::CheckWithPoint(const Vector3& point, const DTransform* transform) {
  const Vector3 p = ToShapeSpace(point, transform);
  const double column = static_cast<double>(p.x) * p.x + static_cast<double>(p.z) * p.z;
  return column <= m_radius2 && std::fabs(p.y) <= m_halfHeight ? kIntersectInside : kIntersectOutside;
}

// Along the normal the cylinder reaches r |n_xz| + h/2 |n_y| either side of
// its centre: all of it inside when that reach is, none when -reach is not.
intersect_t CTCylinder::CheckWithHalfspace(const Plane3& plane, const DTransform* transform) {
  if (transform) return kIntersectUnknown;
  const Vector3& n = plane.normal;
  const double reach = m_radius * std::sqrt(static_cast<double>(n.x) * n.x + static_cast<double>(n.z) * n.z) +
                       m_halfHeight * std::fabs(n.y);
  if (reach <= plane.d) return kIntersectInside;
  if (-reach > plane.d) return kIntersectOutside;
  return kIntersectPartly;
}

// The parameter range inside the slab |y| <= h/2, narrowed to the range
// inside the infinite tube x^2 + z^2 <= r^2: the line meets the solid when
// something is left.
intersect_t CTCylinder::CheckWithLine(const Line3& line, const DTransform* transform) {
  const Vector3 o = qibo::shapetest::LinePoint(line, transform);
  const Vector3 d = qibo::shapetest::LineDirection(line, transform);
  double low = -1e300, high = 1e300;
  if (std::fabs(d.y) < qibo::kEpsilon) {
    if (std::fabs(o.y) > m_halfHeight) return kIntersectOutside;
  } else {
    low = (-m_halfHeight - o.y) / d.y;
    high = (m_halfHeight - o.y) / d.y;
    if (low > high) std::swap(low, high);
  }
  const double a = static_cast<double>(d.x) * d.x + static_cast<double>(d.z) * d.z;
  const double b = 2.0 * (static_cast<double>(o.x) * d.x + static_cast<double>(o.z) * d.z);
  const double c = static_cast<double>(o.x) * o.x + static_cast<double>(o.z) * o.z - m_radius2;
  if (a < qibo::kEpsilon * qibo::kEpsilon) return c <= 0 ? kIntersectPartly : kIntersectOutside;
  const double disc = b * b - 4.0 * a * c;
  if (!(disc >= 0)) return kIntersectOutside;
  const double root = std::sqrt(disc);
  low = std::max(low, (-b - root) / (2.0 * a));
  high = std::min(high, (-b + root) / (2.0 * a));
  return low <= high ? kIntersectPartly : kIntersectOutside;
}

DRenderShape* CTCylinder::GetRenderShape() {
  if (!m_render.IsCurrent(m_transform)) BuildRenderShape();
  return &m_render.Mesh();
}

void CTCylinder::BuildRenderShape() {
  namespace sm = qibo::shapemesh;
  const int n = m_segments;
  const float r = static_cast<float>(m_radius), half = static_cast<float>(m_halfHeight);
  // The texture wraps once around; its height keeps the texels square.
  const float vTop = m_radius > 0 ? static_cast<float>(m_height / (2.0 * pi * m_radius)) : 0.0f;
  DRenderShape& mesh = m_render.Mesh();
  sm::Reset(mesh);
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * pi * i / n, middle = 2.0 * pi * (i + 0.5) / n;
    const int normal = mesh.AddNormal(
        Vector3(static_cast<float>(std::sin(middle)), 0, static_cast<float>(std::cos(middle))));
    const float x = r * static_cast<float>(std::sin(t)), z = r * static_cast<float>(std::cos(t));
    const float u = static_cast<float>(i) / n;
    sm::AddPoint(mesh, Vector3(x, -half, z), normal, u, 0.0f);
    sm::AddPoint(mesh, Vector3(x, half, z), normal, u, vTop);
  }
  for (int i = 0; i < n; ++i) {
    const int bottom = 2 * i, top = bottom + 1, nextBottom = 2 * ((i + 1) % n), nextTop = nextBottom + 1;
    sm::AddTriangle(mesh, bottom, nextBottom, top, i, false);
    sm::AddTriangle(mesh, nextBottom, nextTop, top, i, false);
  }
  if (m_bottomCap) AddCap(mesh, false);
  if (m_topCap) AddCap(mesh, true);
  sm::Finish(mesh, m_transform);
  m_render.SetCurrent(m_transform);
}

void CTCylinder::AddCap(DRenderShape& mesh, bool top) {
  namespace sm = qibo::shapemesh;
  const int n = m_segments;
  const float r = static_cast<float>(m_radius);
  const float y = static_cast<float>(top ? m_halfHeight : -m_halfHeight);
  const int normal = mesh.AddNormal(Vector3(0, top ? 1.0f : -1.0f, 0));
  const int first = mesh.GetVertexCount();
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * pi * i / n;
    const float s = static_cast<float>(std::sin(t)), c = static_cast<float>(std::cos(t));
    sm::AddPoint(mesh, Vector3(r * s, y, r * c), normal, (s + 1.0f) * 0.5f, (c + 1.0f) * 0.5f);
  }
  const int centre = sm::AddPoint(mesh, Vector3(0, y, 0), normal, 0.5f, 0.5f);
  // Wound so that the face normal points away from the cylinder.
  for (int i = 0; i < n; ++i) {
    const int rim = first + i, next = first + (i + 1) % n;
    if (top)
      sm::AddTriangle(mesh, centre, rim, next, normal, false);
    else
      sm::AddTriangle(mesh, centre, next, rim, normal, false);
  }
}

void CTCylinder::DoAddProperties() {
  CTShape::DoAddProperties();
  const ClassDesc* cd = CTCylinder::_CD();
  AddProperty(DProperty(m_radius, "Radius"), cd);
  AddProperty(DProperty(m_height, "Height"), cd);
  AddProperty(DProperty(m_segments, "RenderQuality"), cd);
  AddProperty(DProperty(m_bottomCap, "BottomCap"), cd);
  AddProperty(DProperty(m_topCap, "TopCap"), cd);
}

void CTCylinder::OnPropertyChanged(DProperty& property) {
  m_dimensionsBinding.Apply(property, {&m_radius, &m_height},
                            [this](double radius, double height) { SetDimensions(radius, height); });
  m_segmentsBinding.Apply(property, {&m_segments}, [this](int segments) { SetRenderQuality(segments); });
  if (property.ID() == &m_bottomCap || property.ID() == &m_topCap) m_render.Invalidate();
  CTShape::OnPropertyChanged(property);
}

void CTCylinder::WriteToStream(Stream* stream, uint32_t flags) {
  CTShape::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteDouble(m_radius);
  stream->WriteDouble(m_height);
  stream->WriteInt(m_segments);
  stream->WriteChar(m_bottomCap ? 1 : 0);
  stream->WriteChar(m_topCap ? 1 : 0);
  stream->EndChunk();
}

bool CTCylinder::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTShape::ProcessChunk(stream, chunkID);
  const double radius = stream->ReadDouble();
  SetDimensions(radius, stream->ReadDouble());
  SetRenderQuality(stream->ReadInt());
  const bool bottom = stream->ReadChar() != 0;
  SetRenderCaps(bottom, stream->ReadChar() != 0);
  return true;
}
