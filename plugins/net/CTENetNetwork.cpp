#include "plugins/net/CTENetNetwork.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>

#include "core/object/ByteIO.h"

QIBO_IMPLEMENT_CLASS(CTENetNetwork, CTNetwork, .desc = "ENet Networking Device", .url = "qiboNet.plug",
                     .product = "qiBO Devices")

namespace {

// ENet is started once for all devices of the process.
std::mutex g_enetLock;
int g_enetUsers = 0;

// ENet's intercept callback knows only the host; this finds its device.
std::mutex g_hostsLock;
std::vector<std::pair<ENetHost*, CTENetNetwork*>> g_hosts;

int Intercept(ENetHost* host, ENetEvent*) {
  CTENetNetwork* device = nullptr;
  {
    std::lock_guard hold(g_hostsLock);
    for (auto& [h, d] : g_hosts)
      if (h == host) device = d;
  }
  return device && device->AnswerQuery(host) ? 1 : 0;
}

int PeerId(const ENetPeer* peer) { return static_cast<int>(reinterpret_cast<intptr_t>(peer->data)); }

bool IsPort(int port) { return port >= 1 && port <= 65535; }

}  // namespace

CTENetNetwork::CTENetNetwork() = default;

CTENetNetwork::~CTENetNetwork() {
  // A device stopped normally has closed everything already.
  DestroyHost();
  m_finder.Close();
}

void CTENetNetwork::DoAddProperties() {
  CTNetwork::DoAddProperties();
  const ClassDesc* owner = CTENetNetwork::_CD();
  AddPropertyReg(DProperty(m_port, "Port"), owner);
  AddPropertyReg(DProperty(m_discoveryPort, "DiscoveryPort"), owner);
  AddPropertyReg(DProperty(m_maxClients, "MaxClients"), owner);
  AddPropertyReg(DProperty(m_timeout, "Timeout"), owner);
  AddPropertyReg(DProperty(m_broadcast, "BroadcastAddress"), owner);
  AddPropertyRO(DProperty(m_sessionPort, "SessionPort"), owner);
}

bool CTENetNetwork::StartDevice() {
  std::lock_guard hold(g_enetLock);
  if (g_enetUsers == 0 && enet_initialize() != 0) return ErrorMsg("ENet could not be started");
  ++g_enetUsers;
  m_enetUp = true;
  return CTNetwork::StartDevice();
}

bool CTENetNetwork::StopDevice() {
  CloseSession();
  m_finder.Close();
  if (m_enetUp) {
    std::lock_guard hold(g_enetLock);
    if (--g_enetUsers == 0) enet_deinitialize();
    m_enetUp = false;
  }
  return CTNetwork::StopDevice();
}

// ---------------------------------------------------------------------------
// Hosts and sessions

ENetHost* CTENetNetwork::CreateHost(const ENetAddress* address, size_t peers) {
  ENetHost* host = enet_host_create(address, peers, 1, 0, 0);
  if (!host) return nullptr;
  host->maximumPacketSize = kMaxPacket;
  host->maximumWaitingData = 4 * kMaxPacket;
  host->intercept = Intercept;
  std::lock_guard hold(g_hostsLock);
  g_hosts.emplace_back(host, this);
  return host;
}

void CTENetNetwork::DestroyHost() {
  for (ENetPacket* frame : m_waiting) enet_packet_destroy(frame);
  m_waiting.clear();
  m_events.clear();
  if (!m_host) return;
  {
    std::lock_guard hold(g_hostsLock);
    std::erase_if(g_hosts, [&](const auto& entry) { return entry.first == m_host; });
  }
  enet_host_destroy(m_host);
  m_host = nullptr;
  m_server = nullptr;
  m_connected = false;
  m_hosting = false;
  m_sessionPort = 0;
  m_ownPeer = 0;
}

bool CTENetNetwork::HostSession(uint32_t applicationId, const char* sessionName, int argument) {
  if (!IsStarted()) return ErrorMsg("The networking device is not started");
  CloseSession();
  const int port = argument > 0 ? argument : argument == 0 ? m_port : 0;
  if (port != 0 && !IsPort(port)) return ErrorMsgF("Cannot host a session on port %d", port);
  ENetAddress address{ENET_HOST_ANY, static_cast<enet_uint16>(port)};
  m_host = CreateHost(&address, static_cast<size_t>(Capacity() - 1));
  if (!m_host) return ErrorMsgF("Cannot host a session on port %d", port);
  ENetAddress bound{};
  m_sessionPort = enet_socket_get_address(m_host->socket, &bound) == 0 ? bound.port : port;
  m_hosting = true;
  m_ownPeer = kHostPeer;
  m_nextPeer = kHostPeer + 1;
  m_applicationId = applicationId;
  m_sessionName = sessionName ? sessionName : "";
  if (!IsPort(m_discoveryPort) || !m_finder.Listen(static_cast<uint16_t>(m_discoveryPort)))
    WarningMsgF(0, "Discovery port %d cannot be had: the session is found only by its address",
                m_discoveryPort);
  m_events.push_back({NetEvent::kNowHost, kHostPeer});
  InfoMsgF(1, "Hosting \"%s\" on port %d", m_sessionName.c_str(), m_sessionPort);
  return true;
}

