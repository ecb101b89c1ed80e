#pragma once

#include <cstdint>
#include <vector>

#include "core/persist/QIBO_Stream.h"

// A chunk stream in a growing buffer of its own, sent over the network;
// received packets are read from the caller's buffer like a MemoryStream.
// Strings are length-prefixed. The object header is the class ID and the
// object's network ID: a reader applies the chunks to its own copy of that
// object (creating it when it has none).
//
// Packets come from other programs: only classes marked safe to receive are
// created from them, and include chunks are never followed.
class NetworkStream : public QIBO_Stream {
 public:
  // The side that reads a peer's packet: it decides, for each object the
  // packet names, whether that peer may make or change it, keeps the copies
  // the packet makes, and hears of everything wrong with the packet.
  class Receiver {
   public:
    enum class Verdict {
      kRead,    // apply the object's chunks
      kSkip,    // pass over this object, read on
      kRefuse,  // the packet goes no further
    };
    // For each object header; exists: the network table has that ID.
    virtual Verdict Admit(uint32_t classId, uint32_t netId, bool exists) = 0;
    // A copy the packet made, entered in the table under its network ID.
    virtual void Adopt(CTStreamed* copy) = 0;
    // The packet names a class that may not be received; the read ends.
    virtual void Refused(const ClassDesc& cd) = 0;
    // Everything else the reader found wrong.
    virtual void Warn(const char* text) = 0;

   protected:
    ~Receiver() = default;
  };

  NetworkStream() = default;
  ~NetworkStream() override;

  // Empties the buffer and begins a write phase. False if not idle.
  bool CreateStream();
  bool CloseStream();
  // The bytes written so far (GetPos() of them after CloseStream); valid
  // until the next write.
  const uint8_t* GetData() const { return m_buffer.data(); }
  uint32_t GetSize() const { return static_cast<uint32_t>(m_buffer.size()); }

  bool Read(const void* data, int size) { return ReadSendDataTo(data, size, nullptr); }
  bool ReadSendDataTo(const void* data, int size, CTStreamed* target);
  // Reads a peer's packet for receiver; a refusal ends the read there.
  bool ReadFrom(const void* data, int size, Receiver* receiver);

  Ref<CTStreamed> ProcessObjectChunkHeader() override;
  void WriteObjectChunkHeader(CTStreamed* object) override;

  void ReadBlock(void* data, int size) override;
  void WriteBlock(const void* data, int size) override;
  void SeekBy(int n) override;
  uint32_t GetPos() override { return m_pos; }

 protected:
  bool MayCreate(const ClassDesc& cd) const override { return cd.SafeToReceive(); }
  bool FollowsIncludes() const override { return false; }
  void OnReadWarning(const char* text) override;

 private:
  std::vector<uint8_t> m_buffer;        // written data
  const uint8_t* m_readData = nullptr;  // packet being read
  uint32_t m_readSize = 0;
  uint32_t m_pos = 0;
  Receiver* m_receiver = nullptr;  // while ReadFrom reads
};
