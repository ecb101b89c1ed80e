#pragma once

#include <cstdint>

namespace qibo {

// Class IDs are the CRC-32 (zlib's: reflected 0xEDB88320, initial value and
// final XOR 0xFFFFFFFF) of the upper-case class name. They are written into
// streams and package files, so they never change. consteval: an ID is always
// a compile-time constant, never computed from a name at run time.
consteval uint32_t ClassId(const char* name) {
  uint32_t crc = 0xFFFFFFFFu;
  for (; *name != '\0'; ++name) {
    char c = *name;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

}  // namespace qibo
