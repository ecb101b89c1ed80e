#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "core/persist/FileSearch.h"
#include "demo/data/BitmapFont.h"
#include "demo/data/DemoPictures.h"
#include "plugins/io/PictureCodec.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

using namespace qibo::demo;

namespace {

double Luminance(uint32_t argb) {
  return 0.299 * ((argb >> 16) & 0xFF) + 0.587 * ((argb >> 8) & 0xFF) + 0.114 * (argb & 0xFF);
}

bool Decode(const std::vector<uint8_t>& image, PictureFormat format, qibo::io::Picture& picture,
            std::string& why) {
  return format == PictureFormat::kJpeg ? qibo::io::DecodeJpeg(image.data(), image.size(), picture, why)
                                        : qibo::io::DecodeTarga(image.data(), image.size(), picture, why);
}

}  // namespace

// The pictures are painted and written once, into a folder of their own.
class DemoPicturesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new qibo::test::TempDir;
    ASSERT_TRUE(s_dir->Enter());
    std::string error;
    ASSERT_TRUE(WriteDemoPictures(s_dir->Path(), &error)) << error;
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), s_dir->Path()));
  }
  static qibo::test::TempDir* s_dir;
};
qibo::test::TempDir* DemoPicturesTest::s_dir = nullptr;

TEST_F(DemoPicturesTest, EveryPictureDecodesAtItsSizeWithDarkAndBrightParts) {
  for (const GeneratedPicture& entry : DemoPictures()) {
    SCOPED_TRACE(entry.file);
    const std::string bytes = qibo::test::GetFile(std::string(entry.folder) + "/" + entry.file);
    const std::vector<uint8_t> image(bytes.begin(), bytes.end());
    qibo::io::Picture picture;
    std::string why;
    ASSERT_TRUE(Decode(image, entry.format, picture, why)) << why;
    const LFB& lfb = *picture.lfb;
    const bool texture = entry.format == PictureFormat::kTarga;
    EXPECT_EQ(lfb.GetWidth(), texture ? kTextureSide : kPictureWidth);
    EXPECT_EQ(lfb.GetHeight(), texture ? kTextureSide : kPictureHeight);
    EXPECT_TRUE(lfb.IsColor());

    double darkest = 255.0, brightest = 0.0, sum = 0.0;
    for (int y = 0; y < lfb.GetHeight(); ++y)
      for (int x = 0; x < lfb.GetWidth(); ++x) {
        const double l = Luminance(lfb.GetPixel(x, y));
        darkest = std::min(darkest, l);
        brightest = std::max(brightest, l);
        sum += l;
      }
    // Designed pictures, not flat fills: deep shadows and strong highlights
    // around a mid-tone that is neither black nor washed out.
    EXPECT_LT(darkest, texture ? 80.0 : 30.0);
    EXPECT_GT(brightest, texture ? 150.0 : 200.0);
    const double mean = sum / (lfb.GetWidth() * lfb.GetHeight());
    EXPECT_GT(mean, 10.0);
    EXPECT_LT(mean, 180.0);
  }
}

TEST_F(DemoPicturesTest, FilesLandWhereTheProgramAndTheTextureManagerLook) {
  // The names the program opens, with its "\" separators.
  for (const char* name :
       {"runfiles\\Start1.jpg", "runfiles\\Start2.jpg", "runfiles\\credits-leeg.jpg",
        "runfiles\\credits-code.jpg", "runfiles\\credits-music.jpg", "runfiles\\credits-graphics.jpg"}) {
    const auto found = qibo::FindFiles(name);
    ASSERT_EQ(found.size(), 1u) << name;
    EXPECT_GT(found[0].size, 1000) << name;
  }
  // A material's texture "cubesN" is looked up as ".\textures\cubesN.*".
  for (const char* name : {"cubes1", "cubes2", "cubes3", "cubes4"}) {
    const auto found = qibo::FindFiles((std::string(".\\textures\\") + name + ".*").c_str());
    ASSERT_EQ(found.size(), 1u) << name;
    EXPECT_EQ(found[0].name, std::string(name) + ".tga");
  }
}

