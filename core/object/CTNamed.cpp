#include "core/object/CTNamed.h"

#include <cstring>

#include "core/object/ObjectServices.h"
#include "core/object/Ref.h"
#include "core/object/Stream.h"

QIBO_IMPLEMENT_CLASS(CTNamed, CTStreamed, .desc = "Messaging")

namespace {

// Registration announcements to the other copies in a network session.
constexpr int kMsgRegistered = static_cast<int>(0x3F060351u);
constexpr int kMsgUnregistered = static_cast<int>(0x3F060350u);

}  // namespace

CTNamed::CTNamed(const char* name) { SetName(name); }

CTNamed::CTNamed(const CTNamed& other)
    : CTStreamed(other), m_registered(false), m_lastChange(other.m_lastChange), m_name(other.m_name) {}

CTNamed& CTNamed::operator=(const CTNamed& other) {
  if (this != &other) {
    CTStreamed::operator=(other);
    m_lastChange = other.m_lastChange;
    m_name = other.m_name;
  }
  return *this;
}

CTNamed::~CTNamed() = default;

void CTNamed::SetName(const char* name) {
  if (!name) name = "";
  m_name.Assign(name, strnlen(name, QIBO_String::kMaxLength));
}

void CTNamed::Delete() {
  if (m_registered) UnregisterWithService();
  CTReferenced::Delete();
}

// Name chunk 0x3F060351: the name (a string in the medium's encoding), then
// the registered flag as one byte (0 or 1).
void CTNamed::WriteToStream(Stream* stream, uint32_t flags) {
  CTStreamed::WriteToStream(stream, flags);
  if (!(flags & kStreamNamed)) return;
  stream->StartChunk(kChunkID);
  stream->WriteString(m_name.c_str());
  stream->WriteChar(m_registered ? 1 : 0);
  stream->EndChunk();
}

bool CTNamed::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTStreamed::ProcessChunk(stream, chunkID);
  SetName(stream->ReadString().c_str());
  const bool registered = stream->ReadChar() != 0;
  // An object passing through a peer's packet (one without a network ID,
  // gone with the packet) enters no service: a service that kept it would
  // keep one for every packet.
  const bool mayRegister = stream->IsTrusted() || GetNetID() != 0;
  if (registered && !m_registered && mayRegister) {
    RegisterWithService();
  } else if (!registered && m_registered) {
    UnregisterWithService();
  }
  Invalidate();
  return true;
}

void CTNamed::Invalidate() { m_lastChange = qibo::Services().FrameId(); }

void CTNamed::OnMessage(int message, void* data) {
  if (message == kMsgRename && data) SetName(static_cast<const char*>(data));
}

bool CTNamed::RegisterWithService() {
  if (m_registered) return false;
  m_registered = DoRegisterWithService();
  if (m_registered && IsNetMaster() && GetNetID() != 0) BroadcastMessage(kMsgRegistered, 0);
  return m_registered;
}

bool CTNamed::UnregisterWithService() {
  if (!m_registered) return false;
  // The service may drop the last reference it holds on us. Only an object
  // that lives by its count needs holding: taking and dropping a reference
  // on one with count 0 (a plain Delete(), a member object) would delete it.
  Ref alive(GetRefCount() > 0 ? this : nullptr);
  m_registered = !DoUnregisterWithService();
  if (!m_registered && IsNetMaster() && GetNetID() != 0) BroadcastMessage(kMsgUnregistered, 0);
  return !m_registered;
}

void CTNamed::AddUpdate(UpdateFn fn, int32_t period, int count) {
  qibo::Services().AddUpdate(this, fn, period, count);
}

void CTNamed::RemoveUpdate(UpdateFn fn) { qibo::Services().RemoveUpdate(this, fn); }

void CTNamed::AddMsg(int message, void* data, int32_t delay) {
  qibo::Services().AddMsg(this, message, data, delay, 1);
}

void CTNamed::AddInfMsg(int message, void* data, int32_t period) {
  qibo::Services().AddMsg(this, message, data, period, -1);
}

void CTNamed::RemoveInfMsg(int message) { qibo::Services().RemoveMsg(this, message); }

void CTNamed::BroadcastMessage(int message, int32_t argument) {
  if (GetNetID() != 0) qibo::Services().SendNetworkMessage(GetNetID(), message, argument);
}

void CTNamed::BroadcastData(int message, void* data, int size) {
  if (GetNetID() != 0) qibo::Services().SendNetworkData(GetNetID(), message, data, size);
}
