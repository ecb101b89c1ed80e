#include "core/object/CTStreamed.h"

#include "core/devices/NetworkApi.h"

QIBO_IMPLEMENT_CLASS(CTStreamed, CTReferenced, .desc = "Streaming", .url = "qiboCore.dll")

CTStreamed::~CTStreamed() {
  if (m_netId != 0) qiBO_RemoveNetworkObject(this);
}

bool CTStreamed::IsNetMaster() { return m_netId == 0 || qibo::IsNetworkMaster(); }

void CTStreamed::WriteToStream(Stream*, uint32_t) {}

bool CTStreamed::ProcessChunk(Stream*, uint32_t) { return false; }

void CTStreamed::SetNetID(uint32_t id) {
  if (id == m_netId) return;
  if (m_netId == 0) {
    m_netId = id == 0xFFFFFFFFu ? qiBO_RequestNetworkID() : id;
    qiBO_AddNetworkObject(this);
    return;
  }
  if (id == 0) ResetNetID();
}

void CTStreamed::ResetNetID() {
  if (m_netId == 0) return;
  qiBO_RemoveNetworkObject(this);
  m_netId = 0;
}

void CTStreamed::BroadcastStream(uint32_t levelOfDetail) {
  if (m_netId != 0) qiBO_SendNetworkStream(this, levelOfDetail);
}
