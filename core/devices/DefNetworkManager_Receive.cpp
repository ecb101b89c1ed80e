// The network manager's receiving side: events, packets and the checks that
// keep a peer's packets from doing harm.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/devices/DefNetworkManager.h"
#include "core/object/ByteIO.h"
#include "core/object/CTNamed.h"
#include "core/object/Ref.h"

namespace {

constexpr uint32_t kStreamCode = qibo::FourCC("qibo");
constexpr int kMessageRecord = 12;   // net ID, message, value
constexpr int kDataRecordHead = 12;  // net ID, message, size
constexpr size_t kMaxPeerRecords = 1024;
constexpr int kOverflowPeer = -2;  // shares one record among peers past the limit

}  // namespace

// Reads a peer's stream packet for the manager: decides for each object the
// packet names whether the peer may make or change it, keeps the copies.
class DefNetworkManager::PacketReader final : public NetworkStream::Receiver {
 public:
  PacketReader(DefNetworkManager& manager, int peer) : m_manager(manager), m_peer(peer) {}

  Verdict Admit(uint32_t classId, uint32_t netId, bool exists) override {
    if (netId == 0) return Verdict::kRead;  // a passing object, gone with the packet
    if (!m_manager.MayChange(m_peer, netId)) {
      Reject(
          "Network packet from peer %d names object %u of client %u, which it may not change; rest dropped",
          m_peer, netId, netId & 0xFF);
      return Verdict::kRefuse;
    }
    // The owner's copy is the truth: the host echoes every object to a
    // joiner, ours included.
    if (m_manager.IsOwn(netId)) return Verdict::kSkip;
    if (!exists && (m_manager.m_table.AdoptedFrom(m_peer) >= kMaxObjectsPerPeer ||
                    m_manager.m_table.AdoptedCount() >= kMaxCopies)) {
      Reject("Peer %d has made too many network objects; object %u of class 0x%08X refused, rest dropped",
             m_peer, netId, classId);
      return Verdict::kRefuse;
    }
    return Verdict::kRead;
  }

  void Adopt(CTStreamed* copy) override { m_manager.m_table.Adopt(copy, m_peer); }

  void Refused(const ClassDesc& cd) override {
    Reject("Network packet from peer %d carries class %s, which may not be received; rest dropped", m_peer,
           cd.GetName().c_str());
  }

  void Warn(const char* text) override {
    if (!m_warned) m_manager.Drop(m_peer, "Network packet from peer %d: %s", m_peer, text);
    m_warned = true;
  }

 private:
  template <class... Args>
  void Reject(const char* format, Args... args) {
    if (!m_warned) m_manager.Drop(m_peer, format, args...);
    m_warned = true;
  }

  DefNetworkManager& m_manager;
  int m_peer;
  bool m_warned = false;  // one warning (and one strike) per packet
};

// ---------------------------------------------------------------------------
// Peers' records

DefNetworkManager::PeerRecord& DefNetworkManager::Record(int peer) {
  if (m_peers.size() >= kMaxPeerRecords && m_peers.find(peer) == m_peers.end()) peer = kOverflowPeer;
  return m_peers[peer];
}

void DefNetworkManager::AgeRecords(int32_t elapsed) {
  m_windowElapsed += elapsed > 0 ? elapsed : 0;
  if (m_windowElapsed < kStrikeWindowMs) return;
  m_windowElapsed = 0;
  for (auto& [peer, record] : m_peers) record.strikes = record.warnings = 0;
}

void DefNetworkManager::Drop(int peer, const char* format, ...) {
  PeerRecord& record = Record(peer);
  if (record.warnings++ < kMaxWarningsPerWindow) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    WarningMsg(text);
  }
  Strike(peer);
}

