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

// All channel planes (channel after channel, bottom line first) from the
// offset and length tables; lines sharing a start offset are decoded once.
bool DecodeRunLength(const uint8_t* data, size_t size, const SgiHeader& h, std::vector<uint8_t>& planes,
                     std::string& why) {
  const size_t lines = static_cast<size_t>(h.height) * h.channels;
  const size_t tablesEnd = kHeaderSize + lines * 8;
  if (tablesEnd > size) {
    why = "SGI offset table runs past the end of the file: ";
    return false;
  }
  std::unordered_map<uint32_t, size_t> decoded;
  for (size_t i = 0; i < lines; ++i) {
    const uint32_t start = BE32(data + kHeaderSize + i * 4);
    const uint32_t length = BE32(data + kHeaderSize + lines * 4 + i * 4);
    uint8_t* line = planes.data() + i * h.width;
    if (start < tablesEnd || start >= size || length > size - start) {
      why = "SGI offset table points outside the scan-line data: ";
      return false;
    }
    const auto [it, isNew] = decoded.try_emplace(start, i);
    if (!isNew) {
      memcpy(line, planes.data() + it->second * h.width, h.width);
    } else if (!DecodeLine(data, start, start + length, line, h.width)) {
      why = "SGI run-length scan line runs past its data or the picture: ";
      return false;
    }
  }
  return true;
}

void Compose(const std::vector<uint8_t>& planes, const SgiHeader& h, LFB& lfb) {
  const size_t plane = static_cast<size_t>(h.width) * h.height;
  for (int y = 0; y < h.height; ++y) {
    uint32_t* row = lfb.GetRow(h.height - 1 - y);
    const uint8_t* c0 = planes.data() + static_cast<size_t>(y) * h.width;
    for (int x = 0; x < h.width; ++x) {
      if (h.channels == 1) {
        row[x] = 0xFF000000u | c0[x] * 0x010101u;
        continue;
      }
      const uint32_t a = h.channels == 4 ? c0[x + 3 * plane] : 0xFFu;
      row[x] = a << 24 | uint32_t{c0[x]} << 16 | uint32_t{c0[x + plane]} << 8 | c0[x + 2 * plane];
    }
  }
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
  std::vector<uint8_t> planes;
  if (h.runLength) {
    planes.assign(planeBytes, 0);
    if (!DecodeRunLength(data, size, h, planes, why)) return false;
  } else {
    planes.assign(data + kHeaderSize, data + kHeaderSize + planeBytes);
  }
  Compose(planes, h, *result.lfb);
  result.lfb->SetColor(h.channels != 1);
  result.lfb->SetHasAlpha(h.channels == 4);
  result.alphaDepth = h.channels == 4 ? 8 : 0;
  result.colorDepth = 8;
  picture = std::move(result);
  return true;
}

}  // namespace qibo::io
