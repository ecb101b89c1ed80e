// The picture codecs of qiboIO.plug, tested on bytes made here: round
// trips, hand-made files for the conversions that are easy to get wrong,
// and damaged files that must be refused with their message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// jpeglib.h uses size_t and FILE without including their headers.
#include <jpeglib.h>

#include <cstdio>

#include "plugins/io/PictureCodec.h"
#include "tests/io/HeapPeak.h"
#include "tests/io/PictureBytes.h"

using qibo::io::Picture;
using namespace qibo::test;

namespace {

// Decodes bytes; the picture is empty and why holds the reason on failure.
struct Decoded {
  bool ok = false;
  Picture picture;
  std::string why;
};
Decoded DecodeBytes(Decoder decode, const Bytes& bytes) {
  Decoded d;
  d.ok = decode(bytes.data(), bytes.size(), d.picture, d.why);
  return d;
}

// A progressive grey JPEG of 16 x 16 whose DC and first acBands AC
// coefficients are each sent in 11 scans (bit 10 first, then one bit at a
// time): 11 x (1 + acBands) scans in all.
Bytes ManyScanJpeg(int acBands) {
  const LFB picture = Gradient(16, 16, false, true);
  std::vector<jpeg_scan_info> script;
  for (int coefficient = 0; coefficient <= acBands; ++coefficient)
    for (int bit = 10; bit >= 0; --bit)
      script.push_back({1, {0}, coefficient, coefficient, bit == 10 ? 0 : bit + 1, bit});
  jpeg_compress_struct codec{};
  jpeg_error_mgr errors{};
  codec.err = jpeg_std_error(&errors);
  jpeg_create_compress(&codec);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&codec, &out, &outSize);
  codec.image_width = codec.image_height = 16;
  codec.input_components = 1;
  codec.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&codec);
  codec.scan_info = script.data();
  codec.num_scans = static_cast<int>(script.size());
  codec.optimize_coding = TRUE;
  jpeg_start_compress(&codec, TRUE);
  uint8_t line[16];
  while (codec.next_scanline < codec.image_height) {
    for (int x = 0; x < 16; ++x)
      line[x] = static_cast<uint8_t>(picture.GetRow(static_cast<int>(codec.next_scanline))[x]);
    JSAMPROW row = line;
    jpeg_write_scanlines(&codec, &row, 1);
  }
  jpeg_finish_compress(&codec);
  jpeg_destroy_compress(&codec);
  Bytes bytes(out, out + outSize);
  free(out);
  return bytes;
}

std::vector<uint32_t> Pixels(const LFB& lfb) {
  std::vector<uint32_t> out;
  for (int y = 0; y < lfb.GetHeight(); ++y)
    out.insert(out.end(), lfb.GetRow(y), lfb.GetRow(y) + lfb.GetWidth());
  return out;
}

}  // namespace

TEST(BitmapFormatsTest, TargaRoundTripKeepsEveryPixel) {
  struct Case {
    const char* name;
    bool alpha, grey, writeAlpha;
    int bits;
  } cases[] = {{"24 bits", false, false, true, 24},
               {"32 bits", true, false, true, 32},
               {"alpha off", true, false, false, 24},
               {"grey", false, true, true, 8}};
  for (const Case& c : cases) {
    const LFB source = Gradient(7, 5, c.alpha, c.grey);
    Bytes file;
    qibo::io::EncodeTarga(source, c.writeAlpha, file);
    EXPECT_EQ(file[16], c.bits) << c.name;
    Decoded d = DecodeBytes(qibo::io::DecodeTarga, file);
    ASSERT_TRUE(d.ok) << c.name << ": " << d.why;
    std::vector<uint32_t> expected = Pixels(source);
    if (c.bits != 32)
      for (uint32_t& v : expected) v |= 0xFF000000u;
    EXPECT_EQ(Pixels(*d.picture.lfb), expected) << c.name;
    EXPECT_EQ(d.picture.Grey(), c.grey) << c.name;
    EXPECT_EQ(d.picture.lfb->HasAlpha(), c.bits == 32) << c.name;
  }
}

