#include "tests/net/NetFixture.h"

#include <unistd.h>

#include <cstring>

#include "core/devices/NetworkApi.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/ByteIO.h"

namespace qibo::test {

namespace {

constexpr int kMaxFrames = 3000;  // with a millisecond's pause each

// A UDP port nobody uses at the moment.
uint16_t FreePort() {
  ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  ENetAddress any{ENET_HOST_ANY, ENET_PORT_ANY};
  ENetAddress bound{};
  uint16_t port = 0;
  if (socket != ENET_SOCKET_NULL && enet_socket_bind(socket, &any) == 0 &&
      enet_socket_get_address(socket, &bound) == 0)
    port = bound.port;
  if (socket != ENET_SOCKET_NULL) enet_socket_destroy(socket);
  return port;
}

}  // namespace

std::string Le32(uint32_t value) {
  uint8_t bytes[4];
  qibo::PutLE32(bytes, value);
  return std::string(reinterpret_cast<const char*>(bytes), 4);
}

std::string Packet(std::initializer_list<uint32_t> words) {
  std::string packet;
  for (uint32_t word : words) packet += Le32(word);
  return packet;
}

// ---------------------------------------------------------------------------
// RawPeer

RawPeer::RawPeer() {
  enet_initialize();
  m_host = enet_host_create(nullptr, 1, 1, 0, 0);
}

RawPeer::~RawPeer() {
  if (m_host) enet_host_destroy(m_host);
}

bool RawPeer::Connect(uint16_t port, const std::function<void()>& frame, uint32_t applicationId) {
  if (!m_host) return false;
  ENetAddress address{0, port};
  enet_address_set_host_ip(&address, "127.0.0.1");
  m_server = enet_host_connect(m_host, &address, 1, applicationId);
  if (!m_server) return false;
  enet_peer_timeout(m_server, 0, 1000, 2000);
  for (int i = 0; i < kMaxFrames && !m_disconnected; ++i) {
    frame();
    Poll();
    if (m_server->state == ENET_PEER_STATE_CONNECTED && m_ownPeer != 0) return true;
    usleep(1000);
  }
  return false;
}

bool RawPeer::SendFrame(uint8_t kind, int peer, const std::string& payload) {
  if (!Connected()) return false;
  std::string frame(1, static_cast<char>(kind));
  frame += Le32(static_cast<uint32_t>(peer)) + payload;
  ENetPacket* packet = enet_packet_create(frame.data(), frame.size(), ENET_PACKET_FLAG_RELIABLE);
  if (!packet || enet_peer_send(m_server, 0, packet) != 0) {
    if (packet) enet_packet_destroy(packet);
    return false;
  }
  enet_host_flush(m_host);
  return true;
}

bool RawPeer::Send(const std::string& packet) { return SendFrame(2, 0, packet); }

void RawPeer::Poll() {
  if (!m_host) return;
  ENetEvent event;
  while (enet_host_service(m_host, &event, 0) > 0) {
    if (event.type == ENET_EVENT_TYPE_DISCONNECT) m_disconnected = true;
    if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
    const ENetPacket* packet = event.packet;
    if (packet->dataLength >= 5) {
      const int peer = static_cast<int32_t>(qibo::GetLE32(packet->data + 1));
      if (packet->data[0] == 17) m_ownPeer = peer;
      if (packet->data[0] == 16)
        m_packets.emplace_back(
            peer, std::string(reinterpret_cast<const char*>(packet->data) + 5, packet->dataLength - 5));
    }
    enet_packet_destroy(event.packet);
  }
}

// ---------------------------------------------------------------------------
// NetFixture

void NetFixture::SetUp() {
  ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
  StartLog();
  auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
  ASSERT_NE(plugIns, nullptr);
  plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_PLUGIN_DIR);
  ASSERT_TRUE(qiBO_LoadPlugIn("qiboNet.plug"));
  enet_initialize();
  m_discoveryPort = FreePort();
  ASSERT_NE(m_discoveryPort, 0);
}

void NetFixture::TearDown() {
  for (Ref<DefNetworkManager>& peer : m_peers) peer->Stop();
  m_objects.clear();
  m_peers.clear();
  EngineFixture::TearDown();
}

DefNetworkManager* NetFixture::MakePeer() {
  Ref<DefNetworkManager> peer = qibo::Create<DefNetworkManager>();
  if (!peer || !peer->Start()) return nullptr;
  CTNetwork* device = peer->GetNetworkDevice();
  if (!device) return nullptr;
  // Searches stay on this machine, on a port of this test's own.
  device->GetPropertyByName("BroadcastAddress").FromString("127.255.255.255");
  device->GetPropertyByName("DiscoveryPort").FromInt(m_discoveryPort);
  device->GetPropertyByName("Timeout").FromInt(1000);
  m_peers.push_back(peer);
  return peer.Get();
}

uint16_t NetFixture::Host(DefNetworkManager* host) {
  if (!host->HostSession(-1)) return 0;
  return static_cast<uint16_t>(host->GetNetworkDevice()->GetPropertyByName("SessionPort").ToInt());
}

bool NetFixture::Join(DefNetworkManager* joiner, uint16_t port) {
  const std::string address = "127.0.0.1:" + std::to_string(port);
  CTNetwork* device = joiner->GetNetworkDevice();
  if (!device || !device->QuerySession(DefNetworkManager::kApplicationId, address.c_str())) return false;
  if (!RunUntil([&] { return joiner->GetSessionCount() > 0; })) return false;
  if (!joiner->JoinSession(0)) return false;
  return RunUntil([&] { return joiner->GetClientID() != DefNetworkManager::kNoClient; });
}

void NetFixture::Frame() {
  if (auto* messages = qibo::GetService<CTUpdateManager>()) messages->Tick(16);
}

bool NetFixture::RunUntil(const std::function<bool()>& done) {
  for (int i = 0; i < kMaxFrames; ++i) {
    if (done()) return true;
    Frame();
    usleep(1000);
  }
  return done();
}

CTEntity* NetFixture::MakeShared(DefNetworkManager* peer, const char* name) {
  qibo::NetworkScope scope(peer);
  Ref<CTEntity> entity = qibo::Create<CTEntity>();
  entity->SetName(name);
  entity->SetNetID(0xFFFFFFFFu);
  m_objects.push_back(entity);
  return entity.Get();
}

}  // namespace qibo::test
