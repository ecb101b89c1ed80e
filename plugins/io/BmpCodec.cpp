// BMP pictures through SDL2's reader, converted to 32-bit ARGB. The size in
// the info header is checked here first, so that no header can make SDL
// allocate beyond the picture cap:
//   0  "BM"     14  u32 info-header size (12: u16 width, u16 height at 18;
//                   otherwise i32 width at 18, i32 height at 22, negative
//                   height meaning top row first)
#include <SDL.h>

#include <cstring>

#include "core/object/ByteIO.h"
#include "plugins/io/PictureCodec.h"

namespace qibo::io {

namespace {

bool CheckHeader(const uint8_t* data, size_t size, std::string& why) {
  if (size < 26 || data[0] != 'B' || data[1] != 'M') {
    why = "Not a BMP file";
    return false;
  }
  const uint32_t info = GetLE32(data + 14);
  int64_t width = 0, height = 0;
  if (info == 12) {
    width = data[18] | data[19] << 8;
    height = data[20] | data[21] << 8;
  } else {
    width = static_cast<int32_t>(GetLE32(data + 18));
    height = static_cast<int32_t>(GetLE32(data + 22));
  }
  if (height < 0) height = -height;
  if (width < 1 || height < 1 || width > LFB::kMaxSide || height > LFB::kMaxSide ||
      static_cast<uint64_t>(width * height) * 4 > kMaxPictureBytes) {
    why = "BMP picture size is out of range";
    return false;
  }
  return true;
}

}  // namespace

bool DecodeBMP(const uint8_t* data, size_t size, Picture& picture, std::string& why) {
  if (!CheckHeader(data, size, why)) return false;
  SDL_RWops* source = SDL_RWFromConstMem(data, static_cast<int>(size));
  SDL_Surface* loaded = source ? SDL_LoadBMP_RW(source, 1) : nullptr;
  SDL_Surface* surface = loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
  if (loaded) SDL_FreeSurface(loaded);
  if (!surface) return false;  // SDL's reason stays in SDL_GetError
  Picture result;
  bool ok = AllocPicture(result, surface->w, surface->h, why) && SDL_LockSurface(surface) == 0;
  if (ok) {
    for (int y = 0; y < surface->h; ++y)
      memcpy(result.lfb->GetRow(y), static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch,
             static_cast<size_t>(surface->w) * 4);
    SDL_UnlockSurface(surface);
  }
  SDL_FreeSurface(surface);
  if (!ok) return false;
  result.alphaDepth = 0;
  result.colorDepth = 8;
  picture = std::move(result);
  return true;
}

}  // namespace qibo::io