TEST(BitmapFormatsTest, TargaHandMadePixelsConvert) {
  const Bytes bgr = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2, rows "A" then "B"
  struct Case {
    const char* name;
    Bytes file;
    std::vector<uint32_t> expected;
    bool hasAlpha;
    int alphaDepth, colorDepth;
  } cases[] = {
      {"16 bits, 1 alpha bit",
       Targa(2, 2, 1, 16, 1, {0xFF, 0x7F, 0xFF, 0xFF}),
       {0x00FFFFFF, 0xFFFFFFFF},
       true,
       1,
       5},
      {"16 bits, no alpha bits",
       Targa(2, 2, 1, 16, 0, {0xFF, 0x7F, 0x1F, 0x00}),
       {0xFFFFFFFF, 0xFF0000FF},
       false,
       0,
       6},
      {"bottom-up",
       Targa(2, 2, 2, 24, 0, bgr),
       {0xFF090807, 0xFF0C0B0A, 0xFF030201, 0xFF060504},
       false,
       0,
       8},
      {"top-left",
       Targa(2, 2, 2, 24, 0x20, bgr),
       {0xFF030201, 0xFF060504, 0xFF090807, 0xFF0C0B0A},
       false,
       0,
       8},
      // One run of 4 across the row end, then 2 literals: 3 x 2, top-left.
      {"run-length across rows",
       Targa(10, 3, 2, 24, 0x20, {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9}),
       {0xFF030201, 0xFF030201, 0xFF030201, 0xFF030201, 0xFF060504, 0xFF090807},
       false,
       0,
       8},
      {"grey run-length", Targa(11, 2, 1, 8, 0, {0x81, 0x40}), {0xFF404040, 0xFF404040}, false, 0, 3},
  };
  for (const Case& c : cases) {
    Decoded d = DecodeBytes(qibo::io::DecodeTarga, c.file);
    ASSERT_TRUE(d.ok) << c.name << ": " << d.why;
    EXPECT_EQ(Pixels(*d.picture.lfb), c.expected) << c.name;
    EXPECT_EQ(d.picture.lfb->HasAlpha(), c.hasAlpha) << c.name;
    EXPECT_EQ(d.picture.alphaDepth, c.alphaDepth) << c.name;
    EXPECT_EQ(d.picture.colorDepth, c.colorDepth) << c.name;
  }
}

TEST(BitmapFormatsTest, SgiChannelsAndSharedScanLinesDecode) {
  // 2 x 2; the bottom line (SGI's first) holds 10, 20; the top line 30, 40,
  // plus 1 per channel.
  auto plane = [](int c) {
    return Bytes{uint8_t(10 + c), uint8_t(20 + c), uint8_t(30 + c), uint8_t(40 + c)};
  };
  struct Case {
    const char* name;
    Bytes file;
    std::vector<uint32_t> expected;
    bool grey, alpha;
  } cases[] = {
      {"verbatim 1 channel",
       SgiVerbatim(2, 2, 1, plane),
       {0xFF1E1E1E, 0xFF282828, 0xFF0A0A0A, 0xFF141414},
       true,
       false},
      {"verbatim 3 channels",
       SgiVerbatim(2, 2, 3, plane),
       {0xFF1E1F20, 0xFF28292A, 0xFF0A0B0C, 0xFF141516},
       false,
       false},
      {"run-length 1 channel shared",
       SgiSharedRun(2, 2, 1),
       {0xFF010101, 0xFF010101, 0xFF010101, 0xFF010101},
       true,
       false},
      {"run-length 3 channels shared",
       SgiSharedRun(2, 2, 3),
       {0xFF010101, 0xFF010101, 0xFF010101, 0xFF010101},
       false,
       false},
      {"run-length 4 channels shared",
       SgiSharedRun(2, 2, 4),
       {0x01010101, 0x01010101, 0x01010101, 0x01010101},
       false,
       true},
      {"run-length literal and run",
       SgiRun(3, 1, 1, {0x82, 7, 8, 0x01, 9, 0}),
       {0xFF070707, 0xFF080808, 0xFF090909},
       true,
       false},
  };
  for (const Case& c : cases) {
    Decoded d = DecodeBytes(qibo::io::DecodeSGI, c.file);
    ASSERT_TRUE(d.ok) << c.name << ": " << d.why;
    EXPECT_EQ(Pixels(*d.picture.lfb), c.expected) << c.name;
    EXPECT_EQ(d.picture.Grey(), c.grey) << c.name;
    EXPECT_EQ(d.picture.lfb->HasAlpha(), c.alpha) << c.name;
    EXPECT_EQ(d.picture.alphaDepth, c.alpha ? 8 : 0) << c.name;
  }
}

