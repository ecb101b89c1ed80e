// Sessions between network managers in one process, over real ENet sockets
// on loopback: hosting, joining, leaving, and what travels between peers.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <string>

#include "core/devices/NetworkApi.h"
#include "core/object/ByteIO.h"
#include "core/persist/NetworkStream.h"
#include "tests/net/NetFixture.h"

using qibo::test::Le32;
using qibo::test::Packet;
using qibo::test::RawPeer;

namespace {

class NetworkSessionTest : public qibo::test::NetFixture {
 protected:
  // A host and one joiner in one session.
  void SetUpSession() {
    m_host = MakePeer();
    ASSERT_NE(m_host, nullptr);
    m_port = Host(m_host);
    ASSERT_NE(m_port, 0);
    m_joiner = MakePeer();
    ASSERT_NE(m_joiner, nullptr);
    ASSERT_TRUE(Join(m_joiner, m_port));
  }

  // A raw peer in the host's session, its session packets taken in.
  bool JoinRaw(RawPeer& raw) {
    if (!raw.Connect(m_port, [&] { Frame(); })) return false;
    if (!RunUntil([&] {
          raw.Poll();
          return !raw.Packets().empty() && raw.Packets().back().second.substr(0, 4) == Le32(0x10000003);
        }))
      return false;
    m_rawClient = static_cast<int>(
        qibo::GetLE32(reinterpret_cast<const uint8_t*>(raw.Packets().back().second.data()) + 4));
    raw.Packets().clear();
    return true;
  }

  // What the raw peer received in the next frame.
  std::vector<std::string> NextFrameAt(RawPeer& raw) {
    Frame();
    usleep(2000);
    raw.Poll();
    std::vector<std::string> packets;
    for (auto& [peer, bytes] : raw.Packets()) packets.push_back(bytes);
    raw.Packets().clear();
    return packets;
  }

  DefNetworkManager* m_host = nullptr;
  DefNetworkManager* m_joiner = nullptr;
  uint16_t m_port = 0;
  int m_rawClient = -1;
};

Vector3 PositionOf(CTStreamed* object) {
  auto* entity = qibo::Cast<CTEntity>(object);
  return entity ? entity->GetTransform().GetPosition() : Vector3(-999, -999, -999);
}

}  // namespace

TEST_F(NetworkSessionTest, Joining_GivesEachCopyItsOwnClientIdSoIdsNeverCollide) {
  SetUpSession();
  DefNetworkManager* second = MakePeer();
  ASSERT_TRUE(Join(second, m_port));

  EXPECT_TRUE(m_host->IsHosting());
  EXPECT_TRUE(m_host->IsMasterCopy());
  EXPECT_EQ(m_host->GetClientID(), 0);
  for (DefNetworkManager* joiner : {m_joiner, second}) {
    EXPECT_TRUE(joiner->IsNetworkGame());
    EXPECT_FALSE(joiner->IsHosting());
    EXPECT_FALSE(joiner->IsMasterCopy());
  }
  EXPECT_EQ(m_joiner->GetClientID(), 1);
  EXPECT_EQ(second->GetClientID(), 2);
  // Every copy learns who is in the session.
  EXPECT_TRUE(RunUntil([&] { return m_joiner->GetClientCount() == 3 && second->GetClientCount() == 3; }));
  EXPECT_EQ(m_host->GetClientCount(), 3);

  // Each copy's first ID is built from 100, and from its client ID.
  const uint32_t ids[] = {m_host->RequestNetworkID(), m_joiner->RequestNetworkID(),
                          second->RequestNetworkID()};
  EXPECT_EQ(ids[0], 100u << 8 | 0);
  EXPECT_EQ(ids[1], 100u << 8 | 1);
  EXPECT_EQ(ids[2], 100u << 8 | 2);
  EXPECT_EQ(m_host->GetNextNetID(), 101u);
}

// Others see this user on this computer unless the program names them.
TEST_F(NetworkSessionTest, Names_DefaultToTheUserAndTheComputer) {
  m_host = MakePeer();
  char computer[256] = {};
  ASSERT_EQ(gethostname(computer, sizeof(computer) - 1), 0);
  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  EXPECT_STREQ(m_host->GetPropertyByName("ClientName").ToString().c_str(), user->pw_name);
  EXPECT_STREQ(m_host->GetPropertyByName("SessionName").ToString().c_str(), computer);
}

