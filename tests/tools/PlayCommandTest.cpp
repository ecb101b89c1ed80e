#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/demo/MusicFiles.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

namespace {

// A pseudo-terminal for the tool's standard input: the tool puts it in raw
// mode for its key test and must give it back.
struct Terminal {
  Terminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  }
  ~Terminal() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  bool Canonical() const {
    termios mode{};
    return tcgetattr(slave, &mode) == 0 && (mode.c_lflag & ICANON) && (mode.c_lflag & ECHO);
  }
  int master = -1;
  int slave = -1;
};

class PlayCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Enter());
    ASSERT_TRUE(qibo::test::WriteTinyModule("tiny.xm"));
    ASSERT_TRUE(qibo::test::WriteWav("short.wav", 44100 / 5, 44100, 2));
    ASSERT_TRUE(qibo::test::WriteText("notes.txt", "This is not music.\n"));
  }
  void TearDown() override { m_dir.Leave(); }

  qibo::test::TempDir m_dir;
};

}  // namespace

// Without a sound device (an SDL audio driver that cannot open) the tool
// says why no player started, with SDL's reason; the ALSA library's own
// error lines (here for a configuration without any device) stay off the
// terminal.
TEST_F(PlayCommandTest, EndsByItselfOrRefusesWhatItCannotPlay) {
  ASSERT_TRUE(qibo::test::WriteText("empty-alsa.conf", "\n"));
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* says;
    std::vector<std::pair<const char*, const char*>> environment;  // for this run
  } cases[] = {
      {{"play", "short.wav"}, 0, "Playing short.wav; press a key to stop", {}},
      {{"play", "notes.txt"}, 1, "qibo play: notes.txt: Can't play the file", {}},
      {{"play", "missing.xm"}, 1, "qibo play: missing.xm: No such file or directory", {}},
      {{"play", "short.wav"},
       1,
       "qibo play: no music player could be started:\n  No sound device: Audio target 'no-such-driver' not "
       "available",
       {{"SDL_AUDIODRIVER", "no-such-driver"}}},
      {{"play", "short.wav"},
       1,
       "qibo play: no music player could be started:\n  No sound device: ",
       {{"SDL_AUDIODRIVER", "alsa"}, {"ALSA_CONFIG_PATH", "empty-alsa.conf"}}},
      {{"play"}, 2, "qibo play FILE", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const auto& [name, value] : c.environment) {
      const char* old = getenv(name);
      saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      setenv(name, value, 1);
    }
    std::string output;
    EXPECT_EQ(qibo::test::RunTool(c.args, &output), c.code) << output;
    EXPECT_NE(output.find(c.says), std::string::npos) << output;
    EXPECT_EQ(output.find("ALSA lib"), std::string::npos) << output;
    for (const auto& [name, value] : saved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
}

TEST_F(PlayCommandTest, StreamShowsTheElapsedTimeAndEndsTheLine) {
  std::string output;
  ASSERT_EQ(qibo::test::RunTool({"play", "short.wav"}, &output), 0) << output;
  // The elapsed time is shown as "\r    0.2 s" and ends the output with a line break.
  EXPECT_NE(output.find(" s\n"), std::string::npos) << output;
}

TEST_F(PlayCommandTest, LoopingModuleEndsWithAKeyOnTheTerminal) {
  Terminal terminal;
  ASSERT_GE(terminal.slave, 0);
  qibo::test::ToolProcess tool;
  ASSERT_TRUE(tool.Start({"play", "tiny.xm"}, terminal.slave));
  ASSERT_TRUE(tool.ReadUntil("looping")) << tool.Output();
  // Still playing after twice the module's 0.48 s: it loops.
  ASSERT_TRUE(tool.ReadUntilElapsed(1.0)) << tool.Output();
  ASSERT_EQ(write(terminal.master, "q", 1), 1);
  EXPECT_EQ(tool.ExitCode(), 0) << tool.Output();
  EXPECT_TRUE(terminal.Canonical());
}

// Ctrl+C, SIGTERM and a hang-up (the terminal closed) end a looping
// module: the terminal gets its mode back and the tool ends by the signal,
// as a shell expects.
TEST_F(PlayCommandTest, LoopingModuleEndsCleanlyOnAStopSignal) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    Terminal terminal;
    ASSERT_GE(terminal.slave, 0);
    qibo::test::ToolProcess tool;
    ASSERT_TRUE(tool.Start({"play", "tiny.xm"}, terminal.slave));
    ASSERT_TRUE(tool.ReadUntilElapsed(0.3)) << tool.Output();
    ASSERT_EQ(kill(tool.Pid(), signal), 0);
    const int status = tool.Wait(std::chrono::seconds(10));
    ASSERT_NE(status, -1) << "still playing after the signal: " << tool.Output();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
    EXPECT_TRUE(terminal.Canonical());
  }
}
