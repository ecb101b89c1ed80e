#include "core/motion/CTKeyFrameController.h"

#include "core/object/Stream.h"
#include "core/scene/CTEntity.h"

QIBO_IMPLEMENT_CLASS(CTKeyFrameController, CTEntityController, .desc = "Key-frame controller",
                     .safeToReceive = true)
static_assert(qibo::ClassId("CTKeyFrameController") == 0x3A7D18AC);

namespace {
const UpdateFn kUpdate = qibo::AsUpdate(&CTKeyFrameController::Update);
}

CTKeyFrameController::CTKeyFrameController(const char* name)
    : CTEntityController(name),
      m_position(qibo::Create<CTVectorTrack>()),
      m_rotation(qibo::Create<CTQuatTrack>()) {}

bool CTKeyFrameController::DoEnable() {
  if (!GetObject() || (!m_position && !m_rotation)) return false;
  AddUpdate(kUpdate, 0, -1);
  return true;
}

void CTKeyFrameController::DoDisable() { RemoveUpdate(kUpdate); }

void CTKeyFrameController::Update(int32_t elapsed) {
  if (CTEntity* entity = GetObject()) {
    if (m_position && m_position->GetKeyCount() > 0) entity->MoveTo(m_position->GetValue(m_localTime));
    if (m_rotation && m_rotation->GetKeyCount() > 0) entity->SetQuat(m_rotation->GetValue(m_localTime));
  }
  // Wraps after 24 days of flight rather than overflowing.
  m_localTime = static_cast<int32_t>(static_cast<uint32_t>(m_localTime) + static_cast<uint32_t>(elapsed));
}

// ---------------------------------------------------------------------------
// Stream record: the tracks go as objects first (with 0x4), then
// 0x3A7D18AC  int local time, ref position track, ref rotation track

void CTKeyFrameController::WriteToStream(Stream* stream, uint32_t flags) {
  CTEntityController::WriteToStream(stream, flags);
  if (flags & 0x4) {
    stream->WriteObject(m_position.Get());
    stream->WriteObject(m_rotation.Get());
  }
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteInt(m_localTime);
  stream->WriteReference(m_position.Get());
  stream->WriteReference(m_rotation.Get());
  stream->EndChunk();
}

bool CTKeyFrameController::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTEntityController::ProcessChunk(stream, chunkID);
  m_localTime = stream->ReadInt();
  // A reference the stream cannot resolve keeps the track already held.
  if (auto* position = qibo::Cast<CTVectorTrack>(stream->ReadReference())) SetPositionTrack(position);
  if (auto* rotation = qibo::Cast<CTQuatTrack>(stream->ReadReference())) SetRotationTrack(rotation);
  return true;
}
