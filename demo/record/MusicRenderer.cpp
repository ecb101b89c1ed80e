#include "demo/record/MusicRenderer.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/kernel/Logging.h"
#include "core/persist/OsFile.h"

namespace qibo::demo {

namespace {

constexpr uint64_t kFnvBasis = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001B3ull;

}  // namespace

MusicRenderer::~MusicRenderer() {
  if (m_module) openmpt_module_destroy(m_module);
}

bool MusicRenderer::Fail(const std::string& text) {
  m_lastError = text;
  qiBO_Error(text.c_str(), nullptr);
  return false;
}

bool MusicRenderer::Open(const char* path, int sampleRate, int fps) {
  if (m_module) openmpt_module_destroy(m_module);
  m_module = nullptr;
  m_file.clear();
  m_position = 0;
  if (!path || !*path) return Fail("No music file to record");
  if (sampleRate < kMinRate || sampleRate > kMaxRate)
    return Fail("Music sample rate " + std::to_string(sampleRate) + " is out of range");
  if (fps < 1 || fps > 1000) return Fail("Movie frame rate " + std::to_string(fps) + " is out of range");
  if (!qibo::ReadWholeFile(path, m_file) || m_file.empty())
    return Fail(std::string("Can't read the music file \"") + path + "\"");
  m_rate = sampleRate;
  m_fps = fps;
  if (!Restart()) {
    m_file.clear();
    return Fail(std::string("\"") + path + "\" is not module music");
  }
  return true;
}

bool MusicRenderer::Restart() {
  if (m_module) openmpt_module_destroy(m_module);
  int error = 0;
  m_module =
      openmpt_module_create_from_memory2(m_file.data(), m_file.size(), openmpt_log_func_silent, nullptr,
                                         openmpt_error_func_ignore, nullptr, &error, nullptr, nullptr);
  m_position = 0;
  if (!m_module) return false;
  openmpt_module_set_repeat_count(m_module, -1);
  return true;
}

void MusicRenderer::Render(int64_t frames, std::vector<float>& out) {
  while (frames > 0) {
    const size_t block = static_cast<size_t>(std::min<int64_t>(frames, 4096));
    const size_t at = out.size();
    out.resize(at + block * kChannels, 0.0f);
    const size_t got = openmpt_module_read_interleaved_float_stereo(m_module, m_rate, block, out.data() + at);
    // A piece that stops (it should not, repeating) leaves silence, so the
    // frame still has its exact length.
    if (got < block)
      std::fill(out.begin() + static_cast<std::ptrdiff_t>(at + got * kChannels), out.end(), 0.0f);
    frames -= static_cast<int64_t>(block);
    m_position += static_cast<int64_t>(block);
  }
}

int MusicRenderer::RenderFrame(int64_t frameIndex, std::vector<float>& out) {
  out.clear();
  if (!m_module || frameIndex < 0) return -1;
  const int64_t start = FrameStart(frameIndex, m_rate, m_fps);
  if (start < m_position && !Restart()) return -1;
  if (start > m_position) {
    m_scratch.clear();
    Render(start - m_position, m_scratch);
  }
  const int count = SamplesInFrame(frameIndex, m_rate, m_fps);
  Render(count, out);
  return count;
}

std::optional<uint64_t> MusicRenderer::HashFirstSeconds(const char* path, int seconds, int sampleRate,
                                                        int fps) {
  MusicRenderer renderer;
  if (!renderer.Open(path, sampleRate, fps)) return std::nullopt;
  uint64_t hash = kFnvBasis;
  std::vector<float> samples;
  for (int64_t frame = 0; frame < int64_t{seconds} * fps; ++frame) {
    renderer.RenderFrame(frame, samples);
    for (float sample : samples) {
      const auto value = static_cast<int16_t>(std::lrint(std::clamp(sample, -1.0f, 1.0f) * 32767.0f));
      const auto bits = static_cast<uint16_t>(value);
      hash = (hash ^ (bits & 0xFFu)) * kFnvPrime;
      hash = (hash ^ (bits >> 8)) * kFnvPrime;
    }
  }
  return hash;
}

}  // namespace qibo::demo
