#pragma once

#include <enet/enet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/devices/DefNetworkManager.h"
#include "core/object/Ref.h"
#include "core/scene/CTEntity.h"
#include "tests/support/EngineFixture.h"

namespace qibo::test {

// A session peer that speaks the networking device's framing over a raw
// ENet connection of its own, so a test can send what no well-behaved
// device would and see every packet the host sends it.
class RawPeer {
 public:
  RawPeer();
  ~RawPeer();
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  // Connects to the host at 127.0.0.1:port, running frame() while it waits.
  bool Connect(uint16_t port, const std::function<void()>& frame,
               uint32_t applicationId = DefNetworkManager::kApplicationId);
  // One frame of the device's format: kind, peer, payload.
  bool SendFrame(uint8_t kind, int peer, const std::string& payload);
  // A packet to every copy in the session, as a client's device sends it.
  bool Send(const std::string& packet);
  // Takes in what has arrived: packets from the host, the welcome, a
  // disconnection.
  void Poll();

  bool Connected() const { return m_server && !m_disconnected; }
  bool Disconnected() const { return m_disconnected; }
  int OwnPeer() const { return m_ownPeer; }
  // Packets received (sender, bytes), oldest first; the test may clear it.
  std::vector<std::pair<int, std::string>>& Packets() { return m_packets; }

 private:
  ENetHost* m_host = nullptr;
  ENetPeer* m_server = nullptr;
  bool m_disconnected = false;
  int m_ownPeer = 0;
  std::vector<std::pair<int, std::string>> m_packets;
};

// Little-endian packet building.
std::string Le32(uint32_t value);
std::string Packet(std::initializer_list<uint32_t> words);

// Runs each test in its own directory with qiboNet.plug loaded and the
// error log running. Peers are network managers of their own (not the
// service), each with its own ENet device on loopback; a frame ticks the
// message manager once, which runs every peer's frame work.
class NetFixture : public EngineFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A started manager whose device searches on loopback only.
  DefNetworkManager* MakePeer();
  // Hosts a session on a free port; the port.
  uint16_t Host(DefNetworkManager* host);
  // Finds the host's session by its address and joins it; true once the
  // host has given the joiner its client ID.
  bool Join(DefNetworkManager* joiner, uint16_t port);
  // One frame of every peer.
  void Frame();
  // Runs frames until done() holds, at most a few seconds' worth.
  bool RunUntil(const std::function<bool()>& done);

  // A network entity of peer (its ID from peer), held by the fixture.
  CTEntity* MakeShared(DefNetworkManager* peer, const char* name);

  std::vector<Ref<DefNetworkManager>> m_peers;
  std::vector<Ref<CTEntity>> m_objects;
  uint16_t m_discoveryPort = 0;
};

}  // namespace qibo::test
