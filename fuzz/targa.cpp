// Fuzzes the importer of Targa pictures (all four depths, raw and run-length): any bytes must decode or be
// refused without a fault, and a refusal keeps no picture.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/io/PictureCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qibo::io::Picture picture;
  std::string why;
  if (!qibo::io::DecodeTarga(data, size, picture, why)) {
    if (picture.lfb) abort();
    return 0;
  }
  if (!picture.lfb || picture.lfb->GetByteSize() > qibo::io::kMaxPictureBytes) abort();
  // What the exporter writes reads back to the same pixels.
  std::vector<uint8_t> again;
  qibo::io::EncodeTarga(*picture.lfb, true, again);
  qibo::io::Picture back;
  if (!qibo::io::DecodeTarga(again.data(), again.size(), back, why)) abort();
  if (back.lfb->GetByteSize() != picture.lfb->GetByteSize() ||
      memcmp(back.lfb->GetPixels(), picture.lfb->GetPixels(), picture.lfb->GetByteSize()) != 0)
    abort();
  return 0;
}
