// Packets from strangers: every malformed or unauthorised packet a peer can
// send reaches a host over real sockets and is dropped with a warning,
// without effect; a peer that keeps at it is cut off, and a flood leaves
// the host serving its other peers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "core/kernel/Logging.h"
#include "core/object/ByteIO.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTMaterialManager.h"
#include "plugins/net/DSessionFinder.h"
#include "tests/net/NetFixture.h"

using qibo::test::Le32;
using qibo::test::Packet;
using qibo::test::RawPeer;

namespace {

constexpr uint32_t kNameChunk = 0x3F060351;

// An object in a hand-made stream packet: class, network ID, optional name.
struct StreamObject {
  uint32_t classId;
  uint32_t netId;
  const char* name = nullptr;
  bool registered = false;  // the name chunk's flag: enter the object's service
};

std::string Chunk(uint32_t id, const std::string& payload) {
  return Le32(id) + Le32(static_cast<uint32_t>(payload.size())) + payload;
}

// "qibo", the level-of-detail chunk, then one object chunk per object.
std::string StreamPacket(const std::vector<StreamObject>& objects) {
  std::string body = Chunk(qibo::FourCC("slod"), Le32(34));
  uint32_t streamId = 1;
  for (const StreamObject& object : objects) {
    std::string inner = Le32(streamId++) + Le32(object.classId) + Le32(object.netId);
    if (object.name)
      inner += Chunk(kNameChunk, Le32(static_cast<uint32_t>(strlen(object.name))) + object.name +
                                     std::string(1, object.registered ? '\1' : '\0'));
    body += Chunk(1, inner);
  }
  return Chunk(qibo::FourCC("qibo"), body);
}

class NetworkSafetyTest : public qibo::test::NetFixture {
 protected:
  void SetUp() override {
    NetFixture::SetUp();
    m_host = MakePeer();
    ASSERT_NE(m_host, nullptr);
    m_port = Host(m_host);
    ASSERT_NE(m_port, 0);
    m_mine = MakeShared(m_host, "host's own");
    m_entityClass = CTEntity::_CD()->ID();
  }

  // A raw peer joined to the host; its client ID.
  int JoinRaw(RawPeer& raw) {
    if (!raw.Connect(m_port, [&] { Frame(); })) return -1;
    int client = -1;
    RunUntil([&] {
      raw.Poll();
      for (auto& [peer, bytes] : raw.Packets())
        if (bytes.size() == 8 && bytes.substr(0, 4) == Le32(0x10000003))
          client = static_cast<int>(qibo::GetLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4));
      return client >= 0;
    });
    raw.Packets().clear();
    return client;
  }

  void Frames(int count) {
    for (int i = 0; i < count; ++i) {
      Frame();
      usleep(1000);
    }
  }

  DefNetworkManager* m_host = nullptr;
  uint16_t m_port = 0;
  CTEntity* m_mine = nullptr;
  uint32_t m_entityClass = 0;
};

}  // namespace

