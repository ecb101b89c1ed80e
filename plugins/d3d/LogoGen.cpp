// Makes the device's logo at build time: a 128 x 64 picture in a chunk
// stream holding the texture "Logo128x64", written out as a C++ byte array
// that the plug-in embeds.
//
// Usage: qiboLogoGen <output.cpp>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"
#include "core/persist/MemoryStream.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"

namespace {

constexpr int kWidth = 128;
constexpr int kHeight = 64;
constexpr uint32_t kBorder = 0xFFE0B040;  // 0xAARRGGBB, a gold frame 4 pixels wide
constexpr uint32_t kInk = 0xFFFFFFFF;

// "qiBO" in a 5 x 7 font, each row five bits with the leftmost in bit 4.
constexpr uint8_t kLetters[4][7] = {
    {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x01},  // q
    {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E},  // i
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},  // B
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // O
};

uint32_t Background(int x, int y) {
  const uint32_t blue = 0x60 + static_cast<uint32_t>(x);       // 0x60..0xDF across
  const uint32_t green = 0x20 + static_cast<uint32_t>(y) * 2;  // 0x20..0x9E down
  return 0xFF000000u | (0x18u << 16) | (green << 8) | blue;
}

std::unique_ptr<LFB> MakePicture() {
  auto picture = std::make_unique<LFB>(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool border = x < 4 || y < 4 || x >= kWidth - 4 || y >= kHeight - 4;
      picture->SetPixel(x, y, border ? kBorder : Background(x, y));
    }
  // Each letter cell is 25 x 35 pixels (5 x 5 per font pixel), 30 apart.
  for (int letter = 0; letter < 4; ++letter)
    for (int row = 0; row < 7; ++row)
      for (int column = 0; column < 5; ++column) {
        if (!(kLetters[letter][row] & (0x10 >> column))) continue;
        for (int dy = 0; dy < 5; ++dy)
          for (int dx = 0; dx < 5; ++dx)
            picture->SetPixel(6 + letter * 30 + column * 5 + dx, 14 + row * 5 + dy, kInk);
      }
  picture->SetHasAlpha(false);
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qiboLogoGen <output.cpp>\n");
    return 2;
  }
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  texture->SetName("Logo128x64");
  if (!texture->SetData(MakePicture())) return 1;
  std::vector<uint8_t> image(kWidth * kHeight * 4 + 4096);
  MemoryStream stream;
  if (!stream.CreateStream(image.data(), static_cast<int>(image.size()))) return 1;
  stream.WriteObjectData(texture.Get());
  const uint32_t size = stream.GetPos();
  if (!stream.CloseStream()) return 1;
  texture.Reset();
  qiBO_Deinit();

  FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fprintf(out, "// Made by qiboLogoGen: the logo's chunk stream.\n#include <cstdint>\n\n");
  std::fprintf(out, "extern const uint8_t kQiboLogoStream[];\nextern const int kQiboLogoStreamSize;\n");
  std::fprintf(out, "const int kQiboLogoStreamSize = %u;\nconst uint8_t kQiboLogoStream[] = {", size);
  for (uint32_t i = 0; i < size; ++i) std::fprintf(out, "%s%u,", i % 24 ? "" : "\n", image[i]);
  std::fprintf(out, "\n};\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
