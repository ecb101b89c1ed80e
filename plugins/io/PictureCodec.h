#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/render/base/LFB.h"

// The picture codecs of the IO plug-in: pure functions over bytes in
// memory, so the importers, the fuzz targets and the benchmarks share them.
// A decoder either fills the picture and answers true, or answers false
// with the reason in why (empty where the format gives no message) and
// leaves the picture empty. Nothing is read outside the given bytes.
namespace qibo::io {

// Largest picture a decoder allocates: the side cap of LFB and a budget of
// 256 MiB of pixels (a 8192 x 8192 picture), whatever the header claims.
constexpr uint64_t kMaxPictureBytes = uint64_t{256} << 20;

struct Picture {
  std::unique_ptr<LFB> lfb;
  int alphaDepth = 0;  // bits of alpha (0 without alpha)
  int colorDepth = 8;  // bits per colour channel
  bool Grey() const { return lfb && !lfb->IsColor(); }
};

// A zeroed buffer of width x height, or false with a reason when the size
// is outside 1..LFB::kMaxSide or the pixels would exceed kMaxPictureBytes.
// zeroed = false leaves the pixels uninitialised for a decoder that writes
// every one of them before it succeeds.
bool AllocPicture(Picture& picture, int64_t width, int64_t height, std::string& why, bool zeroed = true);
// Swaps the rows top for bottom.
void FlipRows(LFB& lfb);

// Importers (see each codec's file for the byte layout).
bool DecodeTarga(const uint8_t* data, size_t size, Picture& picture, std::string& why);
bool DecodeSGI(const uint8_t* data, size_t size, Picture& picture, std::string& why);
bool DecodeCEL(const uint8_t* data, size_t size, Picture& picture, std::string& why);
bool Decode3DF(const uint8_t* data, size_t size, Picture& picture, std::string& why);
bool DecodeJpeg(const uint8_t* data, size_t size, Picture& picture, std::string& why);
bool DecodeBMP(const uint8_t* data, size_t size, Picture& picture, std::string& why);

// Exporters: the whole file image, appended to out.
void EncodeTarga(const LFB& lfb, bool writeAlpha, std::vector<uint8_t>& out);
void EncodePBM(const LFB& lfb, std::vector<uint8_t>& out);
void Encode3DF(const LFB& lfb, std::vector<uint8_t>& out);
bool EncodeJpeg(const LFB& lfb, int quality, std::vector<uint8_t>& out, std::string& why);

}  // namespace qibo::io