TEST(DemoPicturesErrorTest, UnwritableFolderIsReportedByName) {
  qibo::test::TempDir dir;
  ASSERT_TRUE(dir.Enter());
  qibo::test::PutFile("blocker", "a file where a folder should be");
  std::string error;
  EXPECT_FALSE(WriteDemoPictures((std::filesystem::path(dir.Path()) / "blocker").string(), &error));
  EXPECT_NE(error.find("blocker"), std::string::npos) << error;
  const LFB empty;
  EXPECT_TRUE(EncodePicture(empty, PictureFormat::kJpeg, error).empty());
}

TEST(BitmapFontTest, GlyphCellsShowAtEveryScale) {
  // Every glyph the pictures can use, at small and large sizes: each set
  // cell is mostly covered, each clear cell mostly not (smoothing may fill
  // a clear cell's corner where a diagonal passes it).
  std::string glyphs;
  for (char c = ' '; c < 127; ++c)
    if (BitmapFont::HasGlyph(c)) glyphs += c;
  ASSERT_GE(glyphs.size(), 26u * 2 + 10);
  for (const double scale : {4.0, 9.0, 13.5}) {
    for (const char c : glyphs) {
      Mask mask(static_cast<int>(8 * scale), static_cast<int>(10 * scale));
      DrawText(mask, std::string_view(&c, 1), scale, scale, scale);
      for (int y = 0; y < BitmapFont::kCellHeight; ++y)
        for (int x = 0; x < BitmapFont::kCellWidth; ++x) {
          // The mean coverage of the pixels whose centres lie in the cell.
          double sum = 0.0;
          int count = 0;
          for (int py = 0; py < mask.height; ++py)
            for (int px = 0; px < mask.width; ++px) {
              const double u = (px + 0.5) / scale - 1.0, v = (py + 0.5) / scale - 1.0;
              if (u < x || u >= x + 1 || v < y || v >= y + 1) continue;
              sum += mask.At(px, py);
              ++count;
            }
          ASSERT_GT(count, 0);
          const double coverage = sum / count;
          if (BitmapFont::Cell(c, x, y))
            EXPECT_GT(coverage, 0.75) << "'" << c << "' cell " << x << "," << y << " scale " << scale;
          else
            EXPECT_LT(coverage, 0.5) << "'" << c << "' cell " << x << "," << y << " scale " << scale;
        }
    }
  }
}

TEST(BitmapFontTest, TextIsPlacedAndMeasuredInCells) {
  struct Case {
    std::string text;
    double scale;
  };
  const Case cases[] = {{"QUARNDELION", 9.0}, {"a qiBO demo", 4.0}, {"I", 3.0}, {"~", 5.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const double width = BitmapFont::Width(c.text, c.scale);
    EXPECT_DOUBLE_EQ(width, (BitmapFont::kAdvance * c.text.size() - 1) * c.scale);
    Mask mask(700, 120);
    DrawTextCentred(mask, c.text, 350.0, 10.0, c.scale);
    // Ink stays inside the measured box and reaches close to both ends.
    int left = mask.width, right = -1, top = mask.height, bottom = -1;
    for (int y = 0; y < mask.height; ++y)
      for (int x = 0; x < mask.width; ++x)
        if (mask.At(x, y) > 0.5f) {
          left = std::min(left, x), right = std::max(right, x);
          top = std::min(top, y), bottom = std::max(bottom, y);
        }
    ASSERT_GE(right, 0) << "nothing drawn";
    EXPECT_GE(left, std::floor(350.0 - width / 2) - 1);
    EXPECT_LE(right, std::ceil(350.0 + width / 2) + 1);
    EXPECT_GE(top, 10 - 1);
    EXPECT_LE(bottom, 10 + BitmapFont::kCellHeight * c.scale + 1);
  }
  // Characters without a glyph draw a box, so a missing one shows.
  EXPECT_FALSE(BitmapFont::HasGlyph('~'));
  EXPECT_TRUE(BitmapFont::Cell('~', 0, 0));
}
