#include "tests/tools/ToolProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace qibo::test {

ToolProcess::~ToolProcess() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  if (m_out >= 0) close(m_out);
}

bool ToolProcess::Start(const std::vector<std::string>& args, int input) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<char*> argv = {const_cast<char*>(QIBO_TOOL_PATH)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&m_pid, QIBO_TOOL_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  m_out = pipeFds[0];
  m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  if (spawned != 0) m_pid = -1;
  return spawned == 0;
}

bool ToolProcess::ReadMore() {
  if (std::chrono::steady_clock::now() > m_deadline) return false;
  pollfd p{m_out, POLLIN, 0};
  if (poll(&p, 1, 20000) <= 0) return false;
  char buffer[256];
  const ssize_t got = read(m_out, buffer, sizeof(buffer));
  if (got <= 0) return false;
  m_output.append(buffer, static_cast<size_t>(got));
  return true;
}

bool ToolProcess::ReadUntil(const char* text) {
  while (m_output.find(text) == std::string::npos)
    if (!ReadMore()) return false;
  return true;
}

bool ToolProcess::ReadUntilElapsed(double seconds) {
  for (;;) {
    const size_t cr = m_output.rfind('\r');
    if (cr != std::string::npos && strtod(m_output.c_str() + cr + 1, nullptr) >= seconds) return true;
    const size_t before = m_output.size();
    if (!ReadMore() || m_output.size() == before) return false;
  }
}

int ToolProcess::Wait(std::chrono::seconds limit) {
  ReadUntil("\x01");  // drain to the end of the output
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(m_pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) return -1;
    usleep(10000);
  }
  m_pid = -1;
  return status;
}

int ToolProcess::ExitCode() {
  const int status = Wait();
  return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunTool(const std::vector<std::string>& args, std::string* output) {
  const int input = open("/dev/null", O_RDONLY);
  ToolProcess tool;
  const bool started = tool.Start(args, input);
  close(input);
  if (!started) return -1;
  const int code = tool.ExitCode();
  if (output) *output = tool.Output();
  return code;
}

}  // namespace qibo::test
