// Targa (.tga) pictures, types 2 (true colour), 3 (grey) and their
// run-length forms 10 and 11. The 18-byte header, little-endian:
//   0  u8   length of the ID field that follows the header
//   1  u8   colour-map type (a map's bytes are skipped, never used)
//   2  u8   image type
//   5  u16  colour-map length     7  u8  colour-map entry bits
//  12  u16  width                14  u16 height
//  16  u8   bits per pixel (8, 16, 24, 32)
//  17  u8   descriptor: bits 0-3 alpha bits, bit 5 top-left origin
// Pixels are B, G, R(, A); 16-bit pixels are A1 R5 G5 B5 words.
#include <algorithm>
#include <cstring>

#include "core/object/ByteIO.h"
#include "plugins/io/PictureCodec.h"

namespace qibo::io {

namespace {

constexpr size_t kHeaderSize = 18;
constexpr uint8_t kTopLeft = 0x20;

struct TargaHeader {
  int type = 0;
  int width = 0;
  int height = 0;
  int bits = 0;
  int alphaBits = 0;
  bool topLeft = false;
};

uint32_t Widen5(uint32_t v) { return v << 3 | v >> 2; }

template <int Bytes>
uint32_t ReadPixel(const uint8_t* p, uint32_t alpha16) {
  if constexpr (Bytes == 1) {
    return 0xFF000000u | p[0] * 0x010101u;
  } else if constexpr (Bytes == 2) {
    const uint32_t w = p[0] | p[1] << 8;
    const uint32_t a = (w & 0x8000) ? 0xFF000000u : alpha16;
    return a | Widen5(w >> 10 & 31) << 16 | Widen5(w >> 5 & 31) << 8 | Widen5(w & 31);
  } else if constexpr (Bytes == 3) {
    return 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  } else {
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }
}

template <int Bytes>
bool ReadRaw(ByteReader& in, uint32_t* out, size_t count, uint32_t alpha16) {
  const uint8_t* p = in.Bytes(count * Bytes);
  if (!p) return false;
  for (size_t i = 0; i < count; ++i) out[i] = ReadPixel<Bytes>(p + i * Bytes, alpha16);
  return true;
}

// Packets may cross rows; none may run past the picture or the data.
template <int Bytes>
bool ReadRunLength(ByteReader& in, uint32_t* out, size_t count, uint32_t alpha16, std::string& why) {
  size_t done = 0;
  while (done < count) {
    const uint8_t h = in.U8();
    const size_t n = (h & 0x7Fu) + 1;
    if (!in.Ok()) break;
    if (n > count - done) {
      why = "Targa run-length packet runs past the picture";
      return false;
    }
    if (h & 0x80) {
      const uint8_t* p = in.Bytes(Bytes);
      if (!p) break;
      std::fill_n(out + done, n, ReadPixel<Bytes>(p, alpha16));
    } else if (!ReadRaw<Bytes>(in, out + done, n, alpha16)) {
      break;
    }
    done += n;
  }
  if (done == count) return true;
  why = "Targa run-length data runs past the end of the file";
  return false;
}

template <int Bytes>
bool ReadPixels(ByteReader& in, const TargaHeader& h, LFB& lfb, uint32_t alpha16, std::string& why) {
  const size_t count = static_cast<size_t>(h.width) * h.height;
  if (h.type > 8) return ReadRunLength<Bytes>(in, lfb.GetPixels(), count, alpha16, why);
  if (ReadRaw<Bytes>(in, lfb.GetPixels(), count, alpha16)) return true;
  why = "Targa file is truncated";
  return false;
}

bool ReadHeader(ByteReader& in, TargaHeader& h, std::string& why) {
  uint8_t b[kHeaderSize];
  if (!in.Bytes(b, kHeaderSize)) {
    why = "Targa file is truncated";
    return false;
  }
  h.type = b[2];
  h.width = b[12] | b[13] << 8;
  h.height = b[14] | b[15] << 8;
  h.bits = b[16];
  h.alphaBits = b[17] & 15;
  h.topLeft = (b[17] & kTopLeft) != 0;
  if (h.type == 1 || h.type == 9 || (h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)) {
    why = "Unsupported bit depth";
    return false;
  }
  if (h.type != 2 && h.type != 3 && h.type != 10 && h.type != 11) {
    why = "Unsupported Targa image type " + std::to_string(h.type);
    return false;
  }
  if (h.alphaBits > h.bits) {
    why = "Targa alpha bits exceed the pixel size";
    return false;
  }
  // The ID field, then any colour map, which true-colour pictures ignore.
  const size_t mapBytes = b[1] ? static_cast<size_t>(b[5] | b[6] << 8) * ((b[7] + 7u) / 8) : 0;
  if (!in.Skip(b[0]) || !in.Skip(mapBytes)) {
    why = "Targa file is truncated";
    return false;
  }
  return true;
}

}  // namespace

bool DecodeTarga(const uint8_t* data, size_t size, Picture& picture, std::string& why) {
  ByteReader in(data, size);
  TargaHeader h;
  if (!ReadHeader(in, h, why)) return false;
  const int bytes = h.bits / 8;
  const uint64_t pixels = uint64_t{static_cast<uint32_t>(h.width)} * static_cast<uint32_t>(h.height);
  // Each packet of at least 1 + bytes bytes gives at most 128 pixels.
  const uint64_t most = h.type > 8 ? uint64_t{in.Left()} / (1 + bytes) * 128 : in.Left() / bytes;
  if (pixels > most) {
    why = h.type > 8 ? "Targa run-length data runs past the end of the file" : "Targa file is truncated";
    return false;
  }
  Picture result;
  if (!AllocPicture(result, h.width, h.height, why)) return false;
  LFB& lfb = *result.lfb;
  const uint32_t alpha16 = h.alphaBits == 0 ? 0xFF000000u : 0;
  bool ok = false;
  switch (bytes) {
    case 1:
      ok = ReadPixels<1>(in, h, lfb, alpha16, why);
      break;
    case 2:
      ok = ReadPixels<2>(in, h, lfb, alpha16, why);
      break;
    case 3:
      ok = ReadPixels<3>(in, h, lfb, alpha16, why);
      break;
    default:
      ok = ReadPixels<4>(in, h, lfb, alpha16, why);
      break;
  }
  if (!ok) return false;
  if (!h.topLeft) FlipRows(lfb);
  lfb.SetColor(h.bits != 8);
  lfb.SetHasAlpha(h.bits == 32 || (h.bits == 16 && h.alphaBits > 0));
  result.colorDepth = (h.bits - h.alphaBits + 2) / 3;
  result.alphaDepth = lfb.HasAlpha() ? h.alphaBits : 0;
  picture = std::move(result);
  return true;
}

void EncodeTarga(const LFB& lfb, bool writeAlpha, std::vector<uint8_t>& out) {
  const bool grey = !lfb.IsColor();
  const int bits = grey ? 8 : (writeAlpha && lfb.HasAlpha()) ? 32 : 24;
  const int bytes = bits / 8;
  const int width = lfb.GetWidth();
  const int height = lfb.GetHeight();
  uint8_t header[kHeaderSize] = {};
  header[2] = grey ? 3 : 2;
  PutLE32(header + 12, static_cast<uint32_t>(width) | static_cast<uint32_t>(height) << 16);
  header[16] = static_cast<uint8_t>(bits);
  const size_t start = out.size();
  out.resize(start + kHeaderSize + static_cast<size_t>(width) * height * bytes);
  memcpy(out.data() + start, header, kHeaderSize);
  uint8_t* p = out.data() + start + kHeaderSize;
  for (int y = height - 1; y >= 0; --y) {
    const uint32_t* row = lfb.GetRow(y);
    for (int x = 0; x < width; ++x) {
      const uint32_t v = row[x];
      if (grey) {
        *p++ = static_cast<uint8_t>(v >> 16);
        continue;
      }
      *p++ = static_cast<uint8_t>(v);
      *p++ = static_cast<uint8_t>(v >> 8);
      *p++ = static_cast<uint8_t>(v >> 16);
      if (bytes == 4) *p++ = static_cast<uint8_t>(v >> 24);
    }
  }
}

}  // namespace qibo::io
