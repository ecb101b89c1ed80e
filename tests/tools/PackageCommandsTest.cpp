// The package verbs, run as a user would: pack, list, extract and dump.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/object/ByteIO.h"
#include "core/persist/CTPackageFile.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

namespace {

using qibo::test::RunTool;

class PackageCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Enter()); }
  void TearDown() override { m_dir.Leave(); }

  static void Put(const char* name, const std::string& bytes) { qibo::test::PutFile(name, bytes); }
  static std::string Get(const char* name) { return qibo::test::GetFile(name); }
  static mode_t Mode(const char* name) {
    struct stat st {};
    stat(name, &st);
    return st.st_mode & 0777;
  }

  // A package made elsewhere, whose members our own writer would refuse:
  // (name, bytes) pairs stored in order.
  static std::string HandMade(const std::vector<std::pair<std::string, std::string>>& members) {
    std::vector<uint8_t> out;
    qibo::ByteWriter w(out);
    for (const auto& [name, bytes] : members) w.Text(bytes, bytes.size());
    const uint32_t dirOffset = static_cast<uint32_t>(out.size());
    uint32_t offset = 0;
    for (const auto& [name, bytes] : members) {
      w.Text(name, qibo::kPackageNameSize);
      w.U32(offset);
      w.U32(static_cast<uint32_t>(bytes.size()));
      offset += static_cast<uint32_t>(bytes.size());
    }
    w.U32(dirOffset);
    w.U32(static_cast<uint32_t>(members.size()));
    w.U32(0);
    w.U32(qibo::kPackageMagicNoChecksum);
    return std::string(out.begin(), out.end());
  }

  qibo::test::TempDir m_dir;
};

}  // namespace

// Members whose names differ only in case each keep their own bytes, in a
// full extract and when named exactly.
TEST_F(PackageCommandsTest, Extract_MembersDifferingInCaseKeepTheirOwnBytes) {
  Put("pair.vdl", HandMade({{"Read.me", "first"}, {"READ.ME", "second"}}));
  std::string output;
  ASSERT_EQ(RunTool({"extract", "pair.vdl"}, &output), 0) << output;
  EXPECT_EQ(Get("Read.me"), "first");
  EXPECT_EQ(Get("READ.ME"), "second");
  ASSERT_EQ(unlink("READ.ME"), 0);
  ASSERT_EQ(RunTool({"extract", "pair.vdl", "READ.ME"}, &output), 0) << output;
  EXPECT_EQ(Get("READ.ME"), "second");
}

// A new package is created by its exact name with the mode any new file
// gets; a package written over an old one keeps the old one's mode.
TEST_F(PackageCommandsTest, Pack_CreatesTheExactNameAndKeepsModes) {
  Put("data.txt", "payload");
  Put("OUT.VDL", "someone else's file");
  const mode_t saved = umask(027);
  std::string output;
  const int first = RunTool({"pack", "out.vdl", "data.txt"}, &output);
  ASSERT_EQ(chmod("out.vdl", 0600), 0);
  const int second = RunTool({"pack", "out.vdl", "data.txt"}, &output);
  umask(saved);
  ASSERT_EQ(first, 0) << output;
  ASSERT_EQ(second, 0) << output;
  EXPECT_EQ(Get("OUT.VDL"), "someone else's file");
  EXPECT_EQ(Mode("out.vdl"), 0600u);
  EXPECT_NE(Get("out.vdl").find("payload"), std::string::npos);
  ASSERT_EQ(RunTool({"pack", "new.vdl", "data.txt"}), 0);
  EXPECT_EQ(Mode("new.vdl"), 0644u & ~static_cast<mode_t>(saved));
}

// A FIFO, a directory or a file too large for a package is refused at once,
// without waiting for a writer or reading gigabytes first.
TEST_F(PackageCommandsTest, NonRegularOrHugeInputsAreRefusedAtOnce) {
  ASSERT_EQ(mkfifo("pipe", 0644), 0);
  ASSERT_EQ(mkdir("folder", 0755), 0);
  const int huge = open("huge.bin", O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(huge, 0);
  ASSERT_EQ(ftruncate(huge, 5LL << 30), 0);  // sparse: costs no disk
  close(huge);
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"pack", "out.vdl", "pipe"}, "not a regular file"},
      {{"pack", "out.vdl", "folder"}, "not a regular file"},
      {{"pack", "out.vdl", "huge.bin"}, "4 GiB"},
      {{"list", "pipe"}, "pipe"},
      {{"extract", "pipe"}, "pipe"},
      {{"dump", "pipe"}, "pipe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    std::string output;
    EXPECT_EQ(RunTool(c.args, &output), 1) << output;
    EXPECT_NE(output.find(c.says), std::string::npos) << output;
  }
  EXPECT_NE(access("out.vdl", F_OK), 0);
}

// Names from a package reach the terminal escaped: no control sequence in a
// file can change the user's terminal.
TEST_F(PackageCommandsTest, List_EscapesControlCharactersInNames) {
  Put("odd.vdl", HandMade({{"red\x1b[31mtext", "x"}, {"caf\xc3\xa9.txt", "y"}, {"c1\xc2\x9b.txt", "z"}}));
  std::string output;
  ASSERT_EQ(RunTool({"list", "odd.vdl"}, &output), 0) << output;
  EXPECT_EQ(output.find('\x1b'), std::string::npos);
  EXPECT_NE(output.find("red\\x1B[31mtext"), std::string::npos) << output;
  EXPECT_NE(output.find("caf\xc3\xa9.txt"), std::string::npos) << output;  // UTF-8 stays
  EXPECT_NE(output.find("c1\\xC2\\x9B.txt"), std::string::npos) << output;
}