bool CTENetNetwork::JoinSession(int index) {
  if (!IsStarted()) return ErrorMsg("The networking device is not started");
  const auto& sessions = m_finder.Sessions();
  if (index < 0 || static_cast<size_t>(index) >= sessions.size())
    return ErrorMsgF("No session %d was found", index);
  const ENetAddress address = sessions[static_cast<size_t>(index)].address;
  CloseSession();
  m_host = CreateHost(nullptr, 1);
  if (!m_host) return ErrorMsg("Cannot open a network connection");
  m_server = enet_host_connect(m_host, &address, 1, m_applicationId);
  if (!m_server) {
    DestroyHost();
    return ErrorMsg("Cannot connect to the session");
  }
  const auto timeout = static_cast<enet_uint32>(std::max(m_timeout, 500));
  enet_peer_timeout(m_server, 0, timeout, 2 * timeout);
  enet_host_flush(m_host);
  return true;
}

void CTENetNetwork::CloseSession() {
  m_finder.StopListening();
  if (!m_host) return;
  // Told at once, so the others need not wait for a timeout.
  for (size_t i = 0; i < m_host->peerCount; ++i) {
    ENetPeer* peer = &m_host->peers[i];
    if (peer->state != ENET_PEER_STATE_DISCONNECTED) enet_peer_disconnect_now(peer, 0);
  }
  enet_host_flush(m_host);
  DestroyHost();
}

int CTENetNetwork::EnumSessions(uint32_t applicationId) {
  if (!IsStarted()) return 0;
  std::vector<std::string> addresses;
  std::istringstream list(m_broadcast.c_str());
  for (std::string address; list >> address;) addresses.push_back(address);
  m_applicationId = applicationId;
  if (!IsPort(m_discoveryPort)) {
    ErrorMsgF("Discovery port %d is not a port", m_discoveryPort);
  } else if (!m_finder.Search(applicationId, addresses, static_cast<uint16_t>(m_discoveryPort))) {
    WarningMsg("No session search could be sent");
  }
  return GetSessionCount();
}

bool CTENetNetwork::QuerySession(uint32_t applicationId, const char* address) {
  if (!IsStarted()) return false;
  m_applicationId = applicationId;
  const uint16_t defaultPort = static_cast<uint16_t>(IsPort(m_port) ? m_port : kDefaultPort);
  if (m_finder.Ask(applicationId, address, defaultPort)) return true;
  return ErrorMsgF("Cannot ask \"%s\" for a session", address ? address : "");
}

int CTENetNetwork::GetSessionCount() {
  m_finder.Poll();
  return static_cast<int>(m_finder.Sessions().size());
}

QIBO_String CTENetNetwork::GetSessionName(int index) {
  const auto& sessions = m_finder.Sessions();
  if (index < 0 || static_cast<size_t>(index) >= sessions.size()) return QIBO_String();
  return QIBO_String(sessions[static_cast<size_t>(index)].name.c_str());
}

int CTENetNetwork::GetSessionCount1(int index) {
  const auto& sessions = m_finder.Sessions();
  return index >= 0 && static_cast<size_t>(index) < sessions.size()
             ? sessions[static_cast<size_t>(index)].copies
             : 0;
}

int CTENetNetwork::GetSessionCount2(int index) {
  const auto& sessions = m_finder.Sessions();
  return index >= 0 && static_cast<size_t>(index) < sessions.size()
             ? sessions[static_cast<size_t>(index)].capacity
             : 0;
}

int CTENetNetwork::Capacity() const { return std::clamp(m_maxClients, 1, kMostClients) + 1; }

DSessionFinder::Offer CTENetNetwork::Offer() const {
  const int copies = m_host ? static_cast<int>(m_host->connectedPeers) + 1 : 0;
  return {m_applicationId, m_sessionName.c_str(), static_cast<uint16_t>(m_sessionPort), copies, Capacity()};
}

bool CTENetNetwork::AnswerQuery(ENetHost* host) {
  if (!m_hosting || host != m_host ||
      !DSessionFinder::IsQuery(host->receivedData, host->receivedDataLength, m_applicationId))
    return false;
  const std::vector<uint8_t> answer = DSessionFinder::MakeAnswer(Offer());
  ENetBuffer reply{const_cast<uint8_t*>(answer.data()), answer.size()};
  enet_socket_send(host->socket, &host->receivedAddress, &reply, 1);
  return true;
}

