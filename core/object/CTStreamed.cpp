#include "core/object/CTStreamed.h"

#include "core/object/ObjectServices.h"

QIBO_IMPLEMENT_CLASS(CTStreamed, CTReferenced, .desc = "Streaming", .url = "qiboCore.dll")

CTStreamed::~CTStreamed() {
  if (m_netId != 0) qibo::Services().RemoveNetworkObject(this);
}

bool CTStreamed::IsNetMaster() { return m_netId == 0 || qibo::Services().IsNetworkMaster(); }

void CTStreamed::WriteToStream(Stream*, uint32_t) {}

bool CTStreamed::ProcessChunk(Stream*, uint32_t) { return false; }

void CTStreamed::SetNetID(uint32_t id) {
  if (id == m_netId) return;
  if (m_netId == 0) {
    m_netId = id == 0xFFFFFFFFu ? qibo::Services().RequestNetworkID() : id;
    qibo::Services().AddNetworkObject(this);
    return;
  }
  if (id == 0) ResetNetID();
}

void CTStreamed::ResetNetID() {
  if (m_netId == 0) return;
  qibo::Services().RemoveNetworkObject(this);
  m_netId = 0;
}

void CTStreamed::BroadcastStream(uint32_t levelOfDetail) {
  if (m_netId != 0) qibo::Services().SendNetworkStream(this, levelOfDetail);
}
