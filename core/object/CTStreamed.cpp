#include "core/object/CTStreamed.h"

#include "core/object/ObjectServices.h"
#include "core/object/Ref.h"

QIBO_IMPLEMENT_CLASS(CTStreamed, CTReferenced, .desc = "Streaming", .url = "qiboCore.dll")

CTStreamed::~CTStreamed() {
  if (m_netId != 0) qibo::Services().ForgetNetworkObject(this);
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
  // The table may hold the last reference (a copy received from a peer).
  // Only an object that lives by its count needs holding: one with count 0
  // (a member, a stack object) would be deleted by the hold.
  Ref<CTStreamed> alive(GetRefCount() > 0 ? this : nullptr);
  qibo::Services().RemoveNetworkObject(this);
  m_netId = 0;
}

void CTStreamed::BroadcastStream(uint32_t levelOfDetail) {
  if (m_netId != 0) qibo::Services().SendNetworkStream(this, levelOfDetail);
}