TEST_F(NetworkSessionTest, EnumSessions_FindsTheHostByLoopbackBroadcast) {
  m_host = MakePeer();
  m_host->SetSessionName("Broadcast test session");
  ASSERT_NE(Host(m_host), 0);
  m_joiner = MakePeer();
  m_joiner->EnumSessions();
  ASSERT_TRUE(RunUntil([&] { return m_joiner->GetSessionCount() > 0; }));
  char name[256] = {};
  int copies = 0, capacity = 0;
  ASSERT_TRUE(m_joiner->GetSessionInfo(0, name, &copies, &capacity));
  EXPECT_STREQ(name, "Broadcast test session");
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(capacity, 32);
  EXPECT_FALSE(m_joiner->GetSessionInfo(1, name, &copies, &capacity));

  ASSERT_TRUE(m_joiner->JoinSession(0));
  ASSERT_TRUE(RunUntil([&] { return m_joiner->GetClientID() == 1; }));
  // Asked again, the host counts the joiner.
  DefNetworkManager* watcher = MakePeer();
  watcher->EnumSessions();
  ASSERT_TRUE(RunUntil([&] { return watcher->GetSessionCount() > 0; }));
  ASSERT_TRUE(watcher->GetSessionInfo(0, name, &copies, &capacity));
  EXPECT_EQ(copies, 2);
}

// A change sent in one frame is at every other copy after that copy's next
// frame: from the host directly, from a joiner through the host.
TEST_F(NetworkSessionTest, ObjectStreams_ReachEveryOtherCopyInTheNextFrame) {
  SetUpSession();
  DefNetworkManager* second = MakePeer();
  ASSERT_TRUE(Join(second, m_port));
  CTEntity* box = MakeShared(m_host, "host box");
  CTEntity* ball = MakeShared(m_joiner, "joiner ball");
  box->MoveTo(Vector3(1, 2, 3));
  ball->MoveTo(Vector3(-1, 0, 7));

  m_host->SendNetworkStream(box, 34);
  m_joiner->SendNetworkStream(ball, 34);
  Frame();  // host sends, joiners receive; the joiner sends
  Frame();  // the host receives and passes on; the second joiner receives
  for (DefNetworkManager* peer : {m_joiner, second}) {
    CTStreamed* copy = peer->FindNetworkObject(box->GetNetID());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, box);
    EXPECT_STREQ(static_cast<CTNamed*>(copy)->GetName(), "host box");
    EXPECT_EQ(PositionOf(copy), Vector3(1, 2, 3));
  }
  for (DefNetworkManager* peer : {m_host, second})
    EXPECT_EQ(PositionOf(peer->FindNetworkObject(ball->GetNetID())), Vector3(-1, 0, 7));

  // A property change: the next frame has it.
  box->MoveTo(Vector3(4, 5, 6));
  m_host->SendNetworkStream(box, 34);
  Frame();
  EXPECT_EQ(PositionOf(m_joiner->FindNetworkObject(box->GetNetID())), Vector3(4, 5, 6));
  // The owner's copy is the truth: the host's echo of the ball does not
  // move the joiner's own.
  ball->MoveTo(Vector3(9, 9, 9));
  m_host->SendNetworkStream(m_host->FindNetworkObject(ball->GetNetID()), 34);
  Frame();
  EXPECT_EQ(PositionOf(ball), Vector3(9, 9, 9));
  EXPECT_EQ(m_joiner->GetCopyCount(), 1);
}

// Messages and data reach the receiving copy's OnMessage (a rename, here):
// a message's value as a pointer to a copy of its bytes, data as a copy
// that ends in a NUL, never a pointer the sender chose.
TEST_F(NetworkSessionTest, MessagesAndData_ReachTheCopyAtTheOtherPeer) {
  SetUpSession();
  CTEntity* box = MakeShared(m_host, "host box");
  m_host->SendNetworkStream(box, 34);
  Frame();
  auto* copy = qibo::Cast<CTNamed>(m_joiner->FindNetworkObject(box->GetNetID()));
  ASSERT_NE(copy, nullptr);

  char text[] = {'d', 'a', 't', 'a', '!'};  // no NUL of its own
  ASSERT_TRUE(m_host->SendNetworkData(box->GetNetID(), kMsgRename, text, 4));
  Frame();
  EXPECT_STREQ(copy->GetName(), "data");

  ASSERT_TRUE(m_host->SendNetworkMessage(box->GetNetID(), kMsgRename, 0x00636261));  // "abc"
  Frame();
  EXPECT_STREQ(copy->GetName(), "abc");
}

