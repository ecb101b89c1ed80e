#include "core/geometry/CTPointShape.h"

#include <algorithm>
#include <cmath>

#include "core/geometry/CTSphere.h"
#include "core/geometry/ShapeKit.h"
#include "core/kernel/Logging.h"
#include "core/object/Stream.h"
#include "core/persist/QIBO_Stream.h"
#include "core/render/base/CTMaterial.h"

QIBO_IMPLEMENT_CLASS(CTPointShape, CTShape, .desc = "PointShape", .safeToReceive = true)
static_assert(qibo::ClassId("CTPointShape") == 0x15CF1021);

CTPointShape::CTPointShape(const char* name) : CTShape(name) {
  m_mesh.SetState(qibo::shapemesh::kPrimitiveState);
}

CTPointShape::CTPointShape(const CTPointShape& other) : CTShape(other), m_points(other.m_points) {
  m_mesh.CopyFrom(other.m_mesh);
  HoldFaceMaterials();
}

void CTPointShape::Clear() {
  m_points.clear();
  m_mesh.Clear();
  m_mesh.SetState(qibo::shapemesh::kPrimitiveState);
  m_faceMaterials.clear();
  Invalidate();
}

bool CTPointShape::AddPoint(const Vector3& p) {
  if (!qibo::shapemesh::CheckFinite(this, "point", p)) return false;
  m_points.push_back(p);
  Invalidate();
  return true;
}

void CTPointShape::UsePointsOfRenderShape() {
  const Vector3* positions = m_mesh.GetVectors();
  m_points.assign(positions, positions + m_mesh.GetVectorCount());
  Invalidate();
}

void CTPointShape::ApplyTransform(const DTransform& t) {
  if (!m_points.empty()) t.TransformPoints(m_points.data(), static_cast<int32_t>(m_points.size()));
  m_mesh.Transform(t);
  Invalidate();
}

Vector3 CTPointShape::GetSupport(const Vector3& d) {
  if (m_points.empty()) return Vector3();
  const Vector3* best = &m_points[0];
  float bestDot = d.Dot(*best);
  for (const Vector3& p : m_points) {
    const float dot = d.Dot(p);
    if (dot > bestDot) {
      bestDot = dot;
      best = &p;
    }
  }
  return *best;
}

// The faces whose vertical projection holds (x, z): the height of each one's
// plane there, the highest of them. Faces that stand on edge, or refer
// outside the pools, are passed over.
double CTPointShape::GetMaxY(const Vector3& p) {
  m_mesh.UpdateBases();
  const DBases& bases = m_mesh.GetBases();
  auto valid = [&](const DFace& face) {
    if (!face.IsTriangle()) return false;
    for (int i = 0; i < 3; ++i)
      if (!bases.ValidVertex(face.GetVertexNo(i)) || !bases.ValidVector(face.GetVectorNo(bases, i)))
        return false;
    return true;
  };
  double best = kNoY;
  for (int f = 0; f < m_mesh.GetFaceCount(); ++f) {
    const DFace& face = *m_mesh.GetFace(f);
    if (!valid(face)) continue;
    const Plane3 plane = face.GetPlane(bases);
    if (std::fabs(plane.normal.y) < qibo::kEpsilon) continue;
    const float y = (plane.d - plane.normal.x * p.x - plane.normal.z * p.z) / plane.normal.y;
    if (y > best && face.IsUnder(bases, Vector3(p.x, y, p.z))) best = y;
  }
  return best;
}

Ref<CTShape> CTPointShape::GetBoundingSphere() {
  if (m_points.empty()) return Ref<CTShape>();
  float reach2 = 0.0f;
  for (const Vector3& p : m_points) reach2 = std::max(reach2, p.SquaredLength());
  Ref<CTSphere> sphere = qibo::Create<CTSphere>();
  if (!sphere) return Ref<CTShape>();
  sphere->SetRadius(std::sqrt(reach2));
  return Ref<CTShape>(sphere.Get());
}

