#include "core/geometry/CTShape.h"

#include <algorithm>

#include "core/geometry/CTBBox.h"
#include "core/geometry/CTSphere.h"
#include "core/geometry/DRenderShape.h"
#include "core/geometry/ShapeKit.h"
#include "core/object/Stream.h"
#include "core/render/base/CTRenderPipelineManager.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/math/DFrustum.h"

QIBO_IMPLEMENT_CLASS(CTShape, CTInterface, .desc = "Abstract shape", .isAbstract = true)
static_assert(qibo::ClassId("CTShape") == 0x93D6300E);

CTShape::CTShape(const CTShape& other)
    : CTInterface(other), m_cw(other.m_cw), m_transform(other.m_transform), m_material(other.m_material) {
  SetName((QIBO_String("Copy of ") + other.GetName()).c_str());
}

void CTShape::DoAddProperties() {
  CTInterface::DoAddProperties();
  AddPropertyRO(DProperty(m_material, "Material"), CTShape::_CD());
}

void CTShape::ApplyTransform(const DTransform& t) { m_transform.Combine(m_transform, t); }

void CTShape::ResetTransform() { m_transform.Reset(); }

void CTShape::SetTransform(const DTransform& t) { m_transform = t; }

Vector3 CTShape::GetSupport(const Vector3&) { return Vector3(); }

Vector3 CTShape::GetNormal(const Vector3&) { return Vector3(); }

double CTShape::GetMaxY(const Vector3&) { return kNoY; }

double CTShape::GetMaxYAndNormal(const Vector3& p, Vector3& normal) {
  const double y = GetMaxY(p);
  normal = GetNormal(Vector3(p.x, static_cast<float>(y), p.z));
  return y;
}

void CTShape::Render(const RenderInfo_t& info, CTMaterial* material) {
  if (DRenderShape* mesh = GetRenderShape()) RenderMesh(*mesh, info, material ? material : m_material.Get());
}

bool CTShape::RenderMesh(DRenderShape& mesh, const RenderInfo_t& info, CTMaterial* material) {
  // A context filled outside the engine's frame (a viewer's snapshot) may
  // not have fetched the pipeline yet: it does so on first use.
  CTRenderPipelineManager* pipeline = info.context ? info.context->PreparePipeline() : nullptr;
  if (!pipeline) return false;
  mesh.SetMaterial(material);
  return pipeline->RenderShape(&mesh, info, qibo::state::kDrawnFilled);
}

intersect_t CTShape::CheckWithPoint(const Vector3&, const DTransform*) { return kIntersectUnknown; }
intersect_t CTShape::CheckWithHalfspace(const Plane3&, const DTransform*) { return kIntersectUnknown; }
intersect_t CTShape::CheckWithLine(const Line3&, const DTransform*) { return kIntersectUnknown; }

void CTShape::UpdateCWMatrix() {
  const float sixth = static_cast<float>(CalcArea() / 6.0);
  m_cw = Matrix33::Diagonal(sixth, sixth, sixth);
}

const Matrix33& CTShape::GetCWMatrix() {
  UpdateCWMatrix();
  return m_cw;
}

void CTShape::SupportExtents(Vector3& low, Vector3& high) {
  for (int axis = 0; axis < 3; ++axis) {
    Vector3 d;
    d[axis] = 1.0f;
    high[axis] = GetSupport(d)[axis];
    d[axis] = -1.0f;
    low[axis] = GetSupport(d)[axis];
  }
}

Ref<CTShape> CTShape::GetBoundingBox() {
  Vector3 low, high;
  SupportExtents(low, high);
  Ref<CTBBox> box = qibo::Create<CTBBox>();
  if (!box) return Ref<CTShape>();
  box->SetDimensions(high - low);
  box->SetPivot((low + high) * 0.5f);
  return Ref<CTShape>(box.Get());
}

Ref<CTShape> CTShape::GetBoundingSphere() {
  Vector3 low, high;
  SupportExtents(low, high);
  Ref<CTSphere> sphere = qibo::Create<CTSphere>();
  if (!sphere) return Ref<CTShape>();
  // Around the shape's origin, as spheres are: half the box's diagonal for a
  // centred shape, and still enclosing for one that is not.
  const Vector3 reach(std::max(-low.x, high.x), std::max(-low.y, high.y), std::max(-low.z, high.z));
  sphere->SetRadius(reach.Length());
  return Ref<CTShape>(sphere.Get());
}

