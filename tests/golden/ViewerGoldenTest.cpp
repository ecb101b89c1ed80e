// The model viewer's snapshot of the room the model tests write: the same
// picture as the reference beside the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/golden/GoldenPictures.h"
#include "tests/io/PictureBytes.h"
#include "tests/support/Files.h"
#include "tests/support/Studio3DS.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

namespace {

using namespace qibo::test;

TEST(ViewerGoldenTest, RoomSnapshotMatchesTheReference) {
  TempDir dir;
  ASSERT_TRUE(dir.Enter());
  const std::vector<uint8_t> room = RoomScene3DS();
  PutFile("room.3ds", std::string(room.begin(), room.end()));
  // Wood of two tones in a 2 x 2 checker.
  const Bytes wood =
      Targa(2, 2, 2, 24, 0x20, {0x20, 0x50, 0x90, 0x40, 0x90, 0xD0, 0x40, 0x90, 0xD0, 0x20, 0x50, 0x90});
  PutFile("wood.tga", std::string(wood.begin(), wood.end()));
  constexpr int kWidth = 240, kHeight = 180;
  std::string output;
  ASSERT_EQ(RunTool({"view", "room.3ds", "--snapshot", "room.ppm", "--size", "240x180"}, &output), 0)
      << output;
  const golden::Picture actual = golden::ReadPpm("room.ppm", kWidth, kHeight);
  ASSERT_EQ(actual.pixels.size(), static_cast<size_t>(kWidth) * kHeight);
  golden::ExpectMatches(actual, QIBO_GOLDEN_DIR, "viewer-room");
}

}  // namespace
