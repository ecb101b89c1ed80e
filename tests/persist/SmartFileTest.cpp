#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/persist/OsPath.h"
#include "core/persist/SmartFile.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace {

class SmartFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Enter()); }
  void TearDown() override { m_dir.Leave(); }

  static void Put(const char* name, const std::string& bytes) { qibo::test::PutFile(name, bytes); }
  static std::string Get(const char* name) { return qibo::test::GetFile(name); }
  // Every line ReadLine gives until the end of the data.
  static std::vector<std::string> Lines(SmartFile& file) {
    std::vector<std::string> lines;
    while (!file.EndOfFile() && lines.size() < 100) lines.push_back(file.ReadLine().c_str());
    return lines;
  }

  qibo::test::TempDir m_dir;
};

using Lines_t = std::vector<std::string>;

// --- Reading lines -----------------------------------------------------------

TEST_F(SmartFileTest, ReadLine_LineEndRules) {
  const struct {
    std::string bytes;
    Lines_t lines;
  } cases[] = {
      {"a\nb", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"a\n\rb", {"a", "b"}},      // LF CR is one line end as well
      {"a\r\rb", {"a", "", "b"}},  // two CRs are two
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\rb\n", {"a", "b"}},  // the byte after a lone CR is kept
      {std::string("a\0b", 3), {"a", "b"}},
      {std::string("\0\0", 2), {"", ""}},
      {"last\r", {"last"}},
  };
  for (const auto& c : cases) {
    Put("lines.txt", c.bytes);
    SmartFile file;
    ASSERT_TRUE(file.Open("lines.txt", false));
    EXPECT_EQ(Lines(file), c.lines) << testing::PrintToString(c.bytes);
  }
}

TEST_F(SmartFileTest, ReadLine_StopsAt255Characters) {
  Put("long.txt", std::string(255, 'x') + "\n" + std::string(300, 'y') + "\nz");
  SmartFile file;
  ASSERT_TRUE(file.Open("long.txt", false));
  EXPECT_EQ(std::string(file.ReadLine().c_str()), std::string(255, 'x'));
  EXPECT_EQ(std::string(file.ReadLine().c_str()), "");  // the LF left behind by the cut
  EXPECT_EQ(std::string(file.ReadLine().c_str()), std::string(255, 'y'));
  EXPECT_EQ(std::string(file.ReadLine().c_str()), std::string(45, 'y'));
  EXPECT_EQ(std::string(file.ReadLine().c_str()), "z");
  EXPECT_TRUE(file.EndOfFile());
}

// --- Byte ranges -------------------------------------------------------------

TEST_F(SmartFileTest, Range_PositionsAreRelativeToItsFirstByte) {
  Put("pack.vdl", "0123456789ABCDEFGHIJ");
  SmartFile file;
  ASSERT_TRUE(file.OpenRange("pack.vdl", 10, 5));
  EXPECT_EQ(file.FilePos(), 0u);
  EXPECT_EQ(file.FileSize(), 5u);
  EXPECT_FALSE(file.EndOfFile());
  EXPECT_EQ(file.ReadByte(), 'A');
  EXPECT_EQ(file.FilePos(), 1u);
  EXPECT_TRUE(file.SeekEnd(1));
  EXPECT_EQ(file.ReadByte(), 'E');
  EXPECT_TRUE(file.EndOfFile());  // its own end, though the package goes on
  EXPECT_EQ(file.ReadByte(), -1);
  EXPECT_TRUE(file.SeekTo(2));
  EXPECT_EQ(file.Tell(), 2);
  EXPECT_TRUE(file.SeekRel(-1));
  EXPECT_EQ(file.ReadByte(), 'B');
}

