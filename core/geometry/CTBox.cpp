#include "core/geometry/CTBox.h"

#include <cmath>

#include "core/geometry/CTSphere.h"
#include "core/persist/Stream.h"

QIBO_IMPLEMENT_CLASS(CTBox, CTShape, .desc = "Box shape")
static_assert(qibo::ClassId("CTBox") == 0xFC519ED3);

void CTBox::SetDimensions(double edge) {
  const float e = static_cast<float>(edge);
  SetDimensions(Vector3(e, e, e));
}

void CTBox::SetDimensions(const Vector3& dimensions) {
  m_dimensions = dimensions;
  m_half = dimensions * 0.5f;
  Invalidate();
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
  const Vector3 p = Local(point);
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
  const Vector3 p = Local(point);
  if (p.x < -m_half.x || p.x > m_half.x || p.z < -m_half.z || p.z > m_half.z) return kNoY;
  return m_half.y + (point.y - p.y);  // the pivot's height, for a CTBBox
}

Ref<CTShape> CTBox::GetBoundingSphere() {
  Ref<CTSphere> sphere = qibo::Create<CTSphere>();
  if (!sphere) return Ref<CTShape>();
  sphere->SetRadius(m_half.Length());
  sphere->SetTransform(m_transform);
  return Ref<CTShape>(sphere.Get());
}

intersect_t CTBox::CheckWithPoint(const Vector3& point, const DTransform* transform) {
  const Vector3 p = Local(ToShapeSpace(point, transform));
  const bool outside = std::fabs(p.x) > m_half.x || std::fabs(p.y) > m_half.y || std::fabs(p.z) > m_half.z;
  return outside ? kIntersectOutside : kIntersectInside;
}

intersect_t CTBox::CheckWithHalfspace(const Plane3& plane, const DTransform* transform) {
  if (transform) return kIntersectUnknown;
  // The corners reach r either side of the centre along the normal: all of
  // them are inside when the farthest is, none when the nearest is not.
  const Vector3 centre = Local(Vector3()) * -1.0f;  // the pivot of a CTBBox
  const Vector3& n = plane.normal;
  const float r = std::fabs(n.x) * m_half.x + std::fabs(n.y) * m_half.y + std::fabs(n.z) * m_half.z;
  const float s = n.Dot(centre);
  if (s + r <= plane.d) return kIntersectInside;
  if (s - r > plane.d) return kIntersectOutside;
  return kIntersectPartly;
}

// The line against the slabs of the three axes: it meets the box when the
// parameter ranges inside every slab overlap.
intersect_t CTBox::CheckWithLine(const Line3& line, const DTransform* transform) {
  const Vector3 origin = Local(ToShapeSpace(line.point, transform));
  const Vector3 direction =
      transform && transform->HasRotation() ? transform->BackTransformNormal(line.direction) : line.direction;
  double low = -1e300, high = 1e300;
  for (int axis = 0; axis < 3; ++axis) {
    const double o = origin[axis], d = direction[axis], h = m_half[axis];
    if (std::fabs(d) < qibo::kEpsilon) {
      if (o < -h || o > h) return kIntersectOutside;
      continue;
    }
    double t0 = (-h - o) / d, t1 = (h - o) / d;
    if (t0 > t1) std::swap(t0, t1);
    low = std::max(low, t0);
    high = std::min(high, t1);
    if (low > high) return kIntersectOutside;
  }
  return kIntersectPartly;
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
