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

  Ref<CTStreamed> ProcessObjectChunkHeader() override;
  void WriteObjectChunkHeader(CTStreamed* object) override;

  void ReadBlock(void* data, int size) override;
  void WriteBlock(const void* data, int size) override;
  void SeekBy(int n) override;
  uint32_t GetPos() override { return m_pos; }

 protected:
  bool MayCreate(const ClassDesc& cd) const override { return cd.SafeToReceive(); }
  bool FollowsIncludes() const override { return false; }

 private:
  std::vector<uint8_t> m_buffer;        // written data
  const uint8_t* m_readData = nullptr;  // packet being read
  uint32_t m_readSize = 0;
  uint32_t m_pos = 0;
};
