#include "core/motion/base/CTController.h"

#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTController, CTInterface, .desc = "Abstract controller", .isAbstract = true)
static_assert(qibo::ClassId("CTController") == 0x50A81E1A);

void CTController::DoAddProperties() {
  CTInterface::DoAddProperties();
  AddPropertyRO(DProperty(m_enabled, "Enabled"), CTController::_CD());
}

bool CTController::Enable() {
  if (m_enabled) return true;
  if (!DoEnable()) return false;
  m_enabled = true;
  m_enablePending = false;
  return true;
}

void CTController::Disable() {
  m_enablePending = false;
  if (!m_enabled) return;
  DoDisable();
  m_enabled = false;
}

void CTController::WriteToStream(Stream* stream, uint32_t flags) {
  CTInterface::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteInt(m_enabled ? 1 : 0);
  stream->EndChunk();
}

bool CTController::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTInterface::ProcessChunk(stream, chunkID);
  if (stream->ReadInt() == 0) {
    Disable();
  } else if (!Enable()) {
    m_enablePending = true;
  }
  return true;
}
