#include <cstdint>
#include <cstdio>

#include "tools/qibo/Commands.h"

namespace qibo::tool {

namespace {

void Escape(std::string& out, unsigned char byte) {
  char hex[5];
  snprintf(hex, sizeof(hex), "\\x%02X", byte);
  out += hex;
}

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(std::string_view text, size_t i, uint32_t& codePoint) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    codePoint = codePoint << 6 | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < smallest[length] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
    return 0;
  return length;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    uint32_t codePoint = 0;
    const size_t length = c >= 0x80 ? Utf8Length(text, i, codePoint) : 0;
    if (length > 0 && codePoint >= 0xA0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      Escape(out, c);  // a control character, C1 included, or a stray byte
      ++i;
    }
  }
  return out;
}

}  // namespace qibo::tool