// Each packet is dropped with its warning and changes nothing; the objects
// a refused stream names before the refusal are kept, those after are not.
TEST_F(NetworkSafetyTest, BadPackets_AreDroppedWithAWarningAndNoEffect) {
  const uint32_t hostObject = m_mine->GetNetID();
  struct Case {
    const char* what;
    std::function<std::string(uint32_t own)> packet;  // own: an ID the sender may use
    const char* warning;
    uint32_t keptId;    // made by the packet (0: none)
    uint32_t absentId;  // never made (0: none)
  };
  const Case cases[] = {
      {"too short", [](uint32_t) { return std::string("\x04\x00", 2); }, "is too short", 0, 0},
      {"unknown code",
       [](uint32_t) {
         return Packet({0x12345678, 1});
       },
       "Unknown network message: 0x12345678", 0, 0},
      {"fewer records than counted",
       [](uint32_t own) {
         return Packet({0x21000004, 2, own, 1, 0});
       },
       "does not hold its 2 records", 0, 0},
      {"bytes after the records",
       [](uint32_t own) {
         return Packet({0x21000004, 1, own, 1, 0, 99});
       },
       "does not hold its 1 records", 0, 0},
      {"negative count",
       [](uint32_t) {
         return Packet({0x21000004, 0xFFFFFFFF});
       },
       "does not hold its -1 records", 0, 0},
      {"data running past the packet",
       [](uint32_t own) {
         return Packet({0x21000005, 1, own, 1, 100}) + "abc";
       },
       "does not hold its 1 records", 0, 0},
      {"message to the host's object",
       [&](uint32_t) {
         return Packet({0x21000004, 1, hostObject, 257, 0});
       },
       "which it may not change", 0, 0},
      {"stream changing the host's object",
       [&](uint32_t) {
         return StreamPacket({{m_entityClass, hostObject, "taken over"}});
       },
       "which it may not change", 0, 0},
      {"class that may not travel",
       [&](uint32_t own) {
         return StreamPacket(
             {{m_entityClass, own}, {DefNetworkManager::_CD()->ID(), own + 256}, {m_entityClass, own + 512}});
       },
       "carries class DefNetworkManager, which may not be received", 1, 2},
      {"session packet from a client",
       [](uint32_t) {
         return Packet({0x10000003, 7});
       },
       "which is not the host", 0, 0},
      {"stream longer than it says", [](uint32_t) { return StreamPacket({}) + "xx"; },
       "does not match its length", 0, 0},
      {"stream request of the wrong size",
       [](uint32_t own) {
         return Packet({0x21000007, own, 0});
       },
       "Stream request of 12 bytes", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RawPeer raw;
    const int client = JoinRaw(raw);
    ASSERT_GE(client, 1);
    const uint32_t own = 700u << 8 | static_cast<uint32_t>(client);
    const int before = CountLogged(c.warning);
    ASSERT_TRUE(raw.Send(c.packet(own)));
    EXPECT_TRUE(RunUntil([&] { return CountLogged(c.warning) > before; }));
    if (c.keptId) {
      EXPECT_NE(m_host->FindNetworkObject(own + (c.keptId - 1) * 256), nullptr);
    }
    if (c.absentId) {
      EXPECT_EQ(m_host->FindNetworkObject(own + c.absentId * 256), nullptr);
    }
    EXPECT_STREQ(m_mine->GetName(), "host's own");
    EXPECT_TRUE(raw.Connected());
  }
  EXPECT_EQ(DefNetworkManager::_CD()->GetInstances(), 1);  // the host, nothing made from a packet
}

TEST_F(NetworkSafetyTest, PeerThatKeepsSendingGarbage_IsDisconnectedAndOthersStay) {
  DefNetworkManager* good = MakePeer();
  ASSERT_TRUE(Join(good, m_port));
  RawPeer raw;
  ASSERT_GE(JoinRaw(raw), 1);
  // To the host alone (a packet to all would reach the good peer too, which
  // would stop listening to the sender).
  for (int i = 0; i <= DefNetworkManager::kMaxStrikes; ++i) ASSERT_TRUE(raw.SendFrame(1, 1, "bad"));
  EXPECT_TRUE(RunUntil([&] {
    raw.Poll();
    return raw.Disconnected();
  }));
  EXPECT_TRUE(Logged("keeps sending bad network packets; disconnected"));
  // Its warnings were logged a few at a time, not one per packet.
  EXPECT_LE(CountLogged("is too short"), DefNetworkManager::kMaxWarningsPerWindow);
  EXPECT_TRUE(good->IsNetworkGame());
  EXPECT_TRUE(m_host->IsHosting());
}

// An object that only passes through a packet enters no service, or every
// packet would leave one behind; a shared object does, as its owner's did.
TEST_F(NetworkSafetyTest, PassingObjects_EnterNoService) {
  RawPeer raw;
  const int client = JoinRaw(raw);
  ASSERT_GE(client, 1);
  const uint32_t material = CTMaterial::_CD()->ID();
  const uint32_t shared = 800u << 8 | static_cast<uint32_t>(client);
  ASSERT_TRUE(raw.Send(StreamPacket({{material, 0, "passing material", true},
                                     {material, shared, "shared material", true},
                                     {m_entityClass, shared + 256, "after them"}})));
  ASSERT_TRUE(RunUntil([&] { return m_host->FindNetworkObject(shared + 256) != nullptr; }));
  auto* materials = qibo::GetService<CTMaterialManager>();
  ASSERT_NE(materials, nullptr);
  EXPECT_EQ(materials->FindMaterial("passing material"), nullptr);
  EXPECT_EQ(materials->FindMaterial("shared material"), m_host->FindNetworkObject(shared));
}

// The networking device turns away connections of other applications and
// peers whose frames it does not know.
TEST_F(NetworkSafetyTest, Device_TurnsAwayStrangersAtTheTransport) {
  RawPeer other;
  EXPECT_FALSE(other.Connect(
      m_port, [&] { Frame(); }, 0x12345678));
  EXPECT_TRUE(Logged("A connection for another application was turned away"));

  RawPeer broken;
  ASSERT_GE(JoinRaw(broken), 1);
  ASSERT_TRUE(broken.SendFrame(99, 0, "whatever"));
  EXPECT_TRUE(RunUntil([&] {
    broken.Poll();
    return broken.Disconnected();
  }));
  EXPECT_TRUE(Logged("sent a frame this device does not know; disconnected"));
}

// 10,000 crafted packets from several peers: random bytes, truncated and
// oversized packets, classes that may not travel, lying counts, floods of
// objects and of requests. The
// host stays up, serves its good peer, and keeps its memory bounded.
TEST_F(NetworkSafetyTest, Flood_LeavesTheHostRunningWithBoundedMemory) {
  // Sending the flood can keep the test from running frames for seconds on
  // a loaded machine under the sanitizers: the good peer's link must
  // outlast that, as timeouts are not what this test is about.
  DefNetworkManager* good = MakePeer();
  for (DefNetworkManager* peer : {m_host, good})
    peer->GetNetworkDevice()->GetPropertyByName("Timeout").FromInt(20000);
  ASSERT_TRUE(Join(good, m_port));
  std::mt19937 random(26);
  constexpr int kAttackers = 4;
  constexpr int kPacketsEach = 2500;
  std::vector<std::unique_ptr<RawPeer>> attackers;
  for (int a = 0; a < kAttackers; ++a) {
    attackers.push_back(std::make_unique<RawPeer>());
    const int client = JoinRaw(*attackers.back());
    ASSERT_GE(client, 1);
    const uint32_t own = static_cast<uint32_t>(client);
    RawPeer& raw = *attackers.back();
    const std::string valid = StreamPacket({{m_entityClass, 900u << 8 | own, "flood"}});
    // The last attacker opens with packets larger than any the host takes.
    if (a == kAttackers - 1)
      for (int i = 0; i < 2; ++i) raw.Send(std::string(5u << 20, 'x'));
    for (int i = 0; i < kPacketsEach && raw.Connected(); ++i) {
      std::string packet;
      switch (i % 6) {
        case 0: {  // random bytes, some with a known code in front
          packet.resize(random() % 64);
          for (char& c : packet) c = static_cast<char>(random());
          if (i % 12 == 0) packet = Le32(0x21000005) + packet;
          break;
        }
        case 1:
          packet = valid.substr(0, random() % valid.size());
          break;  // truncated
        case 2:
          packet = StreamPacket({{DefNetworkManager::_CD()->ID(), (1000u + i) << 8 | own}});
          break;
        case 3:
          packet = StreamPacket({{m_entityClass, (2000u + i) << 8 | own}});
          break;  // objects of its own
        case 4:
          packet = Packet({0x21000004, 1000000, own});
          break;  // counts that lie
        case 5:
          packet = Packet({0x21000001});
          break;  // asking for everything, again and again
      }
      raw.Send(packet);
      if (i % 64 == 0) {
        Frame();
        raw.Poll();
      }
    }
  }
  for (auto& raw : attackers) {
    EXPECT_TRUE(RunUntil([&] {
      raw->Poll();
      return raw->Disconnected();
    }));
  }
  EXPECT_TRUE(m_host->IsHosting());
  // What the attackers made before they were cut off is bounded by their
  // strikes, not by what they sent.
  EXPECT_LT(m_host->GetCopyCount(), kAttackers * 6 * (DefNetworkManager::kMaxStrikes + 1));
  EXPECT_LT(qiBO_GetErrorsCount(), 200);

  // The good peer is still served.
  m_mine->MoveTo(Vector3(3, 2, 1));
  m_host->SendNetworkStream(m_mine, 34);
  EXPECT_TRUE(RunUntil([&] {
    auto* copy = qibo::Cast<CTEntity>(good->FindNetworkObject(m_mine->GetNetID()));
    return copy && copy->GetTransform().GetPosition() == Vector3(3, 2, 1);
  }));
}

// Discovery answers come from anyone on the LAN: only a well-formed answer
// for our application lists a session.
TEST(SessionFinderTest, ReadAnswer_TakesOnlyWellFormedAnswersForTheApplication) {
  const std::vector<uint8_t> good = DSessionFinder::MakeAnswer({0x0010F143, "Game", 27960, 2, 32});
  DSessionFinder::Session session;
  ASSERT_TRUE(DSessionFinder::ReadAnswer(good.data(), good.size(), 0x0010F143, session));
  EXPECT_EQ(session.name, "Game");
  EXPECT_EQ(session.address.port, 27960);
  EXPECT_EQ(session.copies, 2);
  EXPECT_EQ(session.capacity, 32);

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t application;
  };
  std::vector<uint8_t> longName = good;
  longName[14] = 200;  // a name longer than the datagram
  std::vector<uint8_t> zeroPort = good;
  zeroPort[8] = zeroPort[9] = 0;
  const Case cases[] = {
      {"another application", good, 0x12345678},
      {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 1), 0x0010F143},
      {"extra bytes",
       [&] {
         auto b = good;
         b.push_back(0);
         return b;
       }(),
       0x0010F143},
      {"name past the end", longName, 0x0010F143},
      {"no port", zeroPort, 0x0010F143},
      {"a query", {'Q', 'B', 'O', 'Q', 0x43, 0xF1, 0x10, 0x00}, 0x0010F143},
      {"empty", {}, 0x0010F143},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(DSessionFinder::ReadAnswer(c.bytes.data(), c.bytes.size(), c.application, session));
  }
  const uint8_t query[] = {'Q', 'B', 'O', 'Q', 0x43, 0xF1, 0x10, 0x00};
  EXPECT_TRUE(DSessionFinder::IsQuery(query, sizeof(query), 0x0010F143));
  EXPECT_FALSE(DSessionFinder::IsQuery(query, sizeof(query) - 1, 0x0010F143));
}
