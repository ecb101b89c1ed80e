#pragma once

// Small pictures and picture files made byte by byte for the format tests
// (and, written out once, the fuzz targets' seeds).
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/render/base/LFB.h"
#include "plugins/io/PictureCodec.h"

namespace qibo::test {

using Bytes = std::vector<uint8_t>;
using Decoder = bool (*)(const uint8_t*, size_t, qibo::io::Picture&, std::string&);

// A picture whose every pixel differs from its neighbours.
inline LFB Gradient(int width, int height, bool alpha, bool grey) {
  LFB lfb(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t g = (x * 37 + y * 11) & 0xFF;
      const uint32_t a = alpha ? (x * 50 + y * 3) & 0xFF : 0xFF;
      lfb.SetPixel(
          x, y,
          grey ? a << 24 | g * 0x010101u : a << 24 | g << 16 | ((y * 29 + 3) & 0xFF) << 8 | (x ^ y) * 9);
    }
  lfb.SetHasAlpha(alpha);
  lfb.SetColor(!grey);
  return lfb;
}

// A picture of slow ramps, as photographs are (JPEG's kind of picture).
inline LFB Smooth(int width, int height, bool grey) {
  LFB lfb(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t r = 40 + x * 2, g = 60 + y * 3, b = 200 - x - y;
      lfb.SetPixel(x, y, 0xFF000000u | (grey ? g * 0x010101u : r << 16 | g << 8 | b));
    }
  lfb.SetColor(!grey);
  return lfb;
}

inline void BE16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
inline void BE32(Bytes& b, uint32_t v) {
  BE16(b, v >> 16);
  BE16(b, v & 0xFFFF);
}

inline Bytes Targa(int type, int width, int height, int bits, int descriptor, const Bytes& data) {
  Bytes b(18, 0);
  b[2] = uint8_t(type);
  b[12] = uint8_t(width), b[13] = uint8_t(width >> 8), b[14] = uint8_t(height), b[15] = uint8_t(height >> 8);
  b[16] = uint8_t(bits), b[17] = uint8_t(descriptor);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

inline Bytes SgiHeader(int storage, int bpc, int dimension, int width, int height, int channels) {
  Bytes b;
  BE16(b, 474);
  b.push_back(uint8_t(storage));
  b.push_back(uint8_t(bpc));
  BE16(b, dimension), BE16(b, width), BE16(b, height), BE16(b, channels);
  b.resize(512, 0);
  return b;
}

inline Bytes SgiVerbatim(int width, int height, int channels, const std::function<Bytes(int)>& plane) {
  Bytes b = SgiHeader(0, 1, 3, width, height, channels);
  for (int c = 0; c < channels; ++c) {
    const Bytes p = plane(c);
    b.insert(b.end(), p.begin(), p.end());
  }
  return b;
}

// Every scan line of every channel is the same line data at one offset.
inline Bytes SgiRun(int width, int height, int channels, const Bytes& line, int offset = -1) {
  Bytes b = SgiHeader(1, 1, 3, width, height, channels);
  const uint32_t lines = uint32_t(height * channels);
  const uint32_t start = offset >= 0 ? uint32_t(offset) : 512 + lines * 8;
  for (uint32_t i = 0; i < lines; ++i) BE32(b, start);
  for (uint32_t i = 0; i < lines; ++i) BE32(b, uint32_t(line.size()));
  b.insert(b.end(), line.begin(), line.end());
  return b;
}
inline Bytes SgiSharedRun(int width, int height, int channels) {
  return SgiRun(width, height, channels, {uint8_t(width), 1, 0});
}

inline Bytes Cel(int width, int height, int paletteEntry, const Bytes& indices) {
  Bytes b = {0x19, 0x91, uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8)};
  b.resize(32 + 768, 0);
  b[32 + paletteEntry * 3] = 0xFF;      // red 63 (the top bits ignored)
  b[32 + paletteEntry * 3 + 1] = 0x20;  // green 32
  b[32 + paletteEntry * 3 + 2] = 0x01;  // blue 1
  b.insert(b.end(), indices.begin(), indices.end());
  return b;
}

inline Bytes Tdf(const char* format, int lod, int a, int b, const Bytes& data) {
  char text[160];
  const int n =
      snprintf(text, sizeof text, "3df v1.1\n%s\nlod range: 1 %d\naspect ratio: %d %d\n", format, lod, a, b);
  Bytes out(text, text + n);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// A 24-bit bottom-up BMP with a 40-byte info header; rows padded to 4 bytes.
inline Bytes Bmp(int width, int height, const std::function<uint32_t(int, int)>& rgb) {
  const int stride = (width * 3 + 3) & ~3;
  Bytes b = {'B', 'M'};
  auto le32 = [&b](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  le32(uint32_t(54 + stride * height)), le32(0), le32(54);
  le32(40), le32(uint32_t(width)), le32(uint32_t(height));
  b.push_back(1), b.push_back(0), b.push_back(24), b.push_back(0);
  le32(0), le32(uint32_t(stride * height)), le32(2835), le32(2835), le32(0), le32(0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t v = rgb(x, y);
      b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)), b.push_back(uint8_t(v >> 16));
    }
    b.resize(b.size() + (stride - width * 3), 0);
  }
  return b;
}

// An 8-bit run-length BMP (two palette entries) whose rows are runs of
// index 1; without rows only the end-of-picture mark follows the palette.
inline Bytes BmpRle8(int width, int height, bool rows = true) {
  Bytes data;
  for (int y = 0; rows && y < height; ++y) {
    for (int left = width; left > 0; left -= 255)
      data.push_back(uint8_t(left < 255 ? left : 255)), data.push_back(1);
    data.push_back(0), data.push_back(0);  // end of line
  }
  data.push_back(0), data.push_back(1);  // end of picture
  Bytes b = {'B', 'M'};
  auto le32 = [&b](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  le32(uint32_t(62 + data.size())), le32(0), le32(62);
  le32(40), le32(uint32_t(width)), le32(uint32_t(height));
  b.push_back(1), b.push_back(0), b.push_back(8), b.push_back(0);
  le32(1), le32(uint32_t(data.size())), le32(2835), le32(2835), le32(2), le32(0);
  le32(0x00000000), le32(0x00FF8040);  // palette: black, then 0xFF8040 (B, G, R bytes 40 80 FF)
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

}  // namespace qibo::test
