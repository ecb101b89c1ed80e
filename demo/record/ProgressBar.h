#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A one-line progress display for long offline jobs such as recording:
//   [#####               ] 25% 00:01:19 / 00:05:16
// The line is rewritten in place ('\r') and only when its text changes, so
// calling Update every frame costs a string compare; Finish ends the line.
namespace qibo::demo {

class ProgressBar {
 public:
  // total: the number of steps (frames); fps: steps per second of the
  // result, for the times shown; out: where the line goes (not owned).
  ProgressBar(int64_t total, int fps, FILE* out = stderr, int width = 30);
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Shows `done` steps finished (clamped to 0..total).
  void Update(int64_t done);
  // Ends the line with a newline if anything was shown; later calls and
  // updates do nothing.
  void Finish();

  // The line for `done` of `total` steps: width characters of bar, the
  // whole percent (rounded down) and the times as HH:MM:SS (rounded down).
  static std::string Format(int64_t done, int64_t total, int fps, int width);

 private:
  int64_t m_total;
  int m_fps;
  FILE* m_out;
  int m_width;
  std::string m_shown;
  bool m_finished = false;
};

}  // namespace qibo::demo
