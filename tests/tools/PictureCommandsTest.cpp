// qibo convert and qibo info on pictures made by the test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/io/PictureBytes.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

using namespace qibo::test;

TEST(PictureCommandsTest, ConvertAndInfoChooseFormatsByExtension) {
  TempDir dir;
  ASSERT_TRUE(dir.Enter());
  // 2 x 1, 24 bits, top-left: blue-ish then red-ish.
  const Bytes targa = Targa(2, 2, 1, 24, 0x20, {0x30, 0x20, 0x10, 0x00, 0x00, 0xFF});
  PutFile("a.tga", std::string(targa.begin(), targa.end()));
  const Bytes bad = Targa(2, 1, 1, 12, 0, {1, 2});
  PutFile("bad.tga", std::string(bad.begin(), bad.end()));
  ASSERT_EQ(symlink("/dev/zero", "zero.jpg"), 0);
  ASSERT_EQ(mkdir("pictures", 0755), 0);
  ASSERT_EQ(symlink("pictures/linked.tga", "dangling.tga"), 0);
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* output;
  } cases[] = {
      {{"convert", "a.tga", "b.ppm"}, 0, ""},
      {{"convert", "b.ppm", "c.tga"}, 1, "no importer for this extension"},
      {{"convert", "a.tga", "c.JPG"}, 0, ""},
      {{"info", "c.JPG"}, 0, "JPEG Importer"},
      {{"info", "a.tga"}, 0, "size         2 x 1"},
      {{"convert", "a.tga", "d.xyz"}, 1, "no exporter for this extension"},
      {{"convert", "bad.tga", "e.ppm"}, 1, "Unsupported bit depth"},
      {{"convert", "missing.jpg", "e.ppm"}, 1, "File not found: missing.jpg"},
      // A file that is there but no picture file says so, not "not found".
      {{"info", "zero.jpg"}, 1, "not a regular file"},
      {{"convert", "a.tga", "no/folder/x.tga"}, 1, "No such file or directory"},
      {{"convert", "a.tga", "copy.tga"}, 0, ""},
      {{"convert", "a.tga", "dangling.tga"}, 0, ""},
      {{"info"}, 2, "usage"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunTool(c.args, &output), c.exitCode) << c.args[0] << " " << output;
    EXPECT_NE(output.find(c.output), std::string::npos) << output;
  }
  EXPECT_EQ(GetFile("b.ppm"), std::string("P6\n2 1\n255\n\x10\x20\x30\xFF\x00\x00", 17));
  EXPECT_EQ(GetFile("e.ppm"), "");  // nothing written for a refused picture
  // Converting onto a link whose target is missing makes the target; the
  // link stays a link.
  struct stat st;
  ASSERT_EQ(lstat("dangling.tga", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(GetFile("copy.tga"), "");
  EXPECT_EQ(GetFile("pictures/linked.tga"), GetFile("copy.tga"));
}
