#pragma once

#include <string>

namespace qibo::test {

// Runs a test in a fresh, empty directory of its own, so that tests that use
// relative names (the engine's ".\qibo.ini") can run in parallel. A
// fixture that runs the engine derives from EngineFixture, which does this
// and shuts the engine down; a test without the engine uses TempDir alone:
//
//   class MyTest : public ::testing::Test {
//     void SetUp() override { ASSERT_TRUE(m_dir.Enter()); }
//     void TearDown() override { m_dir.Leave(); }
//     qibo::test::TempDir m_dir;
//   };
//
// Enter() makes the directory with mkdtemp under $TMPDIR (or /tmp) and makes
// it the working directory. Leave() (also run by the destructor) goes back to
// the previous working directory and removes the tree, restoring write
// permission where a test took it away.
class TempDir {
 public:
  TempDir() = default;
  ~TempDir() { Leave(); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool Enter();
  void Leave();

  // Absolute path of the directory, empty when not entered.
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  std::string m_previous;
};

}  // namespace qibo::test