Ref<CTShape> CTShape::GetBoundingVolume() {
  Ref<CTShape> box = GetBoundingBox();
  Ref<CTShape> sphere = GetBoundingSphere();
  if (!box) return sphere;
  if (!sphere) return box;
  return sphere->CalcVolume() < box->CalcVolume() ? sphere : box;
}

namespace {

// Brings frustum planes into a shape's space. A shape point p sits at
// q = p x M + t in the frustum's space, so the plane n . q <= d holds for p
// exactly when (n x transpose(M)) . p <= d - n . t: no inverse of M is
// needed, and a placement that only moves skips the matrix altogether.
class PlaneMover {
 public:
  explicit PlaneMover(const DTransform* t)
      : m_linear(t && t->HasTotalMatrix() && t->UpdateTotalMatrix() ? &t->_TotalMatrix() : nullptr),
        m_position(t && t->HasPosition() ? t->GetPosition() : Vector3()) {}
  Plane3 operator()(const Plane3& plane) const {
    Plane3 moved{plane.normal, plane.d - plane.normal.Dot(m_position)};
    if (m_linear) moved.normal = m_linear->TransformTransposed(plane.normal);
    return moved;
  }

 private:
  const Matrix33* m_linear;
  Vector3 m_position;
};

// The answer of qibo::boxtest::Halfspace for every active plane, with one
// branch per plane that depends on the box: outside ends the test, inside
// drops the plane from active, anything else counts as cut.
intersect_t BoxAgainstPlanes(const DFrustum& frustum, int count, const PlaneMover& move,
                             const Vector3& centre, const Vector3& half, uint32_t& active) {
  bool cut = false;
  for (int i = 0; i < count; ++i) {
    if (!(active >> i & 1u)) continue;
    const Plane3 plane = move(frustum[i]);
    const Vector3& n = plane.normal;
    const float r = std::fabs(n.x) * half.x + std::fabs(n.y) * half.y + std::fabs(n.z) * half.z;
    const float s = n.Dot(centre);
    if (s - r > plane.d) return kIntersectOutside;  // r >= 0: never also inside
    const bool inside = s + r <= plane.d;
    active &= ~(uint32_t{inside} << i);
    cut |= !inside;
  }
  return cut ? kIntersectPartly : kIntersectInside;
}

}  // namespace

intersect_t CTShape::CheckAgainstFrustum(const DFrustum& frustum, const DTransform* transform,
                                         uint32_t* clip) {
  uint32_t active = frustum.GetMask() & (clip ? *clip : qibo::kClipAll);
  if (active == 0) return kIntersectInside;
  const PlaneMover move(transform);
  const int count = std::min(frustum.NumPlanes(), 30);
  Vector3 centre, half;
  intersect_t result = kIntersectInside;
  if (GetBoxExtent(centre, half)) {
    result = BoxAgainstPlanes(frustum, count, move, centre, half, active);
  } else {
    for (int i = 0; i < count && result != kIntersectOutside && result != kIntersectUnknown; ++i) {
      if (!(active >> i & 1u)) continue;
      // Outside or undetermined ends the loop; inside drops the plane.
      const intersect_t r = CheckWithHalfspace(move(frustum[i]), nullptr);
      if (r == kIntersectInside)
        active &= ~(1u << i);
      else
        result = r;
    }
  }
  if (clip) {
    static constexpr uint32_t kClips[4] = {qibo::kClipAll, qibo::kClipOutside, qibo::kClipNone, 0};
    *clip = result == kIntersectPartly ? active : kClips[result];
  }
  return result;
}

void CTShape::WriteToStream(Stream* stream, uint32_t flags) {
  CTInterface::WriteToStream(stream, flags);
  if (flags & 0x24) {
    stream->WriteObject(m_material.Get());
    stream->StartChunk(kMaterialChunk);
    stream->WriteReference(m_material.Get());
    stream->EndChunk();
  }
  if (flags & 0x42) {
    stream->StartChunk(m_transform.IsIdentity() ? kIdentityChunk : kTransformedChunk);
    stream->EndChunk();
  }
}

bool CTShape::ProcessChunk(Stream* stream, uint32_t chunkID) {
  switch (chunkID) {
    case kMaterialChunk:
      SetMaterial(qibo::Cast<CTMaterial>(stream->ReadReference()));
      return true;
    case kTransformedChunk:
      return true;
    case kIdentityChunk:
      ResetTransform();
      return true;
    default:
      return CTInterface::ProcessChunk(stream, chunkID);
  }
}
