#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