TEST_F(NetworkSessionTest, Frame_SendsOnePacketPerKindAndNothingWhenIdle) {
  m_host = MakePeer();
  m_port = Host(m_host);
  RawPeer raw;
  ASSERT_TRUE(JoinRaw(raw));
  CTEntity* first = MakeShared(m_host, "first");
  CTEntity* second = MakeShared(m_host, "second");
  EXPECT_TRUE(NextFrameAt(raw).empty());

  m_host->SendNetworkStream(first, 34);
  m_host->SendNetworkStream(second, 34);
  std::vector<std::string> packets = NextFrameAt(raw);
  ASSERT_EQ(packets.size(), 1u);
  NetworkStream reader;
  ASSERT_TRUE(reader.Read(packets[0].data(), static_cast<int>(packets[0].size())));
  EXPECT_EQ(reader.GetObjectCount(), 2);

  // Data of no bytes queues nothing; messages and data travel as records.
  uint8_t bytes[3] = {'a', 'b', 'c'};
  EXPECT_TRUE(m_host->SendNetworkData(first->GetNetID(), 5, bytes, 0));
  EXPECT_TRUE(NextFrameAt(raw).empty());
  m_host->SendNetworkMessage(first->GetNetID(), 300, -2);
  m_host->SendNetworkMessage(second->GetNetID(), 301, 7);
  m_host->SendNetworkData(second->GetNetID(), 5, bytes, 3);
  packets = NextFrameAt(raw);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0],
            Packet({0x21000004, 2, first->GetNetID(), 300, 0xFFFFFFFE, second->GetNetID(), 301, 7}));
  EXPECT_EQ(packets[1], Packet({0x21000005, 1, second->GetNetID(), 5, 3}) + "abc");
}

TEST_F(NetworkSessionTest, UnknownId_IsAnsweredWithARequestWhichTheOwnerAnswersWithTheObject) {
  SetUpSession();
  RawPeer raw;
  ASSERT_TRUE(JoinRaw(raw));
  const uint32_t unknown = 500u << 8 | static_cast<uint32_t>(m_rawClient);
  ASSERT_TRUE(raw.Send(Packet({0x21000004, 1, unknown, 7, 9})));
  ASSERT_TRUE(RunUntil([&] {
    raw.Poll();
    return !raw.Packets().empty();
  }));
  EXPECT_EQ(raw.Packets()[0].second, Packet({0x21000007, unknown}));

  // Between managers: the joiner's message names an object the host never
  // saw; the host asks, the joiner streams it.
  CTEntity* ball = MakeShared(m_joiner, "unsent ball");
  m_joiner->SendNetworkMessage(ball->GetNetID(), 300, 1);
  EXPECT_TRUE(RunUntil([&] { return m_host->FindNetworkObject(ball->GetNetID()) != nullptr; }));
}

TEST_F(NetworkSessionTest, CloseSession_ResetsClientIdNextNetIdAndMastery) {
  SetUpSession();
  for (DefNetworkManager* peer : {m_joiner, m_host}) {
    peer->RequestNetworkID();
    peer->RequestNetworkID();
    EXPECT_EQ(peer->GetNextNetID(), 102u);
    EXPECT_TRUE(peer->CloseSession());
    EXPECT_EQ(peer->GetClientID(), 255);
    EXPECT_EQ(peer->GetNextNetID(), 100u);
    EXPECT_TRUE(peer->IsMasterCopy());
    EXPECT_FALSE(peer->IsNetworkGame());
    EXPECT_FALSE(peer->IsHosting());
    EXPECT_EQ(peer->GetClientCount(), 0);
  }
}

TEST_F(NetworkSessionTest, Leaving_FreesTheClientIdAndTheHostLeavingEndsTheSession) {
  SetUpSession();
  DefNetworkManager* second = MakePeer();
  ASSERT_TRUE(Join(second, m_port));
  ASSERT_TRUE(RunUntil([&] { return m_joiner->GetClientCount() == 3; }));

  second->CloseSession();
  EXPECT_TRUE(RunUntil([&] { return m_host->GetClientCount() == 2 && m_joiner->GetClientCount() == 2; }));
  // The next copy to join gets the freed ID.
  DefNetworkManager* third = MakePeer();
  ASSERT_TRUE(Join(third, m_port));
  EXPECT_EQ(third->GetClientID(), 2);

  m_host->CloseSession();
  EXPECT_TRUE(RunUntil([&] { return !m_joiner->IsNetworkGame() && !third->IsNetworkGame(); }));
  EXPECT_EQ(CountLogged("Network connection to host lost"), 2);
  EXPECT_EQ(m_joiner->GetClientID(), 255);
  EXPECT_TRUE(m_joiner->IsMasterCopy());
}