void DefNetworkManager::Strike(int peer) {
  PeerRecord& record = Record(peer);
  if (record.cut || ++record.strikes <= kMaxStrikes) return;
  record.cut = true;
  if (!m_device) return;
  if (m_hosting) {
    WarningMsgF(0, "Peer %d keeps sending bad network packets; disconnected", peer);
    m_device->DisconnectPeer(peer);
  } else if (FromHost(peer)) {
    ErrorMsg("The host keeps sending bad network packets; session left");
    CloseSession();
  } else {
    WarningMsgF(0, "Peer %d keeps sending bad network packets; ignored from now on", peer);
  }
}

int DefNetworkManager::ClientOf(int peer) const {
  for (const Client& client : m_clients)
    if (client.peer == peer && peer != 0) return client.id;
  return -1;
}

bool DefNetworkManager::FromHost(int peer) {
  return !m_hosting && m_device && peer == m_device->GetHostPeer();
}

bool DefNetworkManager::IsOwn(uint32_t id) const {
  if (!m_networkGame) return false;
  const uint32_t owner = id & 0xFF;
  // The host owns the objects made before any copy had a client ID.
  if (m_hosting) return owner == 0 || owner == kNoClient;
  return m_clientId != kNoClient && owner == static_cast<uint32_t>(m_clientId);
}

bool DefNetworkManager::MayChange(int peer, uint32_t id) {
  if (FromHost(peer)) return true;
  const int client = ClientOf(peer);
  return client >= 0 && client != kNoClient && (id & 0xFF) == static_cast<uint32_t>(client);
}

// ---------------------------------------------------------------------------
// Events

void DefNetworkManager::ReceiveAll() {
  for (int handled = 0; handled < kMaxEventsPerFrame && m_device; ++handled) {
    if (!m_device->Receive(&m_event) || !HandleEvent(m_event)) break;
  }
}

bool DefNetworkManager::HandleEvent(NetEvent& event) {
  switch (event.type) {
    case NetEvent::kPacket:
      ProcessPacket(event.peer, event.data.data(), event.Size());
      return m_networkGame;
    case NetEvent::kPeerJoined:
      if (m_hosting) AddPeer(event.peer);
      return true;
    case NetEvent::kNowHost:
      m_hosting = true;
      m_pending = false;
      InfoMsg("Now hosting");
      return true;
    case NetEvent::kHostLost:
      ErrorMsg("Network connection to host lost");
      CloseSession();
      return false;
    case NetEvent::kPeerLeft:
      if (m_hosting) RemovePeer(event.peer);
      return true;
    default:
      ErrorMsg("Unknown network message");
      return true;
  }
}

void DefNetworkManager::AddPeer(int peer) {
  uint8_t packet[12];
  // The newcomer learns who is in the session, with their transport IDs.
  for (const Client& client : m_clients) {
    qibo::PutLE32(packet, kAddClient);
    qibo::PutLE32(packet + 4, static_cast<uint32_t>(client.id));
    qibo::PutLE32(packet + 8, static_cast<uint32_t>(client.peer));
    m_device->SendTo(packet, sizeof(packet), peer);
  }
  // The lowest client ID nobody has.
  const auto taken = [&](int id) {
    for (const Client& client : m_clients)
      if (client.id == id) return true;
    return false;
  };
  int id = 0;
  while (id < kNoClient && taken(id)) ++id;
  if (id >= kNoClient) {
    WarningMsgF(0, "The session is full; peer %d is turned away", peer);
    m_device->DisconnectPeer(peer);
    return;
  }
  m_clients.Add({id, peer});
  qibo::PutLE32(packet, kAddClient);
  qibo::PutLE32(packet + 4, static_cast<uint32_t>(id));
  qibo::PutLE32(packet + 8, static_cast<uint32_t>(peer));
  SendAll(packet, sizeof(packet));
  qibo::PutLE32(packet, kYourClientId);
  m_device->SendTo(packet, 8, peer);
}

void DefNetworkManager::RemovePeer(int peer) {
  for (size_t i = 0; i < m_clients.Size(); ++i) {
    if (m_clients[i].peer != peer) continue;
    const int id = m_clients[i].id;
    if (id != kNoClient && m_networkGame) {
      uint8_t packet[8];
      qibo::PutLE32(packet, kRemoveClient);
      qibo::PutLE32(packet + 4, static_cast<uint32_t>(id));
      SendAll(packet, sizeof(packet));
    }
    // The host's own table lets go of it too, so its client ID is free for
    // the next copy that joins.
    m_clients.RemoveAt(i);
    break;
  }
  m_peers.erase(peer);
}

