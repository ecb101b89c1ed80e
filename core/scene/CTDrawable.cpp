#include "core/scene/CTDrawable.h"

#include "core/object/Stream.h"
#include "core/render/base/RenderInfo.h"

QIBO_IMPLEMENT_CLASS(CTDrawable, CTEntity, .desc = "3D World Drawable", .product = "qiBO 3D",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTDrawable") == 0xE4DFE9D4);

CTDrawable::CTDrawable(const char* name) : CTEntity(name) { SetKind(kKindDrawable); }

CTDrawable::CTDrawable(const char* name, CTGroup* parent) : CTEntity(name) {
  SetKind(kKindDrawable);
  SetParent(parent);
}

CTDrawable::CTDrawable(const CTDrawable& other)
    : CTEntity(other), m_shapeView(m_drawShape), m_materialView(m_drawMaterial) {
  SetKind(kKindDrawable);
  SetShape(other.GetShape());
  SetMaterial(other.GetMaterial());
}

CTDrawable::~CTDrawable() {
  SetShape(nullptr);
  SetMaterial(nullptr);
}

namespace {

// Replaces a held object: both references on the new one, then both given
// back on the old one (last: that may delete it).
template <class T>
void Hold(T*& field, T* object, CTBasic* holder) {
  if (object == field) return;
  T* old = field;
  field = object;
  if (object) {
    object->AddRef(nullptr);
    object->AddRef(holder);
  }
  if (old) {
    old->RemoveRef(holder);
    old->RemoveRef(nullptr);
  }
}

}  // namespace

void CTDrawable::SetShape(CTShape* shape) { Hold(m_drawShape, shape, this); }

void CTDrawable::SetMaterial(CTMaterial* material) { Hold(m_drawMaterial, material, this); }

void CTDrawable::OnDelete(CTReferenced* dying) {
  if (static_cast<CTBasic*>(dying) == m_drawShape) m_drawShape = nullptr;
  if (static_cast<CTBasic*>(dying) == m_drawMaterial) m_drawMaterial = nullptr;
  CTEntity::OnDelete(dying);
}

void CTDrawable::DoAddProperties() {
  CTEntity::DoAddProperties();
  AddPropertyRO(DProperty(m_shapeView, "RenderShape"), CTDrawable::_CD());
  AddPropertyRO(DProperty(m_materialView, "Material"), CTDrawable::_CD());
}

void CTDrawable::Process(ProcessInfo_t& info) {
  if (!ProcessWhat(info.flags) || !m_drawShape) return;
  RenderInfo_t& render = info.render;
  UpdateWorldSpace();
  render.world = &GetWorldTransform();
  // The bounding volume serves only hints 0x2 and 0x4; without either it is
  // not even looked at.
  if (CTShape* bounds = (m_flags & (kHintCull | kHintDrawBounds)) ? GetBoundingVolume() : nullptr) {
    if (render.clipMask != qibo::kClipNone && (m_flags & kHintCull) && render.context &&
        bounds->CheckAgainstFrustum(render.context->frustum, render.world, &render.clipMask) ==
            kIntersectOutside)
      return;
    if (m_flags & kHintDrawBounds) bounds->Render(render, nullptr);
  }
  if ((m_flags & kHintDrawCollision) && GetCollisionVolume()) GetCollisionVolume()->Render(render, nullptr);
  m_drawShape->Render(render, m_drawMaterial);
}

CTShape* CTDrawable::CreateBoundingVolume() {
  if (!m_drawShape) {
    UseBoundingVolume(nullptr);
    return nullptr;
  }
  Ref<CTShape> volume = m_drawShape->GetBoundingVolume();
  UseBoundingVolume(volume.Get());
  if (!m_drawShape->WorthCulling()) ClearHint(kHintCull);
  return GetBoundingVolume();
}

void CTDrawable::WriteToStream(Stream* stream, uint32_t what) {
  CTEntity::WriteToStream(stream, what);
  if (!(what & 0x2)) return;
  stream->WriteObject(m_drawShape);
  stream->WriteObject(m_drawMaterial);
  stream->StartChunk(kChunkID);
  stream->WriteReference(m_drawShape);
  stream->WriteReference(m_drawMaterial);
  stream->EndChunk();
}

bool CTDrawable::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTEntity::ProcessChunk(stream, chunkID);
  SetShape(qibo::Cast<CTShape>(stream->ReadReference()));
  SetMaterial(qibo::Cast<CTMaterial>(stream->ReadReference()));
  return true;
}
