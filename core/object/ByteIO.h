#pragma once

// Little-endian byte helpers for every binary format of the engine and its
// tools: chunk streams, packages, pictures, music modules. Values are
// assembled byte by byte, so the code reads the same on any host; the
// compiler turns each into a single load or store on x86-64.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace qibo {

inline void PutLE32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
  out[2] = static_cast<uint8_t>(v >> 16);
  out[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t GetLE32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
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
  return static_cast<uint32_t>(static_cast<uint8_t>(tag[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(tag[3])) << 24;
}

// Reads a byte range front to back. Every read checks what is left; the
// first one that does not fit sets the sticky error flag, after which all
// reads answer 0 (or zero-filled bytes) and move nothing, so a parser can
// read a whole record and test Ok() once.
class ByteReader {
 public:
  ByteReader(const void* data, size_t size)
      : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0) {}

  bool Ok() const { return m_ok; }
  size_t Pos() const { return m_pos; }
  size_t Size() const { return m_size; }
  size_t Left() const { return m_size - m_pos; }

  uint8_t U8() {
    if (!Need(1)) return 0;
    return m_data[m_pos++];
  }
  uint16_t U16() {
    if (!Need(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(m_data[m_pos] | m_data[m_pos + 1] << 8);
    m_pos += 2;
    return v;
  }
  uint32_t U32() {
    if (!Need(4)) return 0;
    const uint32_t v = GetLE32(m_data + m_pos);
    m_pos += 4;
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32() { return std::bit_cast<float>(U32()); }
  // Bytes in place (null on failure); the reader moves past them.
  const uint8_t* Bytes(size_t n) {
    if (!Need(n)) return nullptr;
    const uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
  }
  // n bytes copied out; zeros when they do not fit.
  bool Bytes(void* out, size_t n) {
    const uint8_t* p = Bytes(n);
    if (p)
      memcpy(out, p, n);
    else
      memset(out, 0, n);
    return p != nullptr;
  }
  // Moves to an absolute position inside the range; false (and the error
  // flag) outside it.
  bool Seek(size_t pos) {
    if (!m_ok || pos > m_size) return Fail();
    m_pos = pos;
    return true;
  }
  bool Skip(size_t n) { return Bytes(n) != nullptr || n == 0; }

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

// Appends little-endian values to a byte image; the image grows as needed.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : m_out(out) {}

  size_t Size() const { return m_out.size(); }

  void U8(uint8_t v) { m_out.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    uint8_t b[4];
    PutLE32(b, v);
    Bytes(b, 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
  void Bytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    m_out.insert(m_out.end(), p, p + n);
  }
  // Exactly size bytes: the text cut or padded with pad.
  void Text(std::string_view text, size_t size, char pad = '\0') {
    for (size_t i = 0; i < size; ++i) U8(static_cast<uint8_t>(i < text.size() ? text[i] : pad));
  }
  void Zeros(size_t n) { m_out.insert(m_out.end(), n, 0); }
  // Overwrites a value written earlier (a size known only later).
  void PatchU16(size_t at, uint16_t v) {
    m_out[at] = static_cast<uint8_t>(v);
    m_out[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void PatchU32(size_t at, uint32_t v) { PutLE32(m_out.data() + at, v); }

 private:
  std::vector<uint8_t>& m_out;
};

}  // namespace qibo