TEST_F(SmartFileTest, Range_ReadsAndSeeksStayInside) {
  Put("pack.vdl", "0123456789ABCDE\nGHIJ");
  SmartFile file;
  ASSERT_TRUE(file.OpenRange("pack.vdl", 10, 5));
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, 1, sizeof(buffer)), 5u);
  EXPECT_STREQ(buffer, "ABCDE");
  EXPECT_EQ(file.Read(buffer, 1, 1), 0u);

  EXPECT_FALSE(file.SeekTo(-1));
  EXPECT_FALSE(file.SeekTo(6));
  EXPECT_FALSE(file.SeekEnd(6));
  EXPECT_FALSE(file.SeekRel(1));
  EXPECT_EQ(file.FilePos(), 5u);  // failed seeks do not move

  ASSERT_TRUE(file.SeekTo(0));
  EXPECT_EQ(file.Read(buffer, 2, 3), 2u);  // whole items only
  EXPECT_EQ(file.FilePos(), 4u);

  ASSERT_TRUE(file.SeekTo(0));
  EXPECT_EQ(std::string(file.ReadLine().c_str()), "ABCDE");  // the LF beyond the range is not seen
  EXPECT_TRUE(file.EndOfFile());
}

TEST_F(SmartFileTest, Range_OutsideTheFileIsRefused) {
  Put("pack.vdl", "0123456789");
  SmartFile file;
  EXPECT_FALSE(file.OpenRange("pack.vdl", 8, 3));
  EXPECT_FALSE(file.OpenRange("pack.vdl", 0xFFFFFFF0u, 0x20));  // start + size wraps in 32 bits
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(file.OpenRange("pack.vdl", 10, 0));
  EXPECT_TRUE(file.EndOfFile());
  EXPECT_FALSE(file.AttachRange(nullptr, 0, 0));
}

TEST_F(SmartFileTest, Range_AttachedHandleStartsAtTheRange) {
  Put("pack.vdl", "headerMEMBERtrailer");
  SmartFile file;
  ASSERT_TRUE(file.AttachRange(fopen("pack.vdl", "rb"), 6, 6));
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, 1, 7), 6u);
  EXPECT_STREQ(buffer, "MEMBER");
  SmartFile moved(std::move(file));
  EXPECT_FALSE(file.IsOpen());  // NOLINT: checking the moved-from state on purpose
  EXPECT_TRUE(moved.EndOfFile());
  ASSERT_TRUE(moved.SeekTo(0));
  EXPECT_EQ(moved.ReadByte(), 'M');
}

// --- Plain files -------------------------------------------------------------

TEST_F(SmartFileTest, Create_WritesStringsLinesAndBytes) {
  SmartFile file;
  ASSERT_TRUE(file.Create("out.bin", true));
  EXPECT_TRUE(file.WriteString("abc", true));
  EXPECT_TRUE(file.WriteString("de", false));
  EXPECT_TRUE(file.WriteLine("dos", true));
  EXPECT_TRUE(file.WriteLine("unix", false));
  EXPECT_TRUE(file.WriteByte(0x1FF));  // the low byte
  const uint16_t word = 0x0201;
  EXPECT_EQ(file.Write(&word, sizeof(word), 1), 1u);
  EXPECT_EQ(file.FileSize(), 19u);
  EXPECT_EQ(file.FilePos(), 19u);
  EXPECT_TRUE(file.EndOfFile());

  // Read back through the same handle, switching from writing to reading.
  ASSERT_TRUE(file.SeekTo(4));
  EXPECT_EQ(std::string(file.ReadLine().c_str()), "dedos");
  EXPECT_EQ(std::string(file.ReadLine().c_str()), "unix");
  EXPECT_EQ(file.ReadByte(), 0xFF);
  EXPECT_TRUE(file.WriteByte('!'));  // and back to writing, over the 0x01
  file.Close();
  EXPECT_EQ(Get("out.bin"), std::string("abc\0dedos\r\nunix\n\xFF!\x02", 19));
}

