#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace qibo {

// Bounds-checked little-endian reads over a byte range. The first read that
// would pass the end sets a sticky failure flag; it and every later read
// yield zeros, so a parser can read a whole record and test Ok() once.
class LeReader {
 public:
  LeReader(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(size) {}

  uint32_t U32() {
    uint8_t b[4] = {};
    Bytes(b, 4);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  }
  void Bytes(void* out, size_t n) {
    if (!m_ok || n > m_size - m_pos) {
      m_ok = false;
      memset(out, 0, n);
      return;
    }
    memcpy(out, m_data + m_pos, n);
    m_pos += n;
  }
  bool Ok() const { return m_ok; }
  size_t Position() const { return m_pos; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
  bool m_ok = true;
};

// Little-endian appends to a byte string.
inline void PutU32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace qibo
