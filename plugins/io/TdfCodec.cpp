// 3DF (3Dfx Glide) textures: four text lines, then the largest
// level-of-detail's pixels, row 0 first (it becomes the bottom row), 2-byte
// values big-endian:
//   3df v1.1
//   <colour format>                 one of kFormats below
//   lod range: <smallest> <largest>
//   aspect ratio: <a> <b>           height = largest / a, width = largest / b
#include <cstdio>
#include <cstring>

#include "plugins/io/PictureCodec.h"

namespace qibo::io {

namespace {

constexpr size_t kMaxLine = 255;

enum class Kind { kRgb332, kRgb565, kArgb1555, kArgb4444, kArgb8332, kI8, kAi44, kAi88 };

struct Format {
  const char* name;
  Kind kind;
  int bytes;
  int alphaBits;
  int colorBits;
  bool grey;
};

constexpr Format kFormats[] = {
    {"rgb332", Kind::kRgb332, 1, 0, 3, false},     {"rgb565", Kind::kRgb565, 2, 0, 6, false},
    {"argb1555", Kind::kArgb1555, 2, 1, 5, false}, {"argb4444", Kind::kArgb4444, 2, 4, 4, false},
    {"argb8332", Kind::kArgb8332, 2, 8, 3, false}, {"i8", Kind::kI8, 1, 0, 8, true},
    {"ai44", Kind::kAi44, 1, 4, 4, true},          {"ai88", Kind::kAi88, 2, 8, 8, true},
};

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }
uint32_t Grey(uint32_t a, uint32_t v) { return Argb(a, v, v, v); }
uint32_t Rgb332(uint32_t v, uint32_t a) {
  return Argb(a, (v >> 5) * 36 + (v >> 6), ((v >> 2) & 7) * 36 + ((v >> 3) & 3), (v & 3) * 85);
}
uint32_t Rgb5x5(uint32_t v, uint32_t a, uint32_t greenBits) {
  const uint32_t r = v >> (5 + greenBits) & 31, b = v & 31;
  const uint32_t g =
      greenBits == 6 ? ((v >> 5 & 63) << 2 | (v >> 9 & 3)) : ((v >> 5 & 31) << 3 | (v >> 7 & 7));
  return Argb(a, r << 3 | r >> 2, g, b << 3 | b >> 2);
}

uint32_t Convert(Kind kind, uint32_t v) {
  switch (kind) {
    case Kind::kRgb332:
      return Rgb332(v, 255);
    case Kind::kRgb565:
      return Rgb5x5(v, 255, 6);
    case Kind::kArgb1555:
      return Rgb5x5(v & 0x7FFF, (v & 0x8000) ? 255 : 0, 5);
    case Kind::kArgb4444:
      return Argb((v >> 12) * 17, (v >> 8 & 15) * 17, (v >> 4 & 15) * 17, (v & 15) * 17);
    case Kind::kArgb8332:
      return Rgb332(v & 0xFF, v >> 8);
    case Kind::kI8:
      return Grey(255, v);
    case Kind::kAi44:
      return Grey((v >> 4) * 17, (v & 15) * 17);
    case Kind::kAi88:
      return Grey(v >> 8, v & 0xFF);
  }
  return 0;
}

// One text line from data at pos (LF ends it, a CR before it is dropped);
// false at the data's end or for a line over kMaxLine characters.
bool ReadLine(const uint8_t* data, size_t size, size_t& pos, std::string& line) {
  if (pos >= size) return false;
  const void* end = memchr(data + pos, '\n', size - pos);
  const size_t stop = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - data) : size;
  if (stop - pos > kMaxLine) return false;
  line.assign(reinterpret_cast<const char*>(data + pos), stop - pos);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  pos = end ? stop + 1 : stop;
  return line.find('\0') == std::string::npos;
}

const Format* FindFormat(const std::string& name) {
  for (const Format& f : kFormats)
    if (name == f.name) return &f;
  return nullptr;
}

bool ReadSize(const uint8_t* data, size_t size, size_t& pos, int& width, int& height, std::string& why) {
  std::string lod, aspect;
  int lodMin = 0, lodMax = 0, a = 0, b = 0;
  if (!ReadLine(data, size, pos, lod) || !ReadLine(data, size, pos, aspect) ||
      sscanf(lod.c_str(), "%*s %*s %i %i", &lodMin, &lodMax) != 2 ||
      sscanf(aspect.c_str(), "%*s %*s %i %i", &a, &b) != 2)
    return false;  // the format gives no message for these
  if (lodMax < 1 || lodMax > LFB::kMaxSide || a < 1 || b < 1 || a > lodMax || b > lodMax) {
    why = "3DF size is out of range";
    return false;
  }
  height = lodMax / a;
  width = lodMax / b;
  return true;
}

}  // namespace

bool Decode3DF(const uint8_t* data, size_t size, Picture& picture, std::string& why) {
  size_t pos = 0;
  std::string line;
  if (!ReadLine(data, size, pos, line) || line != "3df v1.1") {
    why = "Only 3DF v1.1 supported";
    return false;
  }
  const Format* format = ReadLine(data, size, pos, line) ? FindFormat(line) : nullptr;
  if (!format) {
    why = "Unsupported color format";
    return false;
  }
  int width = 0, height = 0;
  if (!ReadSize(data, size, pos, width, height, why)) return false;
  const size_t count = static_cast<size_t>(width) * height;
  if (count * format->bytes > size - pos) {
    why = "3DF file is truncated";
    return false;
  }
  Picture result;
  if (!AllocPicture(result, width, height, why)) return false;
  const uint8_t* p = data + pos;
  uint32_t* out = result.lfb->GetPixels();
  for (size_t i = 0; i < count; ++i, p += format->bytes)
    out[i] = Convert(format->kind, format->bytes == 2 ? uint32_t{p[0]} << 8 | p[1] : p[0]);
  FlipRows(*result.lfb);
  result.lfb->SetHasAlpha(format->alphaBits > 0);
  result.lfb->SetColor(!format->grey);
  result.alphaDepth = format->alphaBits;
  result.colorDepth = format->colorBits;
  picture = std::move(result);
  return true;
}

void Encode3DF(const LFB& lfb, std::vector<uint8_t>& out) {
  const int width = lfb.GetWidth(), height = lfb.GetHeight();
  const int s = width > height ? width : height;
  char header[128];
  const int n = snprintf(header, sizeof header, "3df v1.1\nrgb565\nlod range: %i %i\naspect ratio: %i %i\n",
                         s, s, s / height, s / width);
  out.insert(out.end(), header, header + n);
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = lfb.GetRow(y);
    for (int x = 0; x < width; ++x) {
      const uint32_t v = row[x];
      const uint32_t w = (v >> 19 & 31) << 11 | (v >> 10 & 63) << 5 | (v >> 3 & 31);
      out.push_back(static_cast<uint8_t>(w >> 8));
      out.push_back(static_cast<uint8_t>(w));
    }
  }
}

}  // namespace qibo::io
