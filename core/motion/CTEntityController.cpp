#include "core/motion/base/CTEntityController.h"

#include "core/geometry/CTCollisionManager.h"
#include "core/kernel/Kernel.h"
#include "core/object/Stream.h"
#include "core/scene/CTEntity.h"
#include "core/scene/CTMotionSensor.h"

QIBO_IMPLEMENT_CLASS(CTEntityController, CTController, .desc = "Entity controller", .isAbstract = true)
static_assert(qibo::ClassId("CTEntityController") == 0xE176BF29);

CTEntityController::~CTEntityController() {
  // An entity that still names us would keep a dangling controller.
  if (m_entity && m_entity->GetController() == this) m_entity->ForgetController();
}

void CTEntityController::DoAddProperties() {
  CTController::DoAddProperties();
  AddPropertyRO(DProperty(m_entityView, "Entity"), CTEntityController::_CD());
  AddProperty(DProperty(m_collisionAction, "CollisionAction"), CTEntityController::_CD());
}

void CTEntityController::OnPropertyChanged(DProperty& property) {
  if (property.ID() == &m_collisionAction) {
    const auto action = static_cast<CollisionAction_t>(m_collisionAction);
    m_collisionAction = -1;  // so that SetCollisionAction sees a change
    SetCollisionAction(action);
  }
  CTController::OnPropertyChanged(property);
}

void CTEntityController::ReportCollisions(CTEntity* entity, bool on) {
  auto* collisions = qibo::FindService<CTCollisionManager>();
  if (collisions && entity) collisions->SetReports(entity, on);
}

void CTEntityController::SetObject(CTEntity* e) {
  if (e == m_entity) return;
  CTEntity* old = m_entity;
  if (old && m_collisionAction != kCollisionNone) ReportCollisions(old, false);
  m_entity = e;
  m_entityView = e;
  if (!e) {
    Disable();
  } else {
    if (CTMotionSensor* sensor = e->GetMotionSensor()) sensor->SetMotionInfoSource(GetMotionInfoSource());
    if (e->GetController() != this) e->SetController(this);
    if (m_collisionAction != kCollisionNone) ReportCollisions(e, true);
  }
  if (old && old->GetController() == this) old->SetController(nullptr);
}

void CTEntityController::SetCollisionAction(CollisionAction_t action) {
  if (m_collisionAction == action) return;
  m_collisionAction = action;
  if (m_entity) ReportCollisions(m_entity, action != kCollisionNone);
}

uint32_t CTEntityController::GetCollisionReports() const {
  return m_collisionAction != kCollisionNone ? CTCollisionManager::kReport : 0u;
}

void CTEntityController::OnCollision(CTEntity*, Vector3*, Vector3*) {
  if (m_collisionAction == kCollisionEnable)
    Enable();
  else if (m_collisionAction == kCollisionDisable)
    Disable();
}

// 0xE176BF29  ref entity, int collision action

void CTEntityController::WriteToStream(Stream* stream, uint32_t flags) {
  CTController::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteReference(m_entity);
  stream->WriteInt(m_collisionAction);
  stream->EndChunk();
}

bool CTEntityController::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTController::ProcessChunk(stream, chunkID);
  CTStreamed* entityRef = stream->ReadReference();
  const int32_t action = stream->ReadInt();
  SetCollisionAction(action >= kCollisionNone && action <= kCollisionDisable
                         ? static_cast<CollisionAction_t>(action)
                         : kCollisionNone);
  if (auto* entity = qibo::Cast<CTEntity>(entityRef)) SetObject(entity);
  RetryPendingEnable();
  return true;
}