TEST(BitmapFormatsTest, TdfColourFormatsConvert) {
  // Two pixels per file, 2 x 1 (aspect 1 : 2 means height = 2 / 2).
  struct Case {
    const char* format;
    Bytes data;
    uint32_t first, second;
    int alphaDepth, colorDepth;
    bool grey;
  } cases[] = {
      {"rgb332", {0x03, 0x1C}, 0xFF0000FF, 0xFF00FF00, 0, 3, false},
      {"rgb565", {0xF8, 0x00, 0x07, 0xE0}, 0xFFFF0000, 0xFF00FF00, 0, 6, false},
      {"argb1555", {0xFC, 0x00, 0x00, 0x1F}, 0xFFFF0000, 0x000000FF, 1, 5, false},
      {"argb4444", {0x8F, 0x00, 0x01, 0x23}, 0x88FF0000, 0x00112233, 4, 4, false},
      {"argb8332", {0x40, 0xE0, 0xFF, 0x03}, 0x40FF0000, 0xFF0000FF, 8, 3, false},
      {"i8", {0x00, 0x80}, 0xFF000000, 0xFF808080, 0, 8, true},
      {"ai44", {0xF1, 0x0F}, 0xFF111111, 0x00FFFFFF, 4, 4, true},
      {"ai88", {0x80, 0x7F, 0xFF, 0x01}, 0x807F7F7F, 0xFF010101, 8, 8, true},
  };
  for (const Case& c : cases) {
    Decoded d = DecodeBytes(qibo::io::Decode3DF, Tdf(c.format, 2, 2, 1, c.data));
    ASSERT_TRUE(d.ok) << c.format << ": " << d.why;
    EXPECT_EQ(Pixels(*d.picture.lfb), (std::vector<uint32_t>{c.first, c.second})) << c.format;
    EXPECT_EQ(d.picture.alphaDepth, c.alphaDepth) << c.format;
    EXPECT_EQ(d.picture.colorDepth, c.colorDepth) << c.format;
    EXPECT_EQ(d.picture.Grey(), c.grey) << c.format;
    EXPECT_EQ(d.picture.lfb->HasAlpha(), c.alphaDepth > 0) << c.format;
  }
}

TEST(BitmapFormatsTest, TdfRoundTripGivesThePictureUpsideDown) {
  const LFB source = Gradient(4, 2, false, false);
  Bytes file;
  qibo::io::Encode3DF(source, file);
  const std::string text(file.begin(), file.begin() + 49);
  EXPECT_EQ(text, "3df v1.1\nrgb565\nlod range: 4 4\naspect ratio: 2 1\n") << text;
  Decoded d = DecodeBytes(qibo::io::Decode3DF, file);
  ASSERT_TRUE(d.ok) << d.why;
  ASSERT_EQ(d.picture.lfb->GetWidth(), 4);
  ASSERT_EQ(d.picture.lfb->GetHeight(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      const uint32_t v = source.GetPixel(x, 1 - y);  // rgb565 keeps the top 5, 6, 5 bits
      const uint32_t r = v >> 19 & 31, g = v >> 10 & 63, b = v >> 3 & 31;
      EXPECT_EQ(d.picture.lfb->GetPixel(x, y),
                0xFF000000u | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2));
    }
}

