#include "core/geometry/CTCone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTCone, CTShape, .desc = "Cone shape", .safeToReceive = true)
static_assert(qibo::ClassId("CTCone") == 0x6FB65AD0);

using std::numbers::pi;

bool CTCone::SetDimensions(double radius, double height) {
  if (!qibo::shapemesh::CheckSize(this, "cone radius", radius) ||
      !qibo::shapemesh::CheckSize(this, "cone height", height))
    return false;
  m_radius = radius;
  m_height = height;
  m_dimensionsBinding.Accept({radius, height});
  m_render.Invalidate();
  Invalidate();
  return true;
}

double CTCone::CalcVolume() { return pi / 3.0 * m_radius * m_radius * m_height; }

double CTCone::CalcArea() { return pi * m_radius * (m_height + m_radius); }

Vector3 CTCone::GetSupport(const Vector3& d) {
  const float q2 = d.x * d.x + d.z * d.z;
  Vector3 rim;
  if (q2 > qibo::kEpsilon) {
    const float s = static_cast<float>(m_radius / std::sqrt(q2));
    rim = Vector3(d.x * s, 0, d.z * s);
  }
  const Vector3 apex(0, static_cast<float>(m_height), 0);
  return d.Dot(apex) > d.Dot(rim) ? apex : rim;
}

// Inside the slab 0 <= y <= h the cone's cross-section has radius
// w(t) = r (1 - y(t) / h) >= 0, so the line is inside where
// f(t) = x(t)^2 + z(t)^2 - w(t)^2 <= 0: a quadratic whose least value over
// the slab's parameter range decides.
intersect_t CTCone::CheckWithLine(const Line3& line, const DTransform* transform) {
  const Vector3 o = qibo::shapetest::LinePoint(line, transform);
  const Vector3 d = qibo::shapetest::LineDirection(line, transform);
  const bool bounded = std::fabs(d.y) >= qibo::kEpsilon;
  double low = 0, high = 0;
  if (!bounded) {
    if (o.y < 0 || o.y > m_height) return kIntersectOutside;
  } else {
    low = -o.y / d.y;
    high = (m_height - o.y) / d.y;
    if (low > high) std::swap(low, high);
  }
  const double k = m_height > qibo::kEpsilon ? m_radius / m_height : 0.0;
  const double w0 = m_radius - k * o.y, wd = -k * d.y;
  const double a = static_cast<double>(d.x) * d.x + static_cast<double>(d.z) * d.z - wd * wd;
  const double b = 2.0 * (static_cast<double>(o.x) * d.x + static_cast<double>(o.z) * d.z - w0 * wd);
  const double c = static_cast<double>(o.x) * o.x + static_cast<double>(o.z) * o.z - w0 * w0;
  auto f = [&](double t) { return (a * t + b) * t + c; };
  double least;
  if (!bounded) {
    // Level with the base: a is the squared horizontal direction, never < 0.
    least = a < qibo::kEpsilon * qibo::kEpsilon ? c : f(-b / (2.0 * a));
  } else {
    least = std::min(f(low), f(high));
    if (a > 0) {
      const double vertex = -b / (2.0 * a);
      if (vertex > low && vertex < high) least = std::min(least, f(vertex));
    }
  }
  return least <= 0 ? kIntersectPartly : kIntersectOutside;
}

DRenderShape* CTCone::GetRenderShape() {
  if (!m_render.IsCurrent(m_transform)) BuildRenderShape();
  return &m_render.Mesh();
}

void CTCone::BuildRenderShape() {
  namespace sm = qibo::shapemesh;
  constexpr int n = kSegments;
  const float r = static_cast<float>(m_radius), h = static_cast<float>(m_height);
  auto slant = [&](double t) {  // the mantle's normal at angle t
    return Vector3(h * static_cast<float>(std::sin(t)), r, h * static_cast<float>(std::cos(t))).Normalized();
  };
  DRenderShape& mesh = m_render.Mesh();
  sm::Reset(mesh);
  for (int i = 0; i <= n; ++i) {  // the rim, its first vertex repeated at u = 1
    const double t = 2.0 * pi * i / n;
    const Vector3 p(r * static_cast<float>(std::sin(t)), 0, r * static_cast<float>(std::cos(t)));
    sm::AddPoint(mesh, p, mesh.AddNormal(slant(t)), static_cast<float>(i) / n, 1.0f);
  }
  const int apex = sm::AddPosition(mesh, Vector3(0, h, 0));
  for (int i = 0; i < n; ++i) {
    const int top =
        sm::AddVertex(mesh, apex, mesh.AddNormal(slant(2.0 * pi * (i + 0.5) / n)), (i + 0.5f) / n, 0.0f);
    sm::AddTriangle(mesh, i, i + 1, top, -1, true);
  }
  const int down = mesh.AddNormal(Vector3(0, -1, 0));
  const int first = mesh.GetVertexCount();
  for (int i = 0; i < n; ++i) {
    const double t = 2.0 * pi * i / n;
    const float s = static_cast<float>(std::sin(t)), c = static_cast<float>(std::cos(t));
    sm::AddPoint(mesh, Vector3(r * s, 0, r * c), down, (s + 1.0f) * 0.5f, (c + 1.0f) * 0.5f);
  }
  const int centre = sm::AddPoint(mesh, Vector3(), down, 0.5f, 0.5f);
  for (int i = 0; i < n; ++i) sm::AddTriangle(mesh, centre, first + (i + 1) % n, first + i, down, false);
  sm::Finish(mesh, m_transform);
  m_render.SetCurrent(m_transform);
}

void CTCone::DoAddProperties() {
  CTShape::DoAddProperties();
  AddProperty(DProperty(m_radius, "Radius"), CTCone::_CD());
  AddProperty(DProperty(m_height, "Height"), CTCone::_CD());
}

void CTCone::OnPropertyChanged(DProperty& property) {
  m_dimensionsBinding.Apply(property, {&m_radius, &m_height},
                            [this](double radius, double height) { SetDimensions(radius, height); });
  CTShape::OnPropertyChanged(property);
}

void CTCone::WriteToStream(Stream* stream, uint32_t flags) {
  CTShape::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteDouble(m_radius);
  stream->WriteDouble(m_height);
  stream->EndChunk();
}

bool CTCone::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTShape::ProcessChunk(stream, chunkID);
  const double radius = stream->ReadDouble();
  SetDimensions(radius, stream->ReadDouble());
  return true;
}
