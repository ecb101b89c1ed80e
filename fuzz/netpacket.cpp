// Fuzzes the network manager's receive path with whole packets, as they
// arrive from peers: the first byte picks the receiving copy (the host of a
// session or a copy that joined it) and the sending peer, the rest is the
// packet. Nothing may fault or read outside the packet, and every object in
// a table must be findable by the network ID it carries.
//
// The transport is a stand-in device that hands the manager the fuzzer's
// packets and swallows what it sends; the real device is tested over
// loopback.

#include <cstdint>
#include <cstdlib>
#include <deque>

#include "core/devices/CTNetwork.h"
#include "core/devices/DefNetworkManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/object/ByteIO.h"

class FuzzNetwork : public CTNetwork {
  QIBO_CLASS(FuzzNetwork)

 public:
  std::deque<NetEvent> events;

  int EnumSessions(uint32_t) override { return 1; }
  int GetSessionCount() override { return 1; }
  QIBO_String GetSessionName(int) override { return "fuzz"; }
  int GetSessionCount1(int) override { return 1; }
  int GetSessionCount2(int) override { return 8; }
  bool JoinSession(int) override { return (m_inSession = true); }
  bool QuerySession(uint32_t, const char*) override { return true; }
  bool HostSession(uint32_t, const char*, int) override { return (m_inSession = true); }
  void CloseSession() override {
    m_inSession = false;
    events.clear();
  }
  bool SendToAll(const void*, int) override { return m_inSession; }
  bool SendToHost(const void*, int) override { return m_inSession; }
  bool SendTo(const void*, int, int) override { return m_inSession; }
  bool Receive(NetEvent* event) override {
    if (events.empty()) return false;
    *event = std::move(events.front());
    events.pop_front();
    return true;
  }
  int GetHostPeer() override { return m_inSession ? 1 : -1; }
  void DisconnectPeer(int) override {}

 private:
  bool m_inSession = false;
};
QIBO_IMPLEMENT_CLASS(FuzzNetwork, CTNetwork, .desc = "Fuzzing network")

namespace {

constexpr int kPeers = 4;  // the host is 1, clients 2..4
constexpr int kInputsPerSession = 256;
constexpr int kInputsPerStart = 4096;

void Push(DefNetworkManager* manager, int type, int peer, const uint8_t* data = nullptr, size_t size = 0) {
  auto* device = static_cast<FuzzNetwork*>(manager->GetNetworkDevice());
  NetEvent event;
  event.type = type;
  event.peer = peer;
  event.data.assign(data, data + size);
  device->events.push_back(std::move(event));
}

// A host with every client joined, and a copy that joined as client 1.
struct Session {
  Ref<DefNetworkManager> host = qibo::Create<DefNetworkManager>();
  Ref<DefNetworkManager> client = qibo::Create<DefNetworkManager>();
  int inputs = 0;

  Session() {
    qiBO_RegisterClass(FuzzNetwork::_CD());
    host->Start();
    client->Start();
    Open();
  }

  void Open() {
    host->HostSession(0);
    for (int peer = 2; peer <= kPeers; ++peer) Push(host.Get(), NetEvent::kPeerJoined, peer);
    host->Update(0);
    client->EnumSessions();
    client->JoinSession(0);
    uint8_t yourId[8];
    qibo::PutLE32(yourId, DefNetworkManager::kYourClientId);
    qibo::PutLE32(yourId + 4, 1);
    Push(client.Get(), NetEvent::kPacket, 1, yourId, sizeof(yourId));
    client->Update(0);
  }

  // Peers cut off for their bad packets come back with a new session, and
  // the tables are emptied now and then.
  void Renew() {
    if (++inputs % kInputsPerStart == 0) {
      for (DefNetworkManager* m : {host.Get(), client.Get()}) {
        m->Stop();
        m->Start();
      }
      Open();
    } else if (inputs % kInputsPerSession == 0) {
      host->CloseSession();
      client->CloseSession();
      Open();
    }
  }
};

void CheckTable(DefNetworkManager* manager) {
  for (int i = 0; i < manager->GetObjectCount(); ++i) {
    CTStreamed* object = manager->GetObjectNo(i);
    if (!object || object->GetNetID() == 0 || !manager->HasNetworkObject(object)) abort();
    if (!manager->FindNetworkObject(object->GetNetID())) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Session* session = new Session();  // lives as long as the process
  if (size < 1) return 0;
  session->Renew();
  DefNetworkManager* receiver = (data[0] & 1) ? session->client.Get() : session->host.Get();
  const int peer = 1 + (data[0] >> 1) % kPeers;
  Push(receiver, NetEvent::kPacket, peer, data + 1, size - 1);
  receiver->Update(16);
  CheckTable(receiver);
  return 0;
}
