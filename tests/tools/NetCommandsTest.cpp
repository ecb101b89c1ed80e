#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

namespace {

class NetCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Enter());
    m_input = open("/dev/null", O_RDONLY);
  }
  void TearDown() override {
    if (m_input >= 0) close(m_input);
    m_dir.Leave();
  }

  qibo::test::TempDir m_dir;
  int m_input = -1;
};

// The port the host's first line names.
int PortOf(const std::string& output) {
  const size_t at = output.find("on port ");
  return at == std::string::npos ? 0 : atoi(output.c_str() + at + 8);
}

}  // namespace

// Two real processes on loopback: each sees the other's box move, and
// each ends by the signal that stops it.
TEST_F(NetCommandsTest, HostAndJoin_SeeEachOthersEntity) {
  qibo::test::ToolProcess host;
  ASSERT_TRUE(host.Start({"host", "--port", "0"}, m_input));
  ASSERT_TRUE(host.ReadUntil("Press a key")) << host.Output();
  const int port = PortOf(host.Output());
  ASSERT_GT(port, 0) << host.Output();

  qibo::test::ToolProcess joiner;
  ASSERT_TRUE(joiner.Start({"join", "127.0.0.1:" + std::to_string(port)}, m_input));
  EXPECT_TRUE(joiner.ReadUntil("Joined as client 1")) << joiner.Output();
  EXPECT_TRUE(joiner.ReadUntil("(client 0)")) << joiner.Output();
  EXPECT_TRUE(host.ReadUntil("(client 1)")) << host.Output();

  for (qibo::test::ToolProcess* tool : {&joiner, &host}) {
    ASSERT_EQ(kill(tool->Pid(), SIGTERM), 0);
    const int status = tool->Wait(std::chrono::seconds(10));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status << "\n"
                                                                    << tool->Output();
  }
}

TEST_F(NetCommandsTest, Join_ReportsWhenNoSessionAnswers) {
  std::string output;
  // A port nobody hosts on: the question goes unanswered.
  EXPECT_EQ(qibo::test::RunTool({"join", "127.0.0.1:9"}, &output), 1);
  EXPECT_NE(output.find("qibo join: no session found at 127.0.0.1:9"), std::string::npos) << output;
  EXPECT_EQ(qibo::test::RunTool({"host", "--port", "70000"}), 2);
  EXPECT_EQ(qibo::test::RunTool({"join", "a", "b"}), 2);
}