// ---------------------------------------------------------------------------
// Packets

void DefNetworkManager::ProcessPacket(int peer, const uint8_t* data, int size) {
  if (Record(peer).cut) return;
  if (!data || size < 4)
    return Drop(peer, "Network packet of %d bytes from peer %d is too short; dropped", size, peer);
  if (size > kMaxPacketSize)
    return Drop(peer, "Network packet of %d bytes from peer %d is too long; dropped", size, peer);
  const uint32_t code = qibo::GetLE32(data);
  switch (code) {
    case kAddClient:
    case kRemoveClient:
    case kYourClientId:
      return ReceiveClientPacket(peer, code, data, size);
    case kSendEverything:
      return ReceiveSendEverything(peer, size);
    case kMessages:
      return ReceiveMessages(peer, data, size);
    case kData:
      return ReceiveData(peer, data, size);
    case kWantStream:
      return ReceiveWantStream(peer, data, size);
    case kStreamCode:
      return ReceiveStream(peer, data, size);
    default: {
      char text[64];
      snprintf(text, sizeof(text), "Unknown network message: 0x%08X", code);
      Drop(peer, "%s", text);
    }
  }
}

void DefNetworkManager::ReceiveClientPacket(int peer, uint32_t code, const uint8_t* data, int size) {
  if (!FromHost(peer))
    return Drop(peer, "Session packet 0x%08X from peer %d, which is not the host; dropped", code, peer);
  const bool fits = size == 8 || (code == kAddClient && size == 12);
  if (!fits) return Drop(peer, "Session packet 0x%08X of %d bytes; dropped", code, size);
  const int32_t id = static_cast<int32_t>(qibo::GetLE32(data + 4));
  if (id < 0 || id >= kNoClient)
    return Drop(peer, "Session packet 0x%08X names client %d; dropped", code, id);
  const int transport = size == 12 ? static_cast<int32_t>(qibo::GetLE32(data + 8)) : 0;
  int known = -1;
  for (size_t i = 0; i < m_clients.Size(); ++i)
    if (m_clients[i].id == id) known = static_cast<int>(i);
  if (code == kYourClientId) {
    m_clientId = id;
  } else if (code == kRemoveClient) {
    if (known >= 0) m_clients.RemoveAt(static_cast<size_t>(known));
  } else if (known >= 0) {
    m_clients[static_cast<size_t>(known)].peer = transport;
  } else {
    m_clients.Add({id, transport});
  }
}

void DefNetworkManager::ReceiveSendEverything(int peer, int size) {
  if (!m_hosting || ClientOf(peer) < 0)
    return Drop(peer, "Request for every object from peer %d, which is not a client; dropped", peer);
  if (size != 4) return Drop(peer, "Request for every object of %d bytes; dropped", size);
  PeerRecord& record = Record(peer);
  if (record.servedEverything) return Drop(peer, "Peer %d asked for every object again; dropped", peer);
  record.servedEverything = true;
  for (int i = 0; i < m_table.Count(); ++i) SendNetworkStream(m_table.At(i), kStreamLevel);
}

