#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "core/kernel/ConsoleInput.h"

namespace {

// A pseudo-terminal stands in for the user's console: keys written to the
// master arrive on the slave as if typed.
class ConsoleInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(m_master, 0);
    ASSERT_EQ(grantpt(m_master), 0);
    ASSERT_EQ(unlockpt(m_master), 0);
    m_slave = open(ptsname(m_master), O_RDWR | O_NOCTTY);
    ASSERT_GE(m_slave, 0);
  }
  void TearDown() override {
    qibo::RestoreConsoleInput();
    if (m_slave >= 0) close(m_slave);
    if (m_master >= 0) close(m_master);
  }

  bool Canonical() const {
    termios t{};
    tcgetattr(m_slave, &t);
    return (t.c_lflag & ICANON) != 0;
  }
  bool Echo() const {
    termios t{};
    tcgetattr(m_slave, &t);
    return (t.c_lflag & ECHO) != 0;
  }

  int m_master = -1;
  int m_slave = -1;
};

}  // namespace

TEST_F(ConsoleInputTest, SingleKeyWithoutReturnCountsOnce) {
  EXPECT_FALSE(qibo::KeyHitOn(m_slave));
  EXPECT_FALSE(Canonical());
  EXPECT_FALSE(Echo());
  // In canonical mode this key would wait for a line end.
  ASSERT_EQ(write(m_master, "x", 1), 1);
  bool hit = false;
  for (int i = 0; i < 1000 && !hit; ++i) {
    hit = qibo::KeyHitOn(m_slave);
    if (!hit) usleep(1000);  // the key crosses the pty asynchronously
  }
  EXPECT_TRUE(hit);
  EXPECT_FALSE(qibo::KeyHitOn(m_slave));
}

TEST_F(ConsoleInputTest, RestoreGivesTheTerminalItsModeBack) {
  ASSERT_TRUE(Canonical());
  qibo::KeyHitOn(m_slave);
  ASSERT_FALSE(Canonical());
  qibo::RestoreConsoleInput();
  EXPECT_TRUE(Canonical());
  EXPECT_TRUE(Echo());
  qibo::RestoreConsoleInput();  // twice is harmless
  EXPECT_TRUE(Canonical());
}

TEST_F(ConsoleInputTest, NoTerminalMeansNoKey) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  ASSERT_EQ(write(pipeFds[1], "x", 1), 1);
  EXPECT_FALSE(qibo::KeyHitOn(pipeFds[0]));
  close(pipeFds[0]);
  close(pipeFds[1]);
  EXPECT_FALSE(qibo::KeyHitOn(-1));
  // The terminal in raw mode stays as it was.
  EXPECT_TRUE(Canonical());
}
