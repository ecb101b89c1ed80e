#pragma once

#include <cstdint>

#include "core/persist/QIBO_Stream.h"

// A chunk stream in a caller's buffer, which the caller owns and keeps
// alive for the phase. Strings are length-prefixed.
//
// Writing never goes past the capacity given to CreateStream: a block that
// does not fit is dropped whole and the position stays; CloseStream then
// answers false, as the image is incomplete. Reading never goes past the
// size given to Read.
class MemoryStream : public QIBO_Stream {
 public:
  MemoryStream() = default;
  ~MemoryStream() override;

  // Begins a write phase into size bytes at buffer. False if not idle, for
  // a null buffer or a size below 1.
  bool CreateStream(void* buffer, int size);
  // Ends the write phase. False if not writing or if a write was dropped.
  bool CloseStream();
  // Reads the size bytes at data (a whole stream image).
  bool Read(const void* data, int size) { return ReadSendDataTo(data, size, nullptr); }
  bool ReadSendDataTo(const void* data, int size, CTStreamed* target);

  // Whether a write of this phase (or of the last one) did not fit.
  bool HasOverflowed() const { return m_overflowed; }

  void ReadBlock(void* data, int size) override;
  void WriteBlock(const void* data, int size) override;
  void SeekBy(int n) override;
  uint32_t GetPos() override { return m_pos; }

 private:
  uint8_t* m_writeData = nullptr;       // buffer being written
  const uint8_t* m_readData = nullptr;  // buffer being read
  uint32_t m_capacity = 0;              // bytes of m_writeData, or of m_readData
  uint32_t m_pos = 0;
  bool m_overflowed = false;
};
