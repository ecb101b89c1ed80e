#include "core/motion/CTLookAtController.h"

#include "core/object/Stream.h"
#include "core/scene/CTEntity.h"
#include "core/scene/CTGroup.h"

QIBO_IMPLEMENT_CLASS(CTLookAtController, CTEntityController, .desc = "Look-at controller",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTLookAtController") == 0x930F0F3E);

namespace {
const UpdateFn kUpdate = qibo::AsUpdate(&CTLookAtController::Update);
}

bool CTLookAtController::DoEnable() {
  if (!GetObject() || !m_target) return false;
  AddUpdate(kUpdate, 0, -1);
  return true;
}

void CTLookAtController::DoDisable() { RemoveUpdate(kUpdate); }

void CTLookAtController::Update(int32_t) {
  CTEntity* entity = GetObject();
  CTEntity* target = m_target.Get();
  if (!entity || !target) return;
  entity->UpdateWorldSpace();
  target->UpdateWorldSpace();
  Vector3 d = target->GetWorldPosition() - entity->GetWorldPosition();
  if (d.Length() <= qibo::kEpsilon) return;
  CTGroup* parent = entity->GetParent();
  if (parent && !(entity->GetHints() & CTEntity::kLockRotation)) {
    // World forward = local forward x parent rotation, so local forward =
    // d x transpose(parent rotation).
    d = parent->GetWorldMatrix().TransformTransposed(d);
  }
  entity->SetDirection(d / d.Length());
}

// 0x930F0F3E  ref target

void CTLookAtController::WriteToStream(Stream* stream, uint32_t flags) {
  CTEntityController::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteReference(m_target.Get());
  stream->EndChunk();
}

bool CTLookAtController::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTEntityController::ProcessChunk(stream, chunkID);
  SetLookAt(qibo::Cast<CTEntity>(stream->ReadReference()));
  RetryPendingEnable();
  return true;
}
