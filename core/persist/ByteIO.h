#pragma once

// Little-endian byte helpers for the engine's binary formats. Values are
// assembled byte by byte, so the code reads the same on any host; the
// compiler turns each into a single load or store on x86-64.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qibo {

inline void PutLE32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
  out[2] = static_cast<uint8_t>(v >> 16);
  out[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t GetLE32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 | static_cast<uint32_t>(in[2]) << 16 |
         static_cast<uint32_t>(in[3]) << 24;
}

inline void PutLE64(uint8_t* out, uint64_t v) {
  PutLE32(out, static_cast<uint32_t>(v));
  PutLE32(out + 4, static_cast<uint32_t>(v >> 32));
}

inline uint64_t GetLE64(const uint8_t* in) {
  return static_cast<uint64_t>(GetLE32(in)) | static_cast<uint64_t>(GetLE32(in + 4)) << 32;
}

inline void PutLEFloat(uint8_t* out, float v) { PutLE32(out, std::bit_cast<uint32_t>(v)); }
inline float GetLEFloat(const uint8_t* in) { return std::bit_cast<float>(GetLE32(in)); }

// Four ASCII characters as the 32-bit value they make when stored in this
// order: the chunk stream's "qibo" and "slod" tags.
consteval uint32_t FourCC(const char (&tag)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(tag[0])) | static_cast<uint32_t>(static_cast<uint8_t>(tag[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[3])) << 24;
}

// Reads a byte range front to back. Every read checks what is left; the
// first one that does not fit sets the sticky error flag, after which all
// reads answer 0 and move nothing.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}

  bool Ok() const { return m_ok; }
  size_t Pos() const { return m_pos; }
  size_t Size() const { return m_size; }
  size_t Left() const { return m_size - m_pos; }

  uint32_t U32() {
    if (!Need(4)) return 0;
    const uint32_t v = GetLE32(m_data + m_pos);
    m_pos += 4;
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  uint8_t U8() {
    if (!Need(1)) return 0;
    return m_data[m_pos++];
  }
  // Bytes in place (null on failure); the reader moves past them.
  const uint8_t* Bytes(size_t n) {
    if (!Need(n)) return nullptr;
    const uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
  }
  // Moves to an absolute position inside the range; false (and the error
  // flag) outside it.
  bool Seek(size_t pos) {
    if (!m_ok || pos > m_size) return Fail();
    m_pos = pos;
    return true;
  }

 private:
  bool Need(size_t n) { return (m_ok && n <= m_size - m_pos) || Fail(); }
  bool Fail() {
    m_ok = false;
    return false;
  }

  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
  bool m_ok = true;
};

}  // namespace qibo
