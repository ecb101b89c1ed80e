#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace qibo::test {

// One run of the qibo tool with a given standard input and a pipe for its
// output (standard output and errors together). The deadlines only bound a
// tool that never ends; a process still running is killed by the destructor.
class ToolProcess {
 public:
  ToolProcess() = default;
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // Starts "qibo ARGS..." with input as its standard input (a descriptor the
  // caller keeps and closes).
  bool Start(const std::vector<std::string>& args, int input);
  // Reads output until text has appeared or the tool has closed its output;
  // true when it appeared.
  bool ReadUntil(const char* text);
  // Reads output until the shown elapsed time (the number after the last
  // carriage return) reaches seconds.
  bool ReadUntilElapsed(double seconds);
  // The raw wait status, or -1 when the tool has not ended within the time.
  int Wait(std::chrono::seconds limit = std::chrono::seconds(20));
  // The exit code of a tool that exited, -1 otherwise.
  int ExitCode();

  pid_t Pid() const { return m_pid; }
  const std::string& Output() const { return m_output; }

 private:
  bool ReadMore();

  pid_t m_pid = -1;
  int m_out = -1;
  std::chrono::steady_clock::time_point m_deadline;
  std::string m_output;
};

// Runs "qibo ARGS..." with no input to its end; its exit code (-1 when it
// did not exit normally) and its output.
int RunTool(const std::vector<std::string>& args, std::string* output = nullptr);

}  // namespace qibo::test
