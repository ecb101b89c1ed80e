#include "plugins/io/PictureCodec.h"

#include <algorithm>

namespace qibo::io {

bool AllocPicture(Picture& picture, int64_t width, int64_t height, std::string& why, bool zeroed) {
  if (width < 1 || height < 1 || width > LFB::kMaxSide || height > LFB::kMaxSide) {
    why = "Picture size " + std::to_string(width) + " x " + std::to_string(height) + " is out of range";
    return false;
  }
  // Both sides are at most 2^14 here, so the product cannot overflow.
  if (static_cast<uint64_t>(width * height) * 4 > kMaxPictureBytes) {
    why = "Picture of " + std::to_string(width) + " x " + std::to_string(height) +
          " exceeds the texture budget";
    return false;
  }
  auto lfb = std::make_unique<LFB>();
  if (!lfb->Create(static_cast<int>(width), static_cast<int>(height), 0, zeroed)) {
    why = "Out of memory for the picture";
    return false;
  }
  picture.lfb = std::move(lfb);
  return true;
}

void FlipRows(LFB& lfb) {
  for (int top = 0, bottom = lfb.GetHeight() - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(lfb.GetRow(top), lfb.GetRow(top) + lfb.GetWidth(), lfb.GetRow(bottom));
}

}  // namespace qibo::io