void CTENetNetwork::AnswerListener() {
  if (!m_hosting) return;
  m_finder.Answer(Offer());
}

// ---------------------------------------------------------------------------
// Sending

ENetPacket* CTENetNetwork::MakeFrame(uint8_t kind, int peer, const void* data, size_t size) {
  ENetPacket* frame = enet_packet_create(nullptr, kFrameHead + size, ENET_PACKET_FLAG_RELIABLE);
  if (!frame) return nullptr;
  frame->data[0] = kind;
  qibo::PutLE32(frame->data + 1, static_cast<uint32_t>(peer));
  if (size) memcpy(frame->data + kFrameHead, data, size);
  return frame;
}

bool CTENetNetwork::SendFrame(ENetPeer* to, ENetPacket* frame) {
  if (enet_peer_send(to, 0, frame) != 0) {
    enet_packet_destroy(frame);
    return false;
  }
  enet_host_flush(m_host);
  return true;
}

ENetPeer* CTENetNetwork::FindPeer(int id) const {
  if (!m_host || id <= kHostPeer) return nullptr;
  for (size_t i = 0; i < m_host->peerCount; ++i) {
    ENetPeer* peer = &m_host->peers[i];
    if (peer->state == ENET_PEER_STATE_CONNECTED && PeerId(peer) == id) return peer;
  }
  return nullptr;
}

bool CTENetNetwork::SendFromClient(uint8_t kind, int peer, const void* data, int size) {
  if (!m_server) return false;
  ENetPacket* frame = MakeFrame(kind, peer, data, static_cast<size_t>(size));
  if (!frame) return false;
  if (m_connected) return SendFrame(m_server, frame);
  if (m_waiting.size() >= kMaxWaitingFrames) {
    enet_packet_destroy(frame);
    return ErrorMsg("Too many packets wait for the connection to the host");
  }
  m_waiting.push_back(frame);
  return true;
}

bool CTENetNetwork::SendToAll(const void* data, int size) {
  if (!m_host || size < 0 || (size > 0 && !data) || static_cast<size_t>(size) + kFrameHead > kMaxPacket)
    return false;
  if (!m_hosting) return SendFromClient(kToAll, 0, data, size);
  ENetPacket* frame = MakeFrame(kFrom, kHostPeer, data, static_cast<size_t>(size));
  if (!frame) return false;
  enet_host_broadcast(m_host, 0, frame);  // destroys a frame nobody took
  enet_host_flush(m_host);
  return true;
}

bool CTENetNetwork::SendToHost(const void* data, int size) {
  if (m_hosting || size < 0 || (size > 0 && !data) || static_cast<size_t>(size) + kFrameHead > kMaxPacket)
    return false;
  return SendFromClient(kToHost, kHostPeer, data, size);
}

bool CTENetNetwork::SendTo(const void* data, int size, int peer) {
  if (!m_host || size < 0 || (size > 0 && !data) || static_cast<size_t>(size) + kFrameHead > kMaxPacket)
    return false;
  if (!m_hosting) return SendFromClient(peer == kHostPeer ? kToHost : kToPeer, peer, data, size);
  ENetPeer* to = FindPeer(peer);
  ENetPacket* frame = to ? MakeFrame(kFrom, kHostPeer, data, static_cast<size_t>(size)) : nullptr;
  return frame && SendFrame(to, frame);
}

void CTENetNetwork::DisconnectPeer(int peer) {
  if (!m_hosting) return;
  if (ENetPeer* to = FindPeer(peer)) {
    enet_peer_disconnect(to, 0);
    enet_host_flush(m_host);
  }
}

// ---------------------------------------------------------------------------
// Receiving

bool CTENetNetwork::Receive(NetEvent* event) {
  if (!event || !m_host) return false;
  event->data.clear();
  if (!m_events.empty()) {
    event->type = m_events.front().type;
    event->peer = m_events.front().peer;
    m_events.pop_front();
    return true;
  }
  // Frames that are the device's own business (a welcome, a passed-on
  // packet) are handled here; a bounded number per call.
  for (int i = 0; i < 1024 && m_host; ++i) {
    ENetEvent in;
    if (enet_host_service(m_host, &in, 0) <= 0) break;
    if (Translate(in, event)) return true;
  }
  // Nothing more this frame: the LAN's questions get their answers.
  AnswerListener();
  return false;
}

