#include "core/persist/MemoryStream.h"

#include <cstring>

MemoryStream::~MemoryStream() {
  if (IsWriting()) CloseStream();
}

bool MemoryStream::CreateStream(void* buffer, int size) {
  if (!IsIdle() || !buffer || size < 1) return false;
  m_writeData = static_cast<uint8_t*>(buffer);
  m_readData = nullptr;
  m_capacity = static_cast<uint32_t>(size);
  m_pos = 0;
  m_overflowed = false;
  return StartStream();
}

bool MemoryStream::CloseStream() {
  if (!IsWriting()) return false;
  EndStream();
  m_writeData = nullptr;
  return !m_overflowed;
}

bool MemoryStream::ReadSendDataTo(const void* data, int size, CTStreamed* target) {
  if (!IsIdle() || !data || size < 0) return false;
  m_readData = static_cast<const uint8_t*>(data);
  m_writeData = nullptr;
  m_capacity = static_cast<uint32_t>(size);
  m_pos = 0;
  const bool ok = Process(target, m_capacity);
  m_readData = nullptr;
  m_capacity = 0;
  m_pos = 0;
  return ok;
}

void MemoryStream::ReadBlock(void* data, int size) { ReadFromBuffer(m_readData, m_pos, data, size); }

void MemoryStream::WriteBlock(const void* data, int size) {
  if (!IsWriting() || !data || size <= 0) return;
  if (static_cast<uint32_t>(size) > m_capacity - m_pos) {
    m_overflowed = true;  // dropped whole
    return;
  }
  memcpy(m_writeData + m_pos, data, static_cast<size_t>(size));
  m_pos += static_cast<uint32_t>(size);
}

void MemoryStream::SeekBy(int n) { SeekInBuffer(m_pos, n, m_capacity); }
