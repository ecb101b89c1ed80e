// qibo info, convert and view on models: the room the model tests write,
// and the 3D Studio samples Debian ships with assimp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "plugins/io/PictureCodec.h"
#include "tests/io/PictureBytes.h"
#include "tests/support/Files.h"
#include "tests/support/Studio3DS.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

using namespace qibo::test;

namespace {

constexpr uint32_t kBackground = 0x1C2430;  // the viewer's clear colour

void PutRoom() {
  const std::vector<uint8_t> room = RoomScene3DS();
  PutFile("room.3ds", std::string(room.begin(), room.end()));
  PutFile("room", std::string(room.begin(), room.end()));  // no extension: read by its content
  const Bytes wood = Targa(2, 2, 2, 24, 0x20, Bytes(12, 0x80));
  PutFile("wood.tga", std::string(wood.begin(), wood.end()));
}

// How much of a snapshot shows something other than the background: the
// share of pixels that differ from it, the top right corner (the render
// device's logo) left out, and the centre of those pixels (0..1 across and
// down).
struct Coverage {
  double share = 0;
  double x = 0, y = 0;
};

Coverage Measure(const std::string& file) {
  const std::string bytes = GetFile(file);
  qibo::io::Picture picture;
  std::string why;
  Coverage coverage;
  if (!qibo::io::DecodeTarga(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture, why))
    return coverage;
  const LFB& lfb = *picture.lfb;
  const int w = lfb.GetWidth(), h = lfb.GetHeight();
  int counted = 0, covered = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (x >= w - 136 && y < 72) continue;
      ++counted;
      const uint32_t p = lfb.GetPixel(x, y);
      bool differs = false;
      for (int shift : {16, 8, 0})
        differs |= std::abs(static_cast<int>((p >> shift) & 0xFF) -
                            static_cast<int>((kBackground >> shift) & 0xFF)) > 16;
      if (!differs) continue;
      ++covered;
      coverage.x += x;
      coverage.y += y;
    }
  if (covered) {
    coverage.x /= covered * static_cast<double>(w);
    coverage.y /= covered * static_cast<double>(h);
  }
  coverage.share = counted ? static_cast<double>(covered) / counted : 0;
  return coverage;
}

TEST(ModelCommandsTest, InfoAndConvert_DescribeAndSaveModels) {
  TempDir dir;
  ASSERT_TRUE(dir.Enter());
  PutRoom();
  PutFile("editor.3ds", std::string("\x3D\x3D\x06\x00\x00\x00", 6));
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::vector<const char*> output;
  } cases[] = {
      {{"info", "room.3ds"},
       0,
       {"3D Studio importer", "drawables    2", "groups       1", "faces        14", "lights       1",
        "cameras      1", "Red (room)", "bounds       (-3, 0, -3) to (3, 2, 3)",
        "Unknown material: Missing (room)"}},
      {{"info", "room"}, 0, {"3D Studio importer", "faces        14"}},
      {{"convert", "room.3ds", "room.qbo"}, 0, {}},
      {{"info", "room.qbo"}, 0, {"Tree-stream loader", "groups       2", "faces        14"}},
      {{"dump", "room.qbo"}, 0, {"Box01 (room)"}},
      {{"convert", "room.3ds", "room.ppm"}, 1, {"a model converts to a chunk-stream scene (.qbo)"}},
      {{"info", "editor.3ds"}, 1, {"the model could not be read", "Not a valid 3DS file: editor.3ds"}},
      {{"convert", "missing.3ds", "x.qbo"}, 1, {"File not found: missing.3ds"}},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunTool(c.args, &output), c.exitCode) << c.args[0] << " " << c.args[1] << "\n" << output;
    for (const char* text : c.output)
      EXPECT_NE(output.find(text), std::string::npos) << text << "\n" << output;
  }
  EXPECT_FALSE(std::filesystem::exists("x.qbo"));
}

TEST(ModelCommandsTest, View_RefusesBadRequestsClearly) {
  TempDir dir;
  ASSERT_TRUE(dir.Enter());
  PutRoom();
  PutFile("editor.3ds", std::string("\x3D\x3D\x06\x00\x00\x00", 6));
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* output;
  } cases[] = {
      {{"view"}, 2, "usage"},
      {{"view", "room.3ds", "--size", "10x10"}, 2, "--size takes WIDTHxHEIGHT"},
      {{"view", "room.3ds", "--size", "320"}, 2, "--size takes WIDTHxHEIGHT"},
      {{"view", "room.3ds", "--snapshot"}, 2, "usage"},
      {{"view", "editor.3ds", "--snapshot", "x.tga"}, 1, "Not a valid 3DS file: editor.3ds"},
      {{"view", "wood.tga", "--snapshot", "x.tga"}, 1, "not a model this tool can read"},
      {{"view", "room.3ds", "--snapshot", "x.xyz"}, 1, "no exporter for this extension"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunTool(c.args, &output), c.exitCode) << c.args.back() << "\n" << output;
    EXPECT_NE(output.find(c.output), std::string::npos) << output;
  }
  EXPECT_FALSE(std::filesystem::exists("x.tga"));
}

// The model fills a good part of the frame, around its middle, from the
// 3D Studio file and from the scene it converts to alike.
TEST(ModelCommandsTest, ViewSnapshot_ShowsTheModelInTheMiddleOfTheFrame) {
  TempDir dir;
  ASSERT_TRUE(dir.Enter());
  PutRoom();
  std::string output;
  ASSERT_EQ(RunTool({"convert", "room.3ds", "room.qbo"}, &output), 0) << output;
  for (const char* model : {"room.3ds", "room.qbo"}) {
    SCOPED_TRACE(model);
    ASSERT_EQ(RunTool({"view", model, "--snapshot", "shot.tga", "--size", "320x240"}, &output), 0) << output;
    const Coverage coverage = Measure("shot.tga");
    EXPECT_GT(coverage.share, 0.1);
    EXPECT_LT(coverage.share, 0.8);
    EXPECT_NEAR(coverage.x, 0.5, 0.1);
    EXPECT_NEAR(coverage.y, 0.5, 0.15);
  }
}

// Real files a user would bring: each shows, covering a plausible part of
// the frame.
TEST(ModelCommandsTest, ViewSnapshot_ShowsEachDistributionSample) {
  const std::filesystem::path folder = "/usr/share/assimp/models/3DS";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "assimp-testmodels is not installed";
  TempDir dir;
  ASSERT_TRUE(dir.Enter());
  int shown = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    const std::string ext = entry.path().extension().string();
    if (ext != ".3ds" && ext != ".3DS" && name != "testFormatDetection") continue;
    SCOPED_TRACE(name);
    ++shown;
    std::string output;
    ASSERT_EQ(
        RunTool({"view", entry.path().string(), "--snapshot", "shot.tga", "--size", "320x240"}, &output), 0)
        << output;
    const Coverage coverage = Measure("shot.tga");
    EXPECT_GT(coverage.share, 0.02);
    EXPECT_LT(coverage.share, 0.9);
  }
  EXPECT_EQ(shown, 10);
}

}  // namespace