bool CTENetNetwork::Translate(ENetEvent& in, NetEvent* out) {
  switch (in.type) {
    case ENET_EVENT_TYPE_CONNECT:
      if (m_hosting) {
        OnConnect(in.peer, in.data);
        if (in.peer->state != ENET_PEER_STATE_CONNECTED) return false;
        out->type = NetEvent::kPeerJoined;
        out->peer = PeerId(in.peer);
        return true;
      }
      m_connected = true;
      while (!m_waiting.empty()) {
        SendFrame(m_server, m_waiting.front());
        m_waiting.pop_front();
      }
      return false;
    case ENET_EVENT_TYPE_DISCONNECT:
      if (m_hosting) {
        const int id = PeerId(in.peer);
        in.peer->data = nullptr;
        if (id == 0) return false;  // turned away before it was a peer
        out->type = NetEvent::kPeerLeft;
        out->peer = id;
        return true;
      }
      // The host is gone, or was never reached.
      DestroyHost();
      out->type = NetEvent::kHostLost;
      out->peer = kHostPeer;
      return true;
    case ENET_EVENT_TYPE_RECEIVE:
      return m_hosting ? OnHostReceive(in.peer, in.packet, out) : OnClientReceive(in.packet, out);
    default:
      return false;
  }
}

void CTENetNetwork::OnConnect(ENetPeer* peer, uint32_t data) {
  peer->data = nullptr;
  if (data != m_applicationId) {
    WarningMsg("A connection for another application was turned away");
    enet_peer_disconnect_now(peer, 0);
    return;
  }
  // The next identifier no connected peer has; they wrap after 2^31.
  int id = m_nextPeer;
  while (FindPeer(id)) id = id == INT32_MAX ? kHostPeer + 1 : id + 1;
  m_nextPeer = id == INT32_MAX ? kHostPeer + 1 : id + 1;
  peer->data = reinterpret_cast<void*>(static_cast<intptr_t>(id));
  const auto timeout = static_cast<enet_uint32>(std::max(m_timeout, 500));
  enet_peer_timeout(peer, 0, timeout, 2 * timeout);
  if (ENetPacket* welcome = MakeFrame(kWelcome, id, nullptr, 0)) SendFrame(peer, welcome);
}

bool CTENetNetwork::OnHostReceive(ENetPeer* from, ENetPacket* packet, NetEvent* out) {
  const int sender = PeerId(from);
  const size_t length = packet->dataLength;
  const uint8_t kind = length >= kFrameHead ? packet->data[0] : 0;
  const bool known = kind == kToHost || kind == kToAll || kind == kToPeer;
  if (sender == 0 || from->state != ENET_PEER_STATE_CONNECTED || !known) {
    enet_packet_destroy(packet);
    if (sender != 0 && from->state == ENET_PEER_STATE_CONNECTED) {
      WarningMsgF(0, "Peer %d sent a frame this device does not know; disconnected", sender);
      enet_peer_disconnect(from, 0);
    }
    return false;
  }
  const int target = static_cast<int32_t>(qibo::GetLE32(packet->data + 1));
  const bool forUs = kind != kToPeer || target == kHostPeer;
  if (forUs) {
    out->type = NetEvent::kPacket;
    out->peer = sender;
    out->data.assign(packet->data + kFrameHead, packet->data + length);
  }
  // Passed on marked with its sender: to every other client, or to one.
  packet->data[0] = kFrom;
  qibo::PutLE32(packet->data + 1, static_cast<uint32_t>(sender));
  bool passedOn = false;
  if (kind == kToAll) {
    for (size_t i = 0; i < m_host->peerCount; ++i) {
      ENetPeer* peer = &m_host->peers[i];
      if (peer != from && peer->state == ENET_PEER_STATE_CONNECTED && PeerId(peer) != 0)
        passedOn = enet_peer_send(peer, 0, packet) == 0 || passedOn;
    }
  } else if (kind == kToPeer && !forUs) {
    if (ENetPeer* to = FindPeer(target); to && to != from) passedOn = enet_peer_send(to, 0, packet) == 0;
  }
  if (passedOn)
    enet_host_flush(m_host);
  else
    enet_packet_destroy(packet);
  return forUs;
}

bool CTENetNetwork::OnClientReceive(ENetPacket* packet, NetEvent* out) {
  const size_t length = packet->dataLength;
  const uint8_t kind = length >= kFrameHead ? packet->data[0] : 0;
  const int peer = length >= kFrameHead ? static_cast<int32_t>(qibo::GetLE32(packet->data + 1)) : 0;
  bool delivered = false;
  if (kind == kWelcome) {
    m_ownPeer = peer;
  } else if (kind == kFrom) {
    out->type = NetEvent::kPacket;
    out->peer = peer;
    out->data.assign(packet->data + kFrameHead, packet->data + length);
    delivered = true;
  }
  enet_packet_destroy(packet);
  return delivered;
}