void DefNetworkManager::ReceiveMessages(int peer, const uint8_t* data, int size) {
  qibo::ByteReader in(data, static_cast<size_t>(size));
  in.U32();
  const int32_t count = in.I32();
  if (!in.Ok() || count < 0 || static_cast<uint64_t>(count) * kMessageRecord != in.Left())
    return Drop(peer, "Message packet of %d bytes from peer %d does not hold its %d records; dropped", size,
                peer, count);
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t id = qibo::GetLE32(data + 8 + i * kMessageRecord);
    if (!MayChange(peer, id))
      return Drop(peer, "Message packet from peer %d names object %u, which it may not change; dropped", peer,
                  id);
  }
  int replies = 0;
  for (int32_t i = 0; i < count && m_networkGame; ++i) {
    const uint8_t* record = data + 8 + i * kMessageRecord;
    const uint32_t id = qibo::GetLE32(record);
    // The value, never a pointer a peer chose; zeros after it end any text.
    uint8_t value[8] = {};
    memcpy(value, record + 8, 4);
    if (m_table.Find(id))
      Deliver(id, static_cast<int32_t>(qibo::GetLE32(record + 4)), value);
    else
      AskForStream(peer, id, replies);
  }
}

void DefNetworkManager::ReceiveData(int peer, const uint8_t* data, int size) {
  qibo::ByteReader in(data, static_cast<size_t>(size));
  in.U32();
  const int32_t count = in.I32();
  bool fits = in.Ok() && count >= 0 && static_cast<uint64_t>(count) * kDataRecordHead <= in.Left();
  for (int32_t i = 0; fits && i < count; ++i) {
    const uint32_t id = in.U32();
    in.U32();
    const int32_t length = in.I32();
    fits = in.Ok() && length >= 0 && in.Skip(static_cast<size_t>(length)) && in.Ok();
    if (fits && !MayChange(peer, id))
      return Drop(peer, "Data packet from peer %d names object %u, which it may not change; dropped", peer,
                  id);
  }
  if (!fits || in.Left() != 0)
    return Drop(peer, "Data packet of %d bytes from peer %d does not hold its %d records; dropped", size,
                peer, count);

  int replies = 0;
  qibo::ByteReader records(data + 8, static_cast<size_t>(size) - 8);
  for (int32_t i = 0; i < count && m_networkGame; ++i) {
    const uint32_t id = records.U32();
    const int32_t message = records.I32();
    const size_t length = static_cast<size_t>(records.I32());
    const uint8_t* bytes = records.Bytes(length);
    if (!m_table.Find(id)) {
      AskForStream(peer, id, replies);
      continue;
    }
    // A copy that ends in a NUL: a handler reading text stays inside it.
    m_scratch.assign(bytes, bytes + length);
    m_scratch.push_back(0);
    Deliver(id, message, m_scratch.data());
  }
}

void DefNetworkManager::Deliver(uint32_t id, int message, void* data) {
  // Looked up again: an earlier record's handler may have removed it.
  auto* named = qibo::Cast<CTNamed>(m_table.Find(id));
  if (!named) return;
  Ref<CTNamed> alive(named->GetRefCount() > 0 ? named : nullptr);
  named->OnMessage(message, data);
}

void DefNetworkManager::AskForStream(int peer, uint32_t id, int& replies) {
  if (!m_networkGame || !m_device || replies >= kMaxRepliesPerPacket) return;
  ++replies;
  uint8_t packet[8];
  qibo::PutLE32(packet, kWantStream);
  qibo::PutLE32(packet + 4, id);
  m_device->SendTo(packet, sizeof(packet), peer);
}

void DefNetworkManager::ReceiveWantStream(int peer, const uint8_t* data, int size) {
  if (size != 8) return Drop(peer, "Stream request of %d bytes from peer %d; dropped", size, peer);
  const uint32_t id = qibo::GetLE32(data + 4);
  // Only the owner answers (and the host, which holds everybody's), so the
  // answer is never a copy its receivers refuse.
  CTStreamed* object = m_table.Find(id);
  if (object && m_networkGame && (m_hosting || IsOwn(id))) SendNetworkStream(object, kStreamLevel);
}

void DefNetworkManager::ReceiveStream(int peer, const uint8_t* data, int size) {
  if (size < 8 || qibo::GetLE32(data + 4) != static_cast<uint32_t>(size - 8))
    return Drop(peer, "Object stream of %d bytes from peer %d does not match its length; dropped", size,
                peer);
  PacketReader receiver(*this, peer);
  NetworkStream reader;
  reader.ReadFrom(data, size, &receiver);
}
