// Fuzzes the importer of BMP pictures through SDL2: any bytes must decode or be refused
// without a fault, and a refusal keeps no picture.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "plugins/io/PictureCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qibo::io::Picture picture;
  std::string why;
  if (!qibo::io::DecodeBMP(data, size, picture, why)) {
    if (picture.lfb) abort();
    return 0;
  }
  if (!picture.lfb || picture.lfb->GetByteSize() > qibo::io::kMaxPictureBytes) abort();
  return 0;
}