TEST(BitmapFormatsTest, PbmReadsBackWithATinyReader) {
  const LFB source = Gradient(5, 3, true, false);
  Bytes file;
  qibo::io::EncodePBM(source, file);
  int width = 0, height = 0, maxValue = 0, used = 0;
  const std::string text(file.begin(), file.end());
  ASSERT_EQ(sscanf(text.c_str(), "P6\n%d %d\n%d\n%n", &width, &height, &maxValue, &used), 3);
  ASSERT_EQ(used, 11);
  ASSERT_EQ(file.size(), size_t(used + 3 * width * height));
  EXPECT_EQ(width, 5);
  EXPECT_EQ(height, 3);
  EXPECT_EQ(maxValue, 255);
  for (int i = 0; i < width * height; ++i) {
    const uint8_t* p = file.data() + used + 3 * i;
    EXPECT_EQ(0xFF000000u | p[0] << 16 | p[1] << 8 | p[2],
              source.GetPixel(i % width, i / width) | 0xFF000000u);
  }
}

TEST(BitmapFormatsTest, JpegRoundTripStaysClose) {
  for (const bool grey : {false, true}) {
    const LFB source = Smooth(64, 48, grey);
    Bytes file;
    std::string why;
    ASSERT_TRUE(qibo::io::EncodeJpeg(source, 90, file, why)) << why;
    EXPECT_EQ(file[0], 0xFF);
    Decoded d = DecodeBytes(qibo::io::DecodeJpeg, file);
    ASSERT_TRUE(d.ok) << d.why;
    EXPECT_EQ(d.picture.Grey(), grey);
    double squares = 0;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x)
        for (int shift : {0, 8, 16}) {
          const double e = double(source.GetPixel(x, y) >> shift & 0xFF) -
                           double(d.picture.lfb->GetPixel(x, y) >> shift & 0xFF);
          squares += e * e;
        }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squares / (64 * 48 * 3)));
    EXPECT_GT(psnr, 35.0) << (grey ? "grey" : "colour");
    EXPECT_EQ(d.picture.lfb->GetPixel(5, 5) >> 24, 0xFFu);
  }
}

TEST(BitmapFormatsTest, CelAndBmpDecode) {
  Decoded cel = DecodeBytes(qibo::io::DecodeCEL, Cel(2, 1, 7, {7, 0}));
  ASSERT_TRUE(cel.ok) << cel.why;
  EXPECT_EQ(Pixels(*cel.picture.lfb), (std::vector<uint32_t>{0xFFFC8004, 0xFF000000}));
  Decoded bmp = DecodeBytes(qibo::io::DecodeBMP,
                            Bmp(3, 2, [](int x, int y) { return uint32_t(x * 0x100000 + y * 0x30 + 1); }));
  ASSERT_TRUE(bmp.ok) << bmp.why;
  EXPECT_EQ(Pixels(*bmp.picture.lfb),
            (std::vector<uint32_t>{0xFF000001, 0xFF100001, 0xFF200001, 0xFF000031, 0xFF100031, 0xFF200031}));
  EXPECT_FALSE(bmp.picture.Grey());
}

