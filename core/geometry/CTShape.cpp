#include "core/geometry/CTShape.h"

#include <algorithm>

#include "core/geometry/CTBBox.h"
#include "core/geometry/CTSphere.h"
#include "core/geometry/DRenderShape.h"
#include "core/persist/Stream.h"
#include "core/render/CTRenderPipelineManager.h"
#include "core/render/DFrustum.h"
#include "core/render/RenderInfo.h"

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

void CTShape::Render(const RenderInfo_t&, CTMaterial*) {}

bool CTShape::RenderMesh(DRenderShape& mesh, const RenderInfo_t& info, CTMaterial* material) {
  CTRenderPipelineManager* pipeline = info.context ? info.context->pipeline.Get() : nullptr;
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

intersect_t CTShape::CheckAgainstFrustum(const DFrustum& frustum, const DTransform* transform,
                                         uint32_t* clip) {
  uint32_t active = frustum.GetMask() & (clip ? *clip : qibo::kClipAll);
  if (active == 0) return kIntersectInside;
  // The planes into shape space: the inverse of the placement moves them.
  static DFrustum scratch(6);
  const DFrustum* planes = &frustum;
  if (transform) {
    scratch = frustum;
    scratch.SetMask(active);
    DTransform inverse;
    inverse.SetInverse(*transform);
    scratch.Transform(inverse);
    planes = &scratch;
  }
  bool cut = false;
  for (int i = 0; i < planes->NumPlanes() && i < 30; ++i) {
    if (!(active >> i & 1u)) continue;
    switch (CheckWithHalfspace((*planes)[i], nullptr)) {
      case kIntersectUnknown:
        if (clip) *clip = qibo::kClipAll;
        return kIntersectUnknown;
      case kIntersectOutside:
        if (clip) *clip = qibo::kClipOutside;
        return kIntersectOutside;
      case kIntersectInside:
        active &= ~(1u << i);
        break;
      case kIntersectPartly:
        cut = true;
        break;
    }
  }
  if (!cut) {
    if (clip) *clip = qibo::kClipNone;
    return kIntersectInside;
  }
  if (clip) *clip = active;
  return kIntersectPartly;
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
