// SGI (.sgi, .rgb, .rgba, .int) pictures, one byte per channel. The 512-byte
// header, big-endian:
//   0  u16  magic 474          2  u8  storage (1 = run-length)
//   3  u8   bytes per channel  4  u16 dimension (2 or 3)
//   6  u16  x size             8  u16 y size        10  u16 channels (1, 3, 4)
// Verbatim data follows the header channel after channel, each scan line
// x size bytes, bottom line first. Run-length files have a table of
// y size x channels start offsets and one of lengths (u32 each) after the
// header; each scan line is packets: count = b & 0x7F (0 ends the line),
// bit 7 set: count literal bytes follow, else one byte repeated count times.
// Every message ends in ": ", for the importer to add the file name.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "plugins/io/PictureCodec.h"

namespace qibo::io {

namespace {

constexpr size_t kHeaderSize = 512;
constexpr int kMagic = 474;

struct SgiHeader {
  bool runLength = false;
  int width = 0;
  int height = 0;
  int channels = 0;
};

uint32_t BE16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }
uint32_t BE32(const uint8_t* p) { return BE16(p) << 16 | BE16(p + 2); }

bool ReadHeader(const uint8_t* data, size_t size, SgiHeader& h, std::string& why) {
  if (size < kHeaderSize || BE16(data) != kMagic) {
    why = "Not a valid SGI file: ";
    return false;
  }
  const uint32_t dimension = BE16(data + 4);
  h.runLength = data[2] == 1;
  h.width = static_cast<int>(BE16(data + 6));
  h.height = static_cast<int>(BE16(data + 8));
  h.channels = static_cast<int>(BE16(data + 10));
  if (dimension != 2 && dimension != 3) {
    why = "Unsupported SGI dimension: ";
  } else if (data[3] != 1) {
    why = "Unsupported BPC: ";
  } else if (h.channels != 1 && h.channels != 3 && h.channels != 4) {
    why = "Unsupported number of channels: ";
  } else if (h.width < 1 || h.height < 1) {
    why = "SGI picture size is out of range: ";
  }
  return why.empty();
}

// One run-length scan line from data[start, end) into line (width bytes);
// the rest of a line that ends early stays 0.
bool DecodeLine(const uint8_t* data, size_t start, size_t end, uint8_t* line, size_t width) {
  size_t at = start;
  size_t x = 0;
  while (at < end) {
    const uint8_t b = data[at++];
    const size_t count = b & 0x7Fu;
    if (count == 0) return true;
    if (count > width - x) return false;
    if (b & 0x80) {
      if (count > end - at) return false;
      memcpy(line + x, data + at, count);
      at += count;
    } else {
      if (at >= end) return false;
      memset(line + x, data[at++], count);
    }
    x += count;
  }
  return x == width;  // a full line needs no end marker
}

// Channel c of a picture with `channels` channels sits at this bit of the
// 0xAARRGGBB pixel: red, green, blue, alpha; a single channel is grey.
int ChannelShift(int channel) {
  static constexpr int kShifts[4] = {16, 8, 0, 24};
  return kShifts[channel];
}

// Scan line y (bottom line first) of channel c goes straight into the
// picture: no plane is kept beside it, so decoding needs no more memory
// than the picture itself.
void PutLine(LFB& lfb, const SgiHeader& h, int c, int y, const uint8_t* line) {
  uint32_t* row = lfb.GetRow(h.height - 1 - y);
  if (h.channels == 1) {
    for (int x = 0; x < h.width; ++x) row[x] = 0xFF000000u | line[x] * 0x010101u;
    return;
  }
  const int shift = ChannelShift(c);
  const uint32_t keep = ~(0xFFu << shift);
  for (int x = 0; x < h.width; ++x) row[x] = (row[x] & keep) | uint32_t{line[x]} << shift;
}

// The scan line PutLine wrote, read back.
void GetLine(const LFB& lfb, const SgiHeader& h, int c, int y, uint8_t* line) {
  const uint32_t* row = lfb.GetRow(h.height - 1 - y);
  const int shift = h.channels == 1 ? 0 : ChannelShift(c);
  for (int x = 0; x < h.width; ++x) line[x] = static_cast<uint8_t>(row[x] >> shift);
}

// Every scan line (channel after channel, bottom line first) from the
// offset and length tables; lines sharing a start offset are decoded once
// and copied from the picture.
bool DecodeRunLength(const uint8_t* data, size_t size, const SgiHeader& h, LFB& lfb, std::string& why) {
  const size_t lines = static_cast<size_t>(h.height) * h.channels;
  const size_t tablesEnd = kHeaderSize + lines * 8;
  if (tablesEnd > size) {
    why = "SGI offset table runs past the end of the file: ";
    return false;
  }
  std::vector<uint8_t> line(static_cast<size_t>(h.width));
  std::unordered_map<uint32_t, size_t> decoded;
  for (size_t i = 0; i < lines; ++i) {
    const uint32_t start = BE32(data + kHeaderSize + i * 4);
    const uint32_t length = BE32(data + kHeaderSize + lines * 4 + i * 4);
    if (start < tablesEnd || start >= size || length > size - start) {
      why = "SGI offset table points outside the scan-line data: ";
      return false;
    }
    const auto [it, isNew] = decoded.try_emplace(start, i);
    if (!isNew) {
      GetLine(lfb, h, static_cast<int>(it->second / h.height), static_cast<int>(it->second % h.height),
              line.data());
    } else {
      std::fill(line.begin(), line.end(), uint8_t{0});
      if (!DecodeLine(data, start, start + length, line.data(), h.width)) {
        why = "SGI run-length scan line runs past its data or the picture: ";
        return false;
      }
    }
    PutLine(lfb, h, static_cast<int>(i / h.height), static_cast<int>(i % h.height), line.data());
  }
  return true;
}

}  // namespace

bool DecodeSGI(const uint8_t* data, size_t size, Picture& picture, std::string& why) {
  SgiHeader h;
  if (!ReadHeader(data, size, h, why)) return false;
  const size_t planeBytes = static_cast<size_t>(h.width) * h.height * h.channels;
  if (!h.runLength && planeBytes > size - kHeaderSize) {
    why = "SGI file is truncated: ";
    return false;
  }
  Picture result;
  if (!AllocPicture(result, h.width, h.height, why)) {
    why += ": ";
    return false;
  }
  LFB& lfb = *result.lfb;
  if (h.runLength) {
    if (!DecodeRunLength(data, size, h, lfb, why)) return false;
  } else {
    for (int c = 0; c < h.channels; ++c)
      for (int y = 0; y < h.height; ++y)
        PutLine(lfb, h, c, y, data + kHeaderSize + (static_cast<size_t>(c) * h.height + y) * h.width);
  }
  if (h.channels == 3)  // no alpha channel: opaque
    for (int y = 0; y < h.height; ++y)
      for (uint32_t* p = lfb.GetRow(y); p != lfb.GetRow(y) + h.width; ++p) *p |= 0xFF000000u;
  lfb.SetColor(h.channels != 1);
  lfb.SetHasAlpha(h.channels == 4);
  result.alphaDepth = h.channels == 4 ? 8 : 0;
  result.colorDepth = 8;
  picture = std::move(result);
  return true;
}

}  // namespace qibo::io