TEST(BitmapFormatsTest, DamagedFilesAreRefusedWithTheirMessage) {
  const Bytes pixels(64, 1);
  Bytes bigTables = SgiSharedRun(16000, 16000, 1);
  struct Case {
    const char* name;
    Decoder decode;
    Bytes file;
    const char* why;
  } cases[] = {
      {"targa 12 bits", qibo::io::DecodeTarga, Targa(2, 1, 1, 12, 0, pixels), "Unsupported bit depth"},
      {"targa colour map", qibo::io::DecodeTarga, Targa(1, 1, 1, 8, 0, pixels), "Unsupported bit depth"},
      {"targa run past picture", qibo::io::DecodeTarga, Targa(10, 2, 1, 24, 0, {0x82, 1, 2, 3}),
       "past the picture"},
      {"targa run past file", qibo::io::DecodeTarga, Targa(10, 4, 1, 24, 0, {0x00, 1, 2, 3, 0x81, 1}),
       "past the end"},
      {"targa truncated", qibo::io::DecodeTarga, Targa(2, 5, 4, 32, 0, pixels), "truncated"},
      {"targa zero width", qibo::io::DecodeTarga, Targa(2, 0, 4, 32, 0, pixels), "out of range"},
      {"targa over the side cap", qibo::io::DecodeTarga, Targa(11, 20000, 1, 8, 0, Bytes(400, 0xFF)),
       "out of range"},
      {"sgi magic", qibo::io::DecodeSGI, Bytes(600, 0), "Not a valid SGI file: "},
      {"sgi dimension", qibo::io::DecodeSGI, SgiHeader(0, 1, 1, 1, 1, 1), "Unsupported SGI dimension: "},
      {"sgi bpc", qibo::io::DecodeSGI, SgiHeader(0, 2, 3, 1, 1, 1), "Unsupported BPC: "},
      {"sgi 2 channels", qibo::io::DecodeSGI, SgiHeader(0, 1, 3, 1, 1, 2),
       "Unsupported number of channels: "},
      {"sgi verbatim truncated", qibo::io::DecodeSGI, SgiHeader(0, 1, 3, 4, 4, 3), "truncated"},
      {"sgi offset into header", qibo::io::DecodeSGI, SgiRun(2, 2, 1, {2, 1, 0}, 100), "points outside"},
      {"sgi offset past file", qibo::io::DecodeSGI, SgiRun(2, 2, 1, {2, 1, 0}, 5000), "points outside"},
      {"sgi line past picture", qibo::io::DecodeSGI, SgiRun(2, 1, 1, {3, 1, 0}), "runs past"},
      {"sgi literal past data", qibo::io::DecodeSGI, SgiRun(4, 1, 1, {0x84, 1, 2}), "runs past"},
      {"sgi over the budget", qibo::io::DecodeSGI, bigTables, "exceeds the texture budget"},
      {"cel zero width", qibo::io::DecodeCEL, Cel(0, 1, 0, {}), "Unsupported format"},
      {"cel too high", qibo::io::DecodeCEL, Cel(1, 10001, 0, {}), "Unsupported format"},
      {"cel truncated", qibo::io::DecodeCEL, Cel(4, 4, 0, {1, 2}), "truncated"},
      {"3df version", qibo::io::Decode3DF, Bytes{'3', 'd', 'f', ' ', 'v', '1', '.', '0', '\n'},
       "Only 3DF v1.1 supported"},
      {"3df format", qibo::io::Decode3DF, Tdf("yuv422", 2, 1, 1, pixels), "Unsupported color format"},
      {"3df aspect zero", qibo::io::Decode3DF, Tdf("i8", 2, 0, 1, pixels), "out of range"},
      {"3df lod too large", qibo::io::Decode3DF, Tdf("i8", 20000, 1, 1, pixels), "out of range"},
      {"3df truncated", qibo::io::Decode3DF, Tdf("rgb565", 8, 1, 1, pixels), "truncated"},
      {"jpeg garbage", qibo::io::DecodeJpeg, pixels, "JPEG"},
      {"bmp size", qibo::io::DecodeBMP, Bmp(0, 1, [](int, int) { return 0u; }), "out of range"},
      {"bmp over the budget with SDL's copy", qibo::io::DecodeBMP, BmpRle8(8192, 8192, false),
       "exceeds the texture budget"},
      {"bmp SDL refuses", qibo::io::DecodeBMP,
       [] {
         Bytes b = BmpRle8(4, 4);
         b[30] = 9;  // no such compression
         return b;
       }(),
       "BMP file refused ("},
      {"jpeg of 704 scans", qibo::io::DecodeJpeg, ManyScanJpeg(63), "more than 256 scans"},
  };
  for (const Case& c : cases) {
    Decoded d = DecodeBytes(c.decode, c.file);
    EXPECT_FALSE(d.ok) << c.name;
    EXPECT_EQ(d.picture.lfb, nullptr) << c.name;
    EXPECT_NE(d.why.find(c.why), std::string::npos) << c.name << ": " << d.why;
  }
}

