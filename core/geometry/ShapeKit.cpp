#include "core/geometry/ShapeKit.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/kernel/Logging.h"
#include "core/object/CTBasic.h"
#include "core/object/CTNamed.h"
#include "core/object/QIBO_String.h"
#include "core/scene/math/DTransform.h"

namespace qibo::shapemesh {

void Reset(DRenderShape& mesh) {
  mesh.SetFaceCount(0);
  mesh.SetEdgeCount(0);
  mesh.SetVertexCount(0);
  mesh.SetNormalCount(0);
  mesh.SetVectorCount(0);
}

int AddPosition(DRenderShape& mesh, const Vector3& p) { return mesh.VectorPool().Add(p); }

int AddVertex(DRenderShape& mesh, int position, int normal, float u, float v) {
  DVertex vertex;
  vertex.r = vertex.g = vertex.b = vertex.a = 1.0f;
  vertex.u = u;
  vertex.v = v;
  vertex.vector = position;
  vertex.normal = normal;
  return mesh.VertexPool().Add(vertex);
}

int AddPoint(DRenderShape& mesh, const Vector3& p, int normal, float u, float v) {
  return AddVertex(mesh, AddPosition(mesh, p), normal, u, v);
}

DFace* AddTriangle(DRenderShape& mesh, int a, int b, int c, int normal, bool smooth, CTMaterial* material) {
  DFace* face = mesh.AddFace();
  if (!face) return nullptr;
  face->SetVertices(a, b, c);
  face->SetNormal(normal);
  if (smooth) face->SetFlags(DFace::kSmoothed | DFace::kVertexNormals);
  face->SetMaterial(material);
  return face;
}

void SetPresenceFlags(DRenderShape& mesh) {
  uint32_t flags = mesh.GetFlags() & ~(DRenderShape::kHasVectors | DRenderShape::kHasNormals |
                                       DRenderShape::kHasVertices | DRenderShape::kHasFaces);
  if (mesh.GetVectorCount() > 0) flags |= DRenderShape::kHasVectors;
  if (mesh.GetNormalCount() > 0) flags |= DRenderShape::kHasNormals;
  if (mesh.GetVertexCount() > 0) flags |= DRenderShape::kHasVertices;
  if (mesh.GetFaceCount() > 0) flags |= DRenderShape::kHasFaces;
  mesh.SetFlags(flags);
  mesh.UpdateBases();
}

void Finish(DRenderShape& mesh, const DTransform& placement, uint32_t state) {
  mesh.UpdateBases();
  for (int i = 0; i < mesh.GetFaceCount(); ++i) {
    DFace* face = mesh.GetFace(i);
    if (face->GetNormalNo() != -1) continue;
    face->SetNormal(mesh.AddNormal(Vector3()));
    face->UpdateNormal(mesh.GetBases());
  }
  SetPresenceFlags(mesh);
  if (!placement.IsIdentity()) mesh.Transform(placement);
  mesh.SetState(state);
}

namespace {

void Warn(CTBasic* owner, const QIBO_String& text) { qiBO_Warning(text.c_str(), owner); }

const char* NameOf(CTBasic* owner) {
  auto* named = qibo::Cast<CTNamed>(owner);
  return named ? named->GetName() : "shape";
}

}  // namespace

bool CheckSize(CTBasic* owner, const char* what, double value) {
  // The parameters are kept as floats in the meshes: a double beyond the
  // float range would turn into an infinity there.
  if (std::isfinite(value) && value >= 0.0 && std::isfinite(static_cast<float>(value))) return true;
  Warn(owner, QIBO_String::Format("%s: %s %g refused (must be finite and not negative)", NameOf(owner), what,
                                  value));
  return false;
}

bool CheckFinite(CTBasic* owner, const char* what, const Vector3& value) {
  if (std::isfinite(value.x) && std::isfinite(value.y) && std::isfinite(value.z)) return true;
  Warn(owner, QIBO_String::Format("%s: %s (%g, %g, %g) refused (must be finite)", NameOf(owner), what,
                                  value.x, value.y, value.z));
  return false;
}

bool ClampSegments(CTBasic* owner, const char* what, int& count, int low, int high) {
  if (count < low) {
    Warn(owner, QIBO_String::Format("%s: %s %d refused (at least %d)", NameOf(owner), what, count, low));
    return false;
  }
  if (count > high) {
    Warn(owner, QIBO_String::Format("%s: %s %d cut to %d", NameOf(owner), what, count, high));
    count = high;
  }
  return true;
}

}  // namespace qibo::shapemesh

namespace qibo::boxtest {

// The line against the slabs of the three axes: it meets the box when the
// parameter ranges inside every slab overlap.
intersect_t Line(const Vector3& origin, const Vector3& direction, const Vector3& centre,
                 const Vector3& half) {
  double low = -1e300, high = 1e300;
  for (int axis = 0; axis < 3; ++axis) {
    const double o = static_cast<double>(origin[axis]) - centre[axis], d = direction[axis], h = half[axis];
    if (std::fabs(d) < qibo::kEpsilon) {
      if (o < -h || o > h) return kIntersectOutside;
      continue;
    }
    double t0 = (-h - o) / d, t1 = (h - o) / d;
    if (t0 > t1) std::swap(t0, t1);
    low = std::max(low, t0);
    high = std::min(high, t1);
    if (!(low <= high)) return kIntersectOutside;
  }
  return kIntersectPartly;
}

}  // namespace qibo::boxtest
