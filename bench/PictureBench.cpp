// Picture import: a 2048 x 2048 JPEG through the importer's codec beside a
// bare libjpeg-turbo decode of the same file into a buffer, and a 2048 x
// 2048 32-bit run-length Targa (runs and literal packets mixed, crossing
// rows). Bytes processed are the decoded pixels (4 per pixel for both).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// jpeglib.h uses size_t and FILE without including their headers.
#include <jpeglib.h>

#include "plugins/io/PictureCodec.h"

namespace {

constexpr int kSide = 2048;

// A photograph-like picture: ramps with a little texture.
LFB MakePicture() {
  LFB lfb(kSide, kSide);
  uint32_t seed = 12345;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t noise = seed >> 28;
      lfb.SetPixel(x, y,
                   0xFF000000u | ((x / 8 + noise) & 0xFF) << 16 | ((y / 8 + noise) & 0xFF) << 8 |
                       ((x + y) / 16 & 0xFF));
    }
  return lfb;
}

const std::vector<uint8_t>& JpegFile() {
  static const std::vector<uint8_t> file = [] {
    std::vector<uint8_t> out;
    std::string why;
    qibo::io::EncodeJpeg(MakePicture(), 90, out, why);
    return out;
  }();
  return file;
}

// Packets of 1..128 pixels: runs of one value, then literals.
std::vector<uint8_t> RunLengthTarga() {
  std::vector<uint8_t> file(18, 0);
  file[2] = 10;
  file[12] = kSide & 0xFF, file[13] = kSide >> 8, file[14] = kSide & 0xFF, file[15] = kSide >> 8;
  file[16] = 32, file[17] = 0x28;
  size_t left = size_t{kSide} * kSide;
  for (uint32_t i = 0; left > 0; ++i) {
    const size_t count = std::min<size_t>(left, 1 + (i * 37) % 128);
    const bool run = i % 2 == 0;
    file.push_back(static_cast<uint8_t>((run ? 0x80 : 0) | (count - 1)));
    for (size_t p = 0; p < (run ? 1 : count); ++p)
      for (int b = 0; b < 4; ++b) file.push_back(static_cast<uint8_t>(i * 7 + p * 3 + b));
    left -= count;
  }
  return file;
}

void BM_Jpeg_Import2048(benchmark::State& state) {
  const std::vector<uint8_t>& file = JpegFile();
  for (auto _ : state) {
    qibo::io::Picture picture;
    std::string why;
    if (!qibo::io::DecodeJpeg(file.data(), file.size(), picture, why)) state.SkipWithError(why.c_str());
    benchmark::DoNotOptimize(picture.lfb->GetPixels());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kSide} * kSide * 4);
}
BENCHMARK(BM_Jpeg_Import2048)->Unit(benchmark::kMillisecond);

// libjpeg-turbo alone into one reused buffer, nothing else: RGB rows
// (argument 0) or the BGRA rows the importer asks for (argument 1).
void BM_Jpeg_BareDecode2048(benchmark::State& state) {
  const std::vector<uint8_t>& file = JpegFile();
  const bool bgra = state.range(0) != 0;
  const size_t stride = size_t{kSide} * (bgra ? 4 : 3);
  std::vector<uint8_t> buffer(stride * kSide);
  for (auto _ : state) {
    jpeg_decompress_struct codec;
    jpeg_error_mgr errors;
    codec.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&codec);
    jpeg_mem_src(&codec, file.data(), file.size());
    jpeg_read_header(&codec, TRUE);
    if (bgra) codec.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&codec);
    while (codec.output_scanline < codec.output_height) {
      JSAMPROW row = buffer.data() + codec.output_scanline * stride;
      jpeg_read_scanlines(&codec, &row, 1);
    }
    jpeg_finish_decompress(&codec);
    jpeg_destroy_decompress(&codec);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kSide} * kSide * 4);
}
BENCHMARK(BM_Jpeg_BareDecode2048)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Targa_RunLengthDecode2048(benchmark::State& state) {
  const std::vector<uint8_t> file = RunLengthTarga();
  for (auto _ : state) {
    qibo::io::Picture picture;
    std::string why;
    if (!qibo::io::DecodeTarga(file.data(), file.size(), picture, why)) state.SkipWithError(why.c_str());
    benchmark::DoNotOptimize(picture.lfb->GetPixels());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kSide} * kSide * 4);
  state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
}
BENCHMARK(BM_Targa_RunLengthDecode2048)->Unit(benchmark::kMillisecond);

}  // namespace