// Progressive pictures of a sensible number of scans decode as any other.
TEST(BitmapFormatsTest, JpegOfManyScansDecodes) {
  const Bytes jpeg = ManyScanJpeg(1);  // 22 scans
  Decoded d = DecodeBytes(qibo::io::DecodeJpeg, jpeg);
  ASSERT_TRUE(d.ok) << d.why;
  EXPECT_EQ(d.picture.lfb->GetWidth(), 16);
  EXPECT_TRUE(d.picture.Grey());
}

// A decoder needs little more memory than the picture it makes (and the
// one copy SDL keeps of a BMP in its own pixel size): no plane or converted
// copy of the whole picture beside it, whatever a small file claims.
TEST(BitmapFormatsTest, DecodersNeedLittleMoreThanThePicture) {
  constexpr int kSide = 2048;
  constexpr int64_t kPicture = int64_t{kSide} * kSide * 4;
  constexpr int64_t kSlack = 1 << 20;
  const struct Case {
    const char* name;
    Decoder decode;
    Bytes file;
    int64_t extra;  // allowed beside the picture
  } cases[] = {
      {"sgi shared scan lines, 4 channels", qibo::io::DecodeSGI, SgiSharedRun(kSide, kSide, 4), 0},
      {"sgi verbatim, 3 channels", qibo::io::DecodeSGI,
       SgiVerbatim(kSide, kSide, 3, [](int c) { return Bytes(size_t{kSide} * kSide, uint8_t(c)); }), 0},
      {"bmp run-length 8 bits", qibo::io::DecodeBMP, BmpRle8(kSide, kSide), int64_t{kSide} * kSide},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d;
    const int64_t peak = PeakHeapGrowth([&] { d = DecodeBytes(c.decode, c.file); });
    if (peak < 0) GTEST_SKIP() << "the heap is measured only in sanitizer builds";
    ASSERT_TRUE(d.ok) << d.why;
    EXPECT_EQ(d.picture.lfb->GetWidth(), kSide);
    EXPECT_LE(peak, kPicture + c.extra + kSlack);
  }
  Decoded bmp = DecodeBytes(qibo::io::DecodeBMP, BmpRle8(3, 2));
  ASSERT_TRUE(bmp.ok) << bmp.why;
  EXPECT_EQ(Pixels(*bmp.picture.lfb), std::vector<uint32_t>(6, 0xFFFF8040));
}

// Every proper prefix of a good file is refused, with nothing kept.
TEST(BitmapFormatsTest, TruncatedFilesAreRefusedAtEveryByte) {
  Bytes jpeg;
  std::string why;
  ASSERT_TRUE(qibo::io::EncodeJpeg(Gradient(16, 16, false, false), 75, jpeg, why));
  Bytes targa;
  qibo::io::EncodeTarga(Gradient(3, 3, true, false), true, targa);
  struct Case {
    const char* name;
    Decoder decode;
    Bytes file;
  } cases[] = {
      {"targa", qibo::io::DecodeTarga, targa},
      {"targa run-length", qibo::io::DecodeTarga,
       Targa(10, 3, 2, 24, 0, {0x83, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9})},
      {"sgi", qibo::io::DecodeSGI, SgiRun(3, 2, 3, {0x82, 7, 8, 0x01, 9, 0})},
      {"cel", qibo::io::DecodeCEL, Cel(2, 2, 3, {3, 3, 0, 1})},
      {"3df", qibo::io::Decode3DF, Tdf("argb4444", 2, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8})},
      {"jpeg", qibo::io::DecodeJpeg, jpeg},
      {"bmp", qibo::io::DecodeBMP, Bmp(2, 2, [](int x, int) { return uint32_t(x); })},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(DecodeBytes(c.decode, c.file).ok) << c.name;
    for (size_t n = 0; n < c.file.size(); ++n) {
      Decoded d = DecodeBytes(c.decode, Bytes(c.file.begin(), c.file.begin() + n));
      EXPECT_FALSE(d.ok) << c.name << " cut to " << n;
      EXPECT_EQ(d.picture.lfb, nullptr) << c.name << " cut to " << n;
    }
  }
}
