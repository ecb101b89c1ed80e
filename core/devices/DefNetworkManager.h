#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/devices/CTNetwork.h"
#include "core/devices/CTNetworkManager.h"
#include "core/devices/DNetObjectTable.h"
#include "core/devices/DevicePtr.h"
#include "core/object/StepArray.h"
#include "core/persist/NetworkStream.h"

// The default network manager, over the first CTNetwork device the device
// manager can start.
//
// Network IDs are (NextNetID << 8) | client ID: the low byte names the copy
// that made the object (0 the host, 1..254 the clients, 255 a copy that had
// no client ID yet), so IDs from different copies never collide and a
// receiver knows whose object an ID names.
//
// Packets, each beginning with a 32-bit little-endian code:
//   0x10000001  int client ID, int peer   host -> all: a copy is in the
//               session under that client ID (peer: its transport ID; the
//               8-byte form without it is accepted too)
//   0x10000002  int client ID             host -> all: that copy left
//   0x10000003  int client ID             host -> one: the receiver's ID
//   0x21000001  -                         joiner -> host: stream everything
//   0x21000004  int count, count x (int net ID, int message, int value)
//   0x21000005  int count, count x (int net ID, int message, int size,
//               size bytes)
//   0x21000007  int net ID                stream me this object
//   "qibo"      the rest of a chunk stream of objects (NetworkStream)
//
// Packets come from strangers. A packet that is too short or too long for
// its code, has an unknown code, names an object its sender may not change
// (a client changes only its own objects; the host any but the receiver's
// own) or a class that may not travel, is dropped with a warning; a sender
// whose packets keep being dropped is disconnected (or, when it is the
// host, the session is left). Each peer may make a bounded number of
// objects here, and each frame handles a bounded number of events.
class DefNetworkManager : public CTNetworkManager {
  QIBO_CLASS(DefNetworkManager)

 public:
  static constexpr uint32_t kApplicationId = 0x0010F143;  // this class's ID
  static constexpr uint32_t kAddClient = 0x10000001;
  static constexpr uint32_t kRemoveClient = 0x10000002;
  static constexpr uint32_t kYourClientId = 0x10000003;
  static constexpr uint32_t kSendEverything = 0x21000001;
  static constexpr uint32_t kMessages = 0x21000004;
  static constexpr uint32_t kData = 0x21000005;
  static constexpr uint32_t kWantStream = 0x21000007;
  static constexpr uint32_t kStreamLevel = 34;
  static constexpr uint32_t kFirstNetId = 100;
  static constexpr int kNoClient = 255;

  // Limits against floods.
  static constexpr int kMaxPacketSize = 4 << 20;    // larger packets are dropped
  static constexpr int kSplitSize = 1 << 20;        // a batch or stream this large goes out at once
  static constexpr int kMaxEventsPerFrame = 4096;   // the rest wait for the next frame
  static constexpr int kMaxObjectsPerPeer = 65536;  // copies one peer may make here
  static constexpr int kMaxCopies = 262144;         // copies all peers together may make
  static constexpr int kMaxStrikes = 16;            // dropped packets per window before the cut
  static constexpr int32_t kStrikeWindowMs = 2000;
  static constexpr int kMaxRepliesPerPacket = 64;  // 0x21000007 answers to one packet
  static constexpr int kMaxWarningsPerWindow = 8;  // per peer; the rest are only counted

  DefNetworkManager();
  ~DefNetworkManager() override;

  void DoAddProperties() override;

  bool HostSession(int argument) override;
  bool JoinSession(int index) override;
  bool CloseSession() override;
  uint32_t RequestNetworkID() override;
  bool SendNetworkMessage(uint32_t id, int message, int32_t value) override;
  bool SendNetworkData(uint32_t id, int message, void* data, int size) override;
  bool SendNetworkStream(CTStreamed* object, uint32_t levelOfDetail) override;
  bool IsHosting() override { return m_hosting; }
  bool IsNetworkGame() override { return m_networkGame; }
  bool IsPending() override { return m_pending; }
  uint32_t AddNetworkObject(CTStreamed* object) override;
  CTStreamed* FindNetworkObject(uint32_t id) override { return m_table.Find(id); }
  void RemoveNetworkObject(CTStreamed* object) override { m_table.Remove(object, false); }
  int GetSessionCount() override;
  bool GetSessionInfo(int index, char* name, int* count1, int* count2) override;
  int EnumSessions() override;
  void SetSessionName(const char* name) override { m_sessionName = name ? name : ""; }
  void SetClientName(const char* name) override { m_clientName = name ? name : ""; }
  CTNetwork* GetNetworkDevice() override;
  bool HasNetworkObject(const CTStreamed* object) override { return m_table.Contains(object); }
  void ForgetNetworkObject(CTStreamed* object) override { m_table.Remove(object, true); }

