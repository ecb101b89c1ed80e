#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "demo/data/DataPath.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using qibo::demo::EnterDataDirectory;

namespace {

class DataPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Enter());
    m_work = fs::path(m_dir.Path()) / "work";
    m_exe = fs::path(m_dir.Path()) / "exe dir";
    fs::create_directories(m_work);
    fs::create_directories(m_exe);
    ASSERT_EQ(chdir(m_work.c_str()), 0);
  }
  void TearDown() override { m_dir.Leave(); }

  static void PutData(const fs::path& folder) {
    fs::create_directories(folder / "runfiles");
    qibo::test::PutFile((folder / qibo::demo::kDataMarker).string(), "Extended Module: ");
  }

  qibo::test::TempDir m_dir;
  fs::path m_work;
  fs::path m_exe;
};

}  // namespace

TEST_F(DataPathTest, PrefersTheWorkingDirectoryThenFallsBackToTheExecutablesFolder) {
  enum class Where { kWork, kExe, kNeither };
  struct Case {
    const char* name;
    bool dataInWork;
    bool dataInExe;
    bool emptyFallback;
    bool found;
    Where cwdAfter;
  };
  const Case cases[] = {
      {"data in both", true, true, false, true, Where::kWork},
      {"data only here", true, false, false, true, Where::kWork},
      {"data only beside the program", false, true, false, true, Where::kExe},
      {"no data", false, false, false, false, Where::kWork},
      {"no fallback known", false, true, true, false, Where::kWork},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(m_work / "runfiles");
    fs::remove_all(m_exe / "runfiles");
    ASSERT_EQ(chdir(m_work.c_str()), 0);
    if (c.dataInWork) PutData(m_work);
    if (c.dataInExe) PutData(m_exe);

    std::string where;
    EXPECT_EQ(EnterDataDirectory(c.emptyFallback ? std::string() : m_exe.string(), &where), c.found);
    const fs::path expected = c.cwdAfter == Where::kExe ? m_exe : m_work;
    EXPECT_TRUE(fs::equivalent(fs::current_path(), expected)) << fs::current_path();
    if (c.found)
      EXPECT_TRUE(fs::equivalent(where, expected)) << where;
    else
      EXPECT_NE(where.find("runfiles/melody01.xm"), std::string::npos) << where;
    // Relative names now reach the data.
    EXPECT_EQ(fs::exists("runfiles/melody01.xm"), c.found);
  }
}

TEST_F(DataPathTest, ExecutableDirectoryHoldsTheRunningProgram) {
  const std::string folder = qibo::demo::ExecutableDirectory();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(fs::path(folder).is_absolute());
  EXPECT_TRUE(fs::exists(fs::path(folder) / "qiboTests_demo")) << folder;
}
