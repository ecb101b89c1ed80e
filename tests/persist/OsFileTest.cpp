#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/persist/OsFile.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace {

// Whole files are read in chunks of any length; anything but a regular
// file is refused at once (a FIFO without a writer would block) and leaves
// no old bytes behind in the buffer.
TEST(OsFileTest, ReadWholeFileReadsRegularFilesAndRefusesTheRest) {
  qibo::test::TempDir dir;
  ASSERT_TRUE(dir.Enter());
  std::string big(200'003, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 9));
  qibo::test::PutFile("big.bin", big);
  qibo::test::PutFile("empty.bin", "");
  ASSERT_EQ(mkdir("folder", 0755), 0);
  ASSERT_EQ(mkfifo("pipe", 0644), 0);

  const struct {
    const char* name;
    bool ok;
    const std::string* bytes;
  } cases[] = {
      {"big.bin", true, &big},    {"empty.bin", true, nullptr}, {"missing.bin", false, nullptr},
      {"folder", false, nullptr}, {"pipe", false, nullptr},
  };
  for (const auto& c : cases) {
    std::vector<char> data(5, 'x');
    std::string why;
    EXPECT_EQ(qibo::ReadWholeFile(c.name, data, &why), c.ok) << c.name;
    EXPECT_EQ(std::string(data.begin(), data.end()), c.bytes ? *c.bytes : std::string()) << c.name;
    EXPECT_EQ(why.empty(), c.ok) << c.name << ": " << why;
  }
}

// Replacing a file through a symbolic link writes the link's final target
// and leaves every link a link, whether the target exists yet or not; a
// loop of links is refused.
TEST(OsFileTest, ReplaceFileWritesThroughLinksAndKeepsThem) {
  qibo::test::TempDir dir;
  ASSERT_TRUE(dir.Enter());
  ASSERT_EQ(mkdir("real", 0755), 0);
  qibo::test::PutFile("real/old.txt", "old");
  const std::string here = dir.Path();
  ASSERT_EQ(symlink("real/old.txt", "to-old"), 0);
  ASSERT_EQ(symlink("real/new.txt", "dangling"), 0);
  ASSERT_EQ(symlink((here + "/real/abs.txt").c_str(), "dangling-abs"), 0);
  ASSERT_EQ(symlink("dangling", "chain"), 0);
  ASSERT_EQ(symlink("../real/deep.txt", "real/inner"), 0);
  ASSERT_EQ(symlink("real/inner", "via-folder"), 0);
  ASSERT_EQ(symlink("loop-b", "loop-a"), 0);
  ASSERT_EQ(symlink("loop-a", "loop-b"), 0);
  const struct {
    const char* name;
    const char* target;  // null: refused
  } cases[] = {
      {"plain.txt", "plain.txt"},   {"to-old", "real/old.txt"},
      {"dangling", "real/new.txt"}, {"dangling-abs", "real/abs.txt"},
      {"chain", "real/new.txt"},    {"via-folder", "real/deep.txt"},
      {"loop-a", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string why;
    const std::string bytes = std::string("written as ") + c.name;
    EXPECT_EQ(qibo::ReplaceFile(c.name, bytes, &why), c.target != nullptr) << why;
    struct stat st;
    ASSERT_EQ(lstat(c.name, &st), 0);
    EXPECT_EQ(S_ISLNK(st.st_mode) != 0, !c.target || std::string(c.name) != c.target);
    if (c.target) {
      EXPECT_EQ(qibo::test::GetFile(c.target), bytes);
    } else {
      EXPECT_NE(why.find("symbolic links"), std::string::npos) << why;
    }
  }
}

}  // namespace
