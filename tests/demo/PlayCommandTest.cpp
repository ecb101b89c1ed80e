#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/demo/MusicFiles.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

// Runs "qibo play FILE" with the given descriptor as its standard input and
// a pipe as its output. The deadline only bounds a tool that never ends.
class PlayCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Enter());
    ASSERT_TRUE(qibo::test::WriteTinyModule("tiny.xm"));
    ASSERT_TRUE(qibo::test::WriteWav("short.wav", 44100 / 5, 44100, 2));
    ASSERT_TRUE(qibo::test::WriteText("notes.txt", "This is not music.\n"));
  }
  void TearDown() override {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
    m_dir.Leave();
  }

  void Spawn(const char* file, int input) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    char* argv[] = {const_cast<char*>(QIBO_TOOL_PATH), const_cast<char*>("play"), const_cast<char*>(file),
                    nullptr};
    const int spawned = posix_spawn(&m_pid, QIBO_TOOL_PATH, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    m_out = pipeFds[0];
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    ASSERT_EQ(spawned, 0);
  }

  // Reads output until `text` has appeared or the tool has closed its
  // output; true when it appeared.
  bool ReadUntil(const char* text) {
    while (m_output.find(text) == std::string::npos)
      if (!ReadMore()) return false;
    return true;
  }

  // Appends what the tool writes next; false at its end of output, after
  // 20 s of silence or 30 s after the start.
  bool ReadMore() {
    if (std::chrono::steady_clock::now() > m_deadline) return false;
    pollfd p{m_out, POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0) return false;
    char buffer[256];
    const ssize_t got = read(m_out, buffer, sizeof(buffer));
    if (got <= 0) return false;
    m_output.append(buffer, static_cast<size_t>(got));
    return true;
  }

  // Reads output until the shown elapsed time (the number after the last
  // carriage return) reaches `seconds`.
  bool ReadUntilElapsed(double seconds) {
    for (;;) {
      const size_t cr = m_output.rfind('\r');
      if (cr != std::string::npos && strtod(m_output.c_str() + cr + 1, nullptr) >= seconds) return true;
      const size_t before = m_output.size();
      if (!ReadMore() || m_output.size() == before) return false;
    }
  }

  // The exit status, or -1 when the tool has not ended by the deadline.
  int Wait() {
    ReadUntil("\x01");  // drain to the end of the output
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      usleep(10000);
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  qibo::test::TempDir m_dir;
  pid_t m_pid = -1;
  int m_out = -1;
  std::chrono::steady_clock::time_point m_deadline;
  std::string m_output;
};

int DevNull() { return open("/dev/null", O_RDONLY); }

}  // namespace

TEST_F(PlayCommandTest, StreamPlaysToItsEndAndExits) {
  const int input = DevNull();
  Spawn("short.wav", input);
  close(input);
  EXPECT_EQ(Wait(), 0) << m_output;
  EXPECT_NE(m_output.find("Playing short.wav; press a key to stop"), std::string::npos) << m_output;
  // The elapsed time is shown as "\r    0.2 s" and ends the output with a line break.
  EXPECT_NE(m_output.find(" s\n"), std::string::npos) << m_output;
}

TEST_F(PlayCommandTest, FileThatIsNoMusicFails) {
  const int input = DevNull();
  Spawn("notes.txt", input);
  close(input);
  EXPECT_EQ(Wait(), 1);
  EXPECT_NE(m_output.find("qibo play: notes.txt: Can't play the file"), std::string::npos) << m_output;
}

TEST_F(PlayCommandTest, MissingArgumentIsAUsageError) {
  const int input = DevNull();
  Spawn(nullptr, input);
  close(input);
  EXPECT_EQ(Wait(), 2);
  EXPECT_NE(m_output.find("qibo play FILE"), std::string::npos) << m_output;
}

TEST_F(PlayCommandTest, LoopingModuleEndsWithAKeyOnTheTerminal) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  Spawn("tiny.xm", slave);
  close(slave);
  ASSERT_TRUE(ReadUntil("looping")) << m_output;
  // Still playing after twice the module's 0.48 s: it loops.
  ASSERT_TRUE(ReadUntilElapsed(1.0)) << m_output;
  ASSERT_EQ(write(master, "q", 1), 1);
  EXPECT_EQ(Wait(), 0) << m_output;
  close(master);
}
