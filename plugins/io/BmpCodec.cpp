// BMP pictures through SDL2's reader, blitted straight into the picture as
// 32-bit ARGB. The header is checked here first, so that no header can make
// SDL allocate beyond the budget: SDL's own surface (one byte per pixel up
// to 8 bits, else the file's pixel size, rows padded to 4 bytes) and the
// picture together stay within kMaxPictureBytes.
//   0  "BM"     14  u32 info-header size (12: u16 width, u16 height at 18,
//                   u16 bits per pixel at 24; otherwise i32 width at 18,
//                   i32 height at 22, negative height meaning top row
//                   first, u16 bits per pixel at 28)
// Every message ends in ": ", for the importer to add the file name.
#include <SDL.h>

#include <cstring>

#include "core/object/ByteIO.h"
#include "plugins/io/PictureCodec.h"

namespace qibo::io {

namespace {

bool CheckHeader(const uint8_t* data, size_t size, std::string& why) {
  if (size < 30 || data[0] != 'B' || data[1] != 'M') {
    why = "Not a BMP file: ";
    return false;
  }
  const uint32_t info = GetLE32(data + 14);
  int64_t width = 0, height = 0, bits = 0;
  if (info == 12) {
    width = data[18] | data[19] << 8;
    height = data[20] | data[21] << 8;
    bits = data[24] | data[25] << 8;
  } else {
    width = static_cast<int32_t>(GetLE32(data + 18));
    height = static_cast<int32_t>(GetLE32(data + 22));
    bits = data[28] | data[29] << 8;
  }
  if (height < 0) height = -height;
  if (width < 1 || height < 1 || width > LFB::kMaxSide || height > LFB::kMaxSide) {
    why = "BMP picture size is out of range: ";
    return false;
  }
  const int64_t surfacePixel = bits <= 8 ? 1 : (bits + 7) / 8;
  const uint64_t surface = static_cast<uint64_t>((width * surfacePixel + 3) / 4 * 4 * height);
  if (surface + static_cast<uint64_t>(width * height) * 4 > kMaxPictureBytes) {
    why = "BMP picture of " + std::to_string(width) + " x " + std::to_string(height) + " at " +
          std::to_string(bits) + " bits exceeds the texture budget: ";
    return false;
  }
  return true;
}

}  // namespace

bool DecodeBMP(const uint8_t* data, size_t size, Picture& picture, std::string& why) {
  if (!CheckHeader(data, size, why)) return false;
  SDL_RWops* source = SDL_RWFromConstMem(data, static_cast<int>(size));
  SDL_Surface* loaded = source ? SDL_LoadBMP_RW(source, 1) : nullptr;
  if (!loaded) {
    why = std::string("BMP file refused (") + SDL_GetError() + "): ";
    return false;
  }
  Picture result;
  bool ok = AllocPicture(result, loaded->w, loaded->h, why);
  if (!ok) why += ": ";
  // The picture's own pixels as the blit's target: no converted copy.
  SDL_Surface* target =
      ok ? SDL_CreateRGBSurfaceWithFormatFrom(result.lfb->GetPixels(), loaded->w, loaded->h, 32,
                                              result.lfb->GetPitch() * 4, SDL_PIXELFORMAT_ARGB8888)
         : nullptr;
  if (ok && (!target || SDL_SetSurfaceBlendMode(loaded, SDL_BLENDMODE_NONE) != 0 ||
             SDL_BlitSurface(loaded, nullptr, target, nullptr) != 0)) {
    why = std::string("BMP picture could not be converted (") + SDL_GetError() + "): ";
    ok = false;
  }
  if (target) SDL_FreeSurface(target);
  SDL_FreeSurface(loaded);
  if (!ok) return false;
  result.alphaDepth = 0;
  result.colorDepth = 8;
  picture = std::move(result);
  return true;
}

}  // namespace qibo::io
