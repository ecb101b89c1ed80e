#include "demo/record/ProgressBar.h"

#include <algorithm>

namespace qibo::demo {

namespace {

std::string Clock(int64_t seconds) {
  char text[32];
  snprintf(text, sizeof(text), "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
           static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace

ProgressBar::ProgressBar(int64_t total, int fps, FILE* out, int width)
    : m_total(std::max<int64_t>(total, 0)),
      m_fps(std::max(fps, 1)),
      m_out(out),
      m_width(std::max(width, 1)) {}

std::string ProgressBar::Format(int64_t done, int64_t total, int fps, int width) {
  total = std::max<int64_t>(total, 0);
  done = std::clamp<int64_t>(done, 0, total);
  fps = std::max(fps, 1);
  width = std::max(width, 1);
  // An empty job is complete.
  const int64_t filled = total ? done * width / total : width;
  const int64_t percent = total ? done * 100 / total : 100;
  std::string line = "[";
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(width - filled), ' ');
  line += "] " + std::to_string(percent) + "% " + Clock(done / fps) + " / " + Clock(total / fps);
  return line;
}

void ProgressBar::Update(int64_t done) {
  if (m_finished || !m_out) return;
  std::string line = Format(done, m_total, m_fps, m_width);
  if (line == m_shown) return;
  fprintf(m_out, "\r%s", line.c_str());
  fflush(m_out);
  m_shown = std::move(line);
}

void ProgressBar::Finish() {
  if (m_finished) return;
  m_finished = true;
  if (m_out && !m_shown.empty()) {
    fputc('\n', m_out);
    fflush(m_out);
  }
}

}  // namespace qibo::demo