TEST_F(SmartFileTest, OpenReadWrite_OverwritesInPlace) {
  Put("data.bin", "0123456789");
  SmartFile file;
  ASSERT_TRUE(file.Open("data.bin", true));
  ASSERT_TRUE(file.SeekTo(8));
  EXPECT_TRUE(file.WriteString("xyz", false));  // grows the file by one
  EXPECT_EQ(file.FileSize(), 11u);
  ASSERT_TRUE(file.SeekEnd(11));
  EXPECT_EQ(file.ReadByte(), '0');
  file.Close();
  EXPECT_EQ(Get("data.bin"), "01234567xyz");
}

TEST_F(SmartFileTest, Append_AddsAtTheEnd) {
  Put("log.txt", "one\n");
  SmartFile file;
  ASSERT_TRUE(file.Append("log.txt"));
  EXPECT_EQ(file.FileSize(), 4u);
  ASSERT_TRUE(file.SeekTo(0));
  EXPECT_TRUE(file.WriteLine("two", false));
  EXPECT_EQ(file.FileSize(), 8u);
  file.Close();
  EXPECT_EQ(Get("log.txt"), "one\ntwo\n");
  ASSERT_TRUE(file.Append("new.txt"));
  EXPECT_EQ(file.FileSize(), 0u);
}

TEST_F(SmartFileTest, Failures_LeaveAClosedHandleThatIsSafeToUse) {
  std::filesystem::create_directory("folder");
  SmartFile file;
  EXPECT_FALSE(file.Open("missing.bin", false));
  EXPECT_FALSE(file.Open("folder", false));
  EXPECT_FALSE(file.Open(nullptr, false));
  EXPECT_FALSE(file.Create("nodir/x.bin", false));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(file.EndOfFile());
  EXPECT_EQ(file.ReadByte(), -1);
  EXPECT_FALSE(file.WriteByte('x'));
  EXPECT_EQ(file.Tell(), -1);
  EXPECT_FALSE(file.SeekTo(0));
  EXPECT_STREQ(file.ReadLine().c_str(), "");
  char buffer[4];
  EXPECT_EQ(file.Read(buffer, 1, 4), 0u);

  Put("ro.bin", "abc");
  ASSERT_TRUE(file.Open("ro.bin", false));
  EXPECT_FALSE(file.WriteString("x", false));  // opened for reading only
  EXPECT_EQ(file.FileSize(), 3u);
}

// --- Names -------------------------------------------------------------------

TEST_F(SmartFileTest, Names_BackslashesAndCaseInsensitiveFallback) {
  std::filesystem::create_directories("RunFiles/Pics");
  Put("RunFiles/Pics/Logo.JPG", "logo");
  SmartFile file;
  ASSERT_TRUE(file.Open("runfiles\\pics\\logo.jpg", false));
  EXPECT_EQ(file.FileSize(), 4u);
  ASSERT_TRUE(file.Open(".\\RUNFILES\\Pics\\LOGO.jpg", true));

  // A new file goes into the existing directory of another case.
  ASSERT_TRUE(file.Create("RUNFILES\\pics\\snap_001.tga", false));
  file.Close();
  EXPECT_TRUE(std::filesystem::exists("RunFiles/Pics/snap_001.tga"));
  EXPECT_FALSE(std::filesystem::exists("RUNFILES"));
}

TEST_F(SmartFileTest, Names_ExactSpellingWinsOverOtherCase) {
  Put("a.txt", "lower");
  Put("A.TXT", "upper");
  Put("B.txt", "b");
  EXPECT_EQ(qibo::FindPathIC("a.txt"), "a.txt");
  EXPECT_EQ(qibo::FindPathIC("A.TXT"), "A.TXT");
  EXPECT_EQ(qibo::FindPathIC("./b.TXT"), "./B.txt");
  EXPECT_EQ(qibo::FindPathIC(m_dir.Path() + "/b.txt"), m_dir.Path() + "/B.txt");
  EXPECT_EQ(qibo::FindPathIC("c.txt"), "");
  EXPECT_EQ(qibo::FindPathIC("b.txt/x"), "");
  EXPECT_EQ(qibo::OsPath(".\\streams\\"), "./streams/");
}

}  // namespace
