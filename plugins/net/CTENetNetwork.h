#pragma once

#include <enet/enet.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "core/devices/CTNetwork.h"
#include "plugins/net/DSessionFinder.h"

// The networking device over ENet (reliable, ordered UDP). The host is the
// hub of its session: every client holds one connection, to the host, which
// passes on what one client sends to all or to another client, marked with
// the sender, so peer identifiers mean the same on every copy (1 is the
// host, clients get 2, 3, ... in the order they connect).
//
// Frames inside ENet packets: 0 uint8 kind, 1 int32 peer, 5 payload.
//   client -> host: 1 for the host, 2 for all, 3 for peer
//   host -> client: 16 from peer, 17 welcome (peer: the client's own ID)
// A client whose frames make no sense is disconnected.
//
// Sessions are found by a UDP broadcast on the discovery port (answered by
// every host on the LAN) and can be asked for at a known address, where the
// host answers on its game port. The argument of HostSession is the game
// port: 0 the "Port" property, below 0 any free port ("SessionPort" tells).
class CTENetNetwork : public CTNetwork {
  QIBO_CLASS(CTENetNetwork)

 public:
  static constexpr int kHostPeer = 1;
  static constexpr int kDefaultPort = 27960;
  static constexpr int kMostClients = 4000;  // ENet's peer IDs run to 4095
  static constexpr uint8_t kToHost = 1, kToAll = 2, kToPeer = 3, kFrom = 16, kWelcome = 17;
  static constexpr size_t kFrameHead = 5;
  static constexpr size_t kMaxPacket = (4u << 20) + kFrameHead;
  // Frames a client sends before its connection stands, at most.
  static constexpr size_t kMaxWaitingFrames = 256;

  CTENetNetwork();
  ~CTENetNetwork() override;

  void DoAddProperties() override;

  int EnumSessions(uint32_t applicationId) override;
  int GetSessionCount() override;
  QIBO_String GetSessionName(int index) override;
  int GetSessionCount1(int index) override;
  int GetSessionCount2(int index) override;
  bool JoinSession(int index) override;
  bool QuerySession(uint32_t applicationId, const char* address) override;
  bool HostSession(uint32_t applicationId, const char* sessionName, int argument) override;
  void CloseSession() override;
  bool SendToAll(const void* data, int size) override;
  bool SendToHost(const void* data, int size) override;
  bool SendTo(const void* data, int size, int peer) override;
  bool Receive(NetEvent* event) override;
  int GetHostPeer() override { return m_host ? kHostPeer : -1; }
  void DisconnectPeer(int peer) override;

  // The game port of the session this copy hosts, 0 otherwise.
  int GetSessionPort() const { return m_sessionPort; }
  // Answers a discovery query that reached the game port (ENet's intercept).
  bool AnswerQuery(ENetHost* host);

 protected:
  bool StartDevice() override;
  bool StopDevice() override;

 private:
  struct Event {
    int type;
    int peer;
  };

  ENetHost* CreateHost(const ENetAddress* address, size_t peers);
  void DestroyHost();
  ENetPacket* MakeFrame(uint8_t kind, int peer, const void* data, size_t size);
  bool SendFrame(ENetPeer* to, ENetPacket* frame);
  bool SendFromClient(uint8_t kind, int peer, const void* data, int size);
  ENetPeer* FindPeer(int id) const;
  // The copies a session takes, the host included.
  int Capacity() const;
  // What this host tells those who ask for its session.
  DSessionFinder::Offer Offer() const;
  void AnswerListener();
  // One ENet event; true when it became the caller's event.
  bool Translate(ENetEvent& in, NetEvent* out);
  bool OnHostReceive(ENetPeer* from, ENetPacket* packet, NetEvent* out);
  bool OnClientReceive(ENetPacket* packet, NetEvent* out);
  void OnConnect(ENetPeer* peer, uint32_t data);

  ENetHost* m_host = nullptr;
  bool m_hosting = false;
  ENetPeer* m_server = nullptr;  // a client's connection to the host
  bool m_connected = false;
  std::deque<ENetPacket*> m_waiting;  // a client's frames before it is connected
  std::deque<Event> m_events;         // events that come from no packet
  int m_nextPeer = kHostPeer + 1;
  int m_ownPeer = 0;
  uint32_t m_applicationId = 0;
  QIBO_String m_sessionName;
  DSessionFinder m_finder;
  bool m_enetUp = false;

  int m_port = kDefaultPort;                    // "Port"
  int m_discoveryPort = 27961;                  // "DiscoveryPort"
  int m_maxClients = 31;                        // "MaxClients"
  int m_timeout = 5000;                         // "Timeout": ms of silence before a peer counts as gone
  QIBO_String m_broadcast = "255.255.255.255";  // "BroadcastAddress": space-separated
  int m_sessionPort = 0;                        // "SessionPort"
};
