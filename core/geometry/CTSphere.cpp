#include "core/geometry/CTSphere.h"

#include <cmath>
#include <numbers>

#include "core/persist/Stream.h"

QIBO_IMPLEMENT_CLASS(CTSphere, CTShape, .desc = "Sphere shape")
static_assert(qibo::ClassId("CTSphere") == 0x0169D761);

using std::numbers::pi;

void CTSphere::SetRadius(double radius) {
  m_radius = radius;
  m_radius2 = radius * radius;
  Invalidate();
}

void CTSphere::SetRenderQuality(int quality) {
  if (quality >= 1) m_quality = quality;
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
  if (length < qibo::kEpsilon) return kIntersectUnknown;
  const double d = plane.d / length;
  if (d >= m_radius) return kIntersectInside;
  if (d <= -m_radius) return kIntersectOutside;
  return kIntersectPartly;
}

intersect_t CTSphere::CheckWithLine(const Line3& line, const DTransform* transform) {
  const Vector3 p = ToShapeSpace(line.point, transform);
  const Vector3 dir =
      transform && transform->HasRotation() ? transform->BackTransformNormal(line.direction) : line.direction;
  const double c = p.SquaredLength() - m_radius2;
  if (c <= 0) return kIntersectPartly;
  const double along = dir.Dot(p);
  return dir.SquaredLength() * c >= along * along ? kIntersectOutside : kIntersectPartly;
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