bool CTPointShape::Bounds(Vector3& centre, Vector3& half) const {
  if (m_points.empty()) return false;
  Vector3 low = m_points[0], high = m_points[0];
  for (const Vector3& p : m_points)
    for (int axis = 0; axis < 3; ++axis) {
      low[axis] = std::min(low[axis], p[axis]);
      high[axis] = std::max(high[axis], p[axis]);
    }
  centre = (low + high) * 0.5f;
  half = (high - low) * 0.5f;
  return true;
}

intersect_t CTPointShape::CheckWithPoint(const Vector3& p, const DTransform* transform) {
  Vector3 centre, half;
  if (!Bounds(centre, half)) return kIntersectUnknown;
  return qibo::boxtest::Point(ToShapeSpace(p, transform), centre, half);
}

intersect_t CTPointShape::CheckWithHalfspace(const Plane3& plane, const DTransform* transform) {
  if (transform || m_points.empty()) return kIntersectUnknown;
  size_t inside = 0;
  for (const Vector3& p : m_points)
    if (plane.Contains(p)) ++inside;
  if (inside == m_points.size()) return kIntersectInside;
  return inside == 0 ? kIntersectOutside : kIntersectPartly;
}

intersect_t CTPointShape::CheckWithLine(const Line3& line, const DTransform* transform) {
  Vector3 centre, half;
  if (!Bounds(centre, half)) return kIntersectUnknown;
  return qibo::boxtest::Line(qibo::shapetest::LinePoint(line, transform),
                             qibo::shapetest::LineDirection(line, transform), centre, half);
}

DRenderShape* CTPointShape::GetRenderShape() {
  m_mesh.UpdateBases();
  if (m_mesh.GetState() == 0) m_mesh.SetState(qibo::shapemesh::kPrimitiveState);
  return &m_mesh;
}

void CTPointShape::HoldFaceMaterials() {
  m_faceMaterials.clear();
  for (int f = 0; f < m_mesh.GetFaceCount(); ++f) {
    CTMaterial* material = m_mesh.GetFace(f)->GetMaterial();
    if (!material) continue;
    const bool held = std::any_of(m_faceMaterials.begin(), m_faceMaterials.end(),
                                  [&](const Ref<CTMaterial>& m) { return m.Get() == material; });
    if (!held) m_faceMaterials.emplace_back(material);
  }
}

void CTPointShape::WriteToStream(Stream* stream, uint32_t flags) {
  CTShape::WriteToStream(stream, flags);
  if (flags & 0x24)
    for (int f = 0; f < m_mesh.GetFaceCount(); ++f) stream->WriteObject(m_mesh.GetFace(f)->GetMaterial());
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteInt(static_cast<int32_t>(m_points.size()));
  for (const Vector3& p : m_points) stream->WriteVector(p);
  stream->EndChunk();
  stream->StartChunk(kMeshChunkID);
  WriteMesh(stream);
  stream->EndChunk();
}

void CTPointShape::WriteMesh(Stream* stream) {
  stream->WriteInt(m_mesh.GetVectorCount());
  for (int i = 0; i < m_mesh.GetVectorCount(); ++i) stream->WriteVector(m_mesh.GetVectors()[i]);
  stream->WriteInt(m_mesh.GetNormalCount());
  for (int i = 0; i < m_mesh.GetNormalCount(); ++i) stream->WriteVector(m_mesh.GetNormals()[i]);
  stream->WriteInt(m_mesh.GetVertexCount());
  for (int i = 0; i < m_mesh.GetVertexCount(); ++i) {
    const DVertex& v = m_mesh.GetVertices()[i];
    for (const float value : {v.r, v.g, v.b, v.a, v.u, v.v}) stream->WriteFloat(value);
    stream->WriteInt(v.vector);
    stream->WriteInt(v.normal);
  }
  stream->WriteInt(m_mesh.GetFaceCount());
  for (int f = 0; f < m_mesh.GetFaceCount(); ++f) {
    const DFace& face = *m_mesh.GetFace(f);
    for (int i = 0; i < 3; ++i) stream->WriteInt(i < face.GetNumVertices() ? face.GetVertexNo(i) : -1);
    stream->WriteInt(face.GetNormalNo());
    stream->WriteInt(static_cast<int32_t>(face.GetFlags()));
    stream->WriteInt(static_cast<int32_t>(face.GetSmoothingGroups()));
    stream->WriteReference(face.GetMaterial());
  }
}

