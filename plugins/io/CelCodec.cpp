// CEL (Autodesk Animator) pictures: 256-colour, one byte per pixel.
//   0  u16  (ignored)     2  u16  width     4  u16  height   (1..10000 each)
//   6  26 bytes skipped
//  32  palette: 256 x (R, G, B), 6 significant bits each
// 800  width x height palette indices, top row first
#include "core/object/ByteIO.h"
#include "plugins/io/PictureCodec.h"

namespace qibo::io {

namespace {

constexpr int kMaxCelSide = 10000;
constexpr size_t kSkipped = 26;
constexpr int kPaletteSize = 256;

}  // namespace

bool DecodeCEL(const uint8_t* data, size_t size, Picture& picture, std::string& why) {
  ByteReader in(data, size);
  in.U16();
  const int width = in.U16();
  const int height = in.U16();
  if (!in.Ok() || width < 1 || height < 1 || width > kMaxCelSide || height > kMaxCelSide) {
    why = "Unsupported format";
    return false;
  }
  in.Skip(kSkipped);
  uint32_t palette[kPaletteSize];
  for (uint32_t& entry : palette) {
    const uint32_t r = in.U8() & 63u, g = in.U8() & 63u, b = in.U8() & 63u;
    entry = 0xFF000000u | r << 18 | g << 10 | b << 2;
  }
  const uint8_t* indices = in.Bytes(static_cast<size_t>(width) * height);
  if (!indices) {
    why = "CEL file is truncated";
    return false;
  }
  Picture result;
  if (!AllocPicture(result, width, height, why)) return false;
  for (int y = 0; y < height; ++y) {
    uint32_t* row = result.lfb->GetRow(y);
    for (int x = 0; x < width; ++x) row[x] = palette[*indices++];
  }
  result.alphaDepth = 0;
  result.colorDepth = 8;
  picture = std::move(result);
  return true;
}

}  // namespace qibo::io
