// The tool's own options and its answers to what it does not know: the
// version, help, usage errors, and the class listing with the plug-ins.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

namespace {

using qibo::test::RunTool;

class UsageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Enter()); }
  void TearDown() override { m_dir.Leave(); }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  qibo::test::TempDir m_dir;
};

}  // namespace

// Each call's exit code, its first line and what follows it: a usage error
// is one line saying what is wrong, then the usage (the whole tool's, or the
// verb's own line when the verb is known).
TEST_F(UsageTest, AnswersVersionHelpAndUsageErrors) {
  const struct {
    std::vector<std::string> args;
    int code;
    std::string first;  // the first line, exactly
    const char* then;   // in the second line; nullptr: there is none
  } cases[] = {
      {{"--version"}, 0, "qibo " QIBO_VERSION, nullptr},
      {{"help", "view"},
       0,
       "usage: qibo view FILE [--snapshot OUT] [--size WxH]  show a model or scene turning; "
       "--snapshot saves one frame",
       nullptr},
      {{"help"},
       0,
       "usage: qibo                      list the classes and the running services",
       "qibo classes"},
      {{"--help"},
       0,
       "usage: qibo                      list the classes and the running services",
       "qibo classes"},
      {{"help", "frobnicate"}, 2, "qibo: help: unknown verb \"frobnicate\"", "usage: qibo "},
      {{"frobnicate"}, 2, "qibo: unknown verb \"frobnicate\"", "usage: qibo "},
      {{"--frobnicate"}, 2, "qibo: unknown option \"--frobnicate\"", "usage: qibo "},
      {{"view", "ship.3ds", "--snap", "a.tga"},
       2,
       "qibo view: unknown option \"--snap\"",
       "usage: qibo view FILE"},
      {{"pack", "-f", "out.vdl", "a"}, 2, "qibo pack: unknown option \"-f\"", "usage: qibo pack OUT.vdl"},
      // Wrong counts of arguments show the verb's usage only.
      {{"list"}, 2, "usage: qibo list PACKAGE            list the members of a package", nullptr},
      // An option the verb knows reaches it: here the file is missing.
      {{"dump", "--file-strings", "missing.qbo"}, 1, "qibo: cannot open missing.qbo", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    std::string output;
    EXPECT_EQ(RunTool(c.args, &output), c.code) << output;
    const std::vector<std::string> lines = Lines(output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], c.first);
    if (c.then) {
      ASSERT_GE(lines.size(), 2u) << output;
      EXPECT_NE(lines[1].find(c.then), std::string::npos) << output;
    } else {
      EXPECT_EQ(lines.size(), 1u) << output;
    }
  }
}

// The class listing loads the plug-ins from their folder and names the
// library each class comes from.
TEST_F(UsageTest, ClassesNamesEachClassLibrary) {
  std::string output;
  ASSERT_EQ(RunTool({"classes"}, &output), 0) << output;
  const struct {
    const char* name;
    const char* library;
  } cases[] = {
      {"CTGroup", "libqiboCore.so"},
      {"CTDirect3D", "RasterDev.plug"},
      {"CT3DSImport", "qiboIO.plug"},
  };
  const std::vector<std::string> lines = Lines(output);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string start = std::string("  ") + c.name + " ";
    const std::string* row = nullptr;
    for (const std::string& line : lines)
      if (line.compare(0, start.size(), start) == 0) row = &line;
    ASSERT_NE(row, nullptr) << output;
    const std::string library = row->substr(row->rfind(' ') + 1);
    EXPECT_EQ(library.compare(0, strlen(c.library), c.library), 0) << *row;
  }
}