namespace {

// Bytes of one record of each array in the chunks.
constexpr int64_t kVectorBytes = 12;
constexpr int64_t kVertexBytes = 6 * 4 + 2 * 4;
constexpr int64_t kFaceBytes = 7 * 4;

// A count read from a chunk: refused (-1, with a warning) when negative,
// beyond what a chunk may hold, or more records than the rest of the chunk
// has room for, so that nothing is made for data that is not there.
int ReadCount(Stream* stream, CTPointShape* owner, const char* what, int64_t recordBytes) {
  const int32_t count = stream->ReadInt();
  if (count >= 0 && count <= CTPointShape::kMaxStreamCount &&
      QIBO_Stream::ChunkHolds(stream, count * recordBytes))
    return count;
  qiBO_Warning(
      QIBO_String::Format("%s: %d %s in the stream refused (at most %d, and no more than the chunk holds)",
                          owner->GetName(), count, what, CTPointShape::kMaxStreamCount)
          .c_str(),
      owner);
  return -1;
}

}  // namespace

void CTPointShape::ReadMesh(Stream* stream) {
  Clear();
  const int positions = ReadCount(stream, this, "positions", kVectorBytes);
  for (int i = 0; i < positions; ++i) m_mesh.VectorPool().Add(stream->ReadVector());
  const int normals = positions < 0 ? -1 : ReadCount(stream, this, "normals", kVectorBytes);
  for (int i = 0; i < normals; ++i) m_mesh.NormalPool().Add(stream->ReadVector());
  const int vertices = normals < 0 ? -1 : ReadCount(stream, this, "vertices", kVertexBytes);
  for (int i = 0; i < vertices; ++i) {
    DVertex v;
    for (float* value : {&v.r, &v.g, &v.b, &v.a, &v.u, &v.v}) *value = stream->ReadFloat();
    v.vector = stream->ReadInt();
    v.normal = stream->ReadInt();
    m_mesh.VertexPool().Add(v);
  }
  const int faces = vertices < 0 ? -1 : ReadCount(stream, this, "faces", kFaceBytes);
  if (faces < 0) {
    // A mesh read in part is no mesh: nothing of it stays.
    Clear();
    return;
  }
  for (int f = 0; f < faces; ++f) {
    const int a = stream->ReadInt(), b = stream->ReadInt(), c = stream->ReadInt();
    const int normal = stream->ReadInt();
    const auto flags = static_cast<uint32_t>(stream->ReadInt());
    const auto groups = static_cast<uint32_t>(stream->ReadInt());
    auto* material = qibo::Cast<CTMaterial>(stream->ReadReference());
    DFace* face = m_mesh.AddFace();
    if (!face) continue;  // refused and logged; the stream is read on
    face->SetVertices(a, b, c);
    face->SetNormal(normal);
    face->SetFlags(flags);
    face->SetSmoothingGroups(groups);
    face->SetMaterial(material);
  }
  qibo::shapemesh::SetPresenceFlags(m_mesh);
  m_mesh.SetState(qibo::shapemesh::kPrimitiveState);
  m_mesh.CheckFaces();
  HoldFaceMaterials();
}

bool CTPointShape::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID == kMeshChunkID) {
    const std::vector<Vector3> points = m_points;  // ReadMesh clears them
    ReadMesh(stream);
    m_points = points;
    return true;
  }
  if (chunkID != kChunkID) return CTShape::ProcessChunk(stream, chunkID);
  // A refused count leaves the points as they were.
  const int count = ReadCount(stream, this, "points", kVectorBytes);
  if (count < 0) return true;
  m_points.clear();
  m_points.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) AddPoint(stream->ReadVector());
  return true;
}