  // The frame's work while in a session: sends what the frame queued, then
  // dispatches what arrived.
  void Update(int32_t elapsed);

  int GetClientID() const { return m_clientId; }
  uint32_t GetNextNetID() const { return m_nextNetId; }
  int GetObjectCount() const { return m_table.Count(); }
  // The network objects in the order they were entered; null out of range.
  CTStreamed* GetObjectNo(int index) const { return m_table.At(index); }
  int GetCopyCount() const { return m_table.AdoptedCount(); }
  int GetClientCount() const { return m_clients.Count(); }
  // The client ID of the copy behind a transport peer, -1 when unknown.
  int ClientOf(int peer) const;

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  struct Client {
    int id;
    int peer;  // the transport's identifier; 0 when the host did not say
  };
  // What a peer has done lately.
  struct PeerRecord {
    int strikes = 0;   // packets dropped in this window
    int warnings = 0;  // warnings logged in this window
    bool cut = false;  // nothing more is taken from it
    bool servedEverything = false;
  };
  class PacketReader;

  CTNetwork* ObtainDevice();
  void BeginSession(bool hosting);
  void ResetOutgoing();
  void ResetBatch(std::vector<uint8_t>& batch, uint32_t code);
  // Sends a batch that holds records, and empties it.
  void FlushBatch(std::vector<uint8_t>& batch, uint32_t code);
  void FlushStream();
  void Flush();
  bool SendAll(const void* data, size_t size);

  // Receiving (DefNetworkManager_Receive.cpp).
  void ReceiveAll();
  void ProcessPacket(int peer, const uint8_t* data, int size);
  // False when the session ended.
  bool HandleEvent(NetEvent& event);
  void AddPeer(int peer);
  void RemovePeer(int peer);
  void ReceiveClientPacket(int peer, uint32_t code, const uint8_t* data, int size);
  void ReceiveMessages(int peer, const uint8_t* data, int size);
  void ReceiveData(int peer, const uint8_t* data, int size);
  void ReceiveWantStream(int peer, const uint8_t* data, int size);
  void ReceiveSendEverything(int peer, int size);
  void ReceiveStream(int peer, const uint8_t* data, int size);
  // Answers 0x21000007 for an ID the sender named but nobody here has.
  void AskForStream(int peer, uint32_t id, int& replies);
  void Deliver(uint32_t id, int message, void* data);
  bool FromHost(int peer);
  // Whether the object behind id is this copy's own.
  bool IsOwn(uint32_t id) const;
  // Whether peer may change the object behind id.
  bool MayChange(int peer, uint32_t id);
  PeerRecord& Record(int peer);
  // Drops a packet: the warning (unless the peer has had its share), and a
  // strike, which may cut the peer off.
  void Drop(int peer, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void Strike(int peer);
  void AgeRecords(int32_t elapsed);

  int m_streamCount = 0;
  std::unique_ptr<NetworkStream> m_stream;
  std::vector<uint8_t> m_messageBatch;
  std::vector<uint8_t> m_dataBatch;
  DevicePtr<CTNetwork> m_device;
  uint32_t m_nextNetId = kFirstNetId;
  DNetObjectTable m_table;
  qibo::StepArray<Client> m_clients;
  int m_clientId = kNoClient;
  bool m_hosting = false;
  bool m_networkGame = false;
  bool m_pending = false;
  QIBO_String m_clientName = "DummyClient";
  QIBO_String m_sessionName = "DummySession";

  NetEvent m_event;                             // reused by every Receive
  std::vector<uint8_t> m_scratch;               // a data record with its NUL
  std::unordered_map<int, PeerRecord> m_peers;  // peers heard from in this session
  int32_t m_windowElapsed = 0;
  bool m_updating = false;  // the frame's update is queued
};
