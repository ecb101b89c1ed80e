// PBM export: binary PPM ("P6"), maximum value 255, R, G, B per pixel, top
// row first.
#include <cstdio>

#include "plugins/io/PictureCodec.h"

namespace qibo::io {

void EncodePBM(const LFB& lfb, std::vector<uint8_t>& out) {
  char header[64];
  const int n = snprintf(header, sizeof header, "P6\n%i %i\n255\n", lfb.GetWidth(), lfb.GetHeight());
  out.insert(out.end(), header, header + n);
  for (int y = 0; y < lfb.GetHeight(); ++y) {
    const uint32_t* row = lfb.GetRow(y);
    for (int x = 0; x < lfb.GetWidth(); ++x) {
      out.push_back(static_cast<uint8_t>(row[x] >> 16));
      out.push_back(static_cast<uint8_t>(row[x] >> 8));
      out.push_back(static_cast<uint8_t>(row[x]));
    }
  }
}

}  // namespace qibo::io
