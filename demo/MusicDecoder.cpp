#include "demo/MusicDecoder.h"

#include <libopenmpt/libopenmpt.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/persist/OsFile.h"

namespace qibo::demo {

namespace {

// libsndfile reader converted to stereo at the output rate: mono is
// duplicated, channels beyond the first two are dropped, other rates are
// resampled linearly.
class StreamDecoder final : public MusicDecoder {
 public:
  StreamDecoder(SNDFILE* file, const SF_INFO& info)
      : m_file(file), m_channels(info.channels), m_step(static_cast<double>(info.samplerate) / kOutputRate) {}
  ~StreamDecoder() override { sf_close(m_file); }
  StreamDecoder(const StreamDecoder&) = delete;
  StreamDecoder& operator=(const StreamDecoder&) = delete;

  bool Loops() const override { return false; }

  int Render(float* out, int frames) override {
    int written = 0;
    while (written < frames) {
      // Interpolation needs the frame at the read position and its
      // successor; the file's last frame has none and is used alone.
      const auto i = static_cast<size_t>(m_position);
      if (i + 1 >= m_frames && !m_ended) {
        Refill();
        continue;
      }
      if (i >= m_frames) break;
      const float t = static_cast<float>(m_position - static_cast<double>(i));
      for (int c = 0; c < kOutputChannels; ++c) {
        const float a = Sample(i, c);
        const float b = i + 1 < m_frames ? Sample(i + 1, c) : a;
        out[written * kOutputChannels + c] = a + (b - a) * t;
      }
      ++written;
      m_position += m_step;
    }
    m_rendered += written;
    return written;
  }

 private:
  static constexpr sf_count_t kChunk = 4096;

  float Sample(size_t frame, int channel) const {
    const int source = std::min(channel, m_channels - 1);
    return m_buffer[frame * m_channels + source];
  }

  // Drops the frames behind the read position and appends the next chunk
  // of the file; sets m_ended when the file has no more.
  void Refill() {
    const size_t consumed = std::min(static_cast<size_t>(m_position), m_frames);
    const size_t keep = m_frames - consumed;
    std::vector<float> next(static_cast<size_t>(keep + kChunk) * m_channels);
    std::copy(m_buffer.begin() + static_cast<std::ptrdiff_t>(consumed * m_channels),
              m_buffer.begin() + static_cast<std::ptrdiff_t>(m_frames * m_channels), next.begin());
    const sf_count_t got = sf_readf_float(m_file, next.data() + keep * m_channels, kChunk);
    if (got <= 0) {
      m_ended = true;
      return;
    }
    next.resize((keep + static_cast<size_t>(got)) * m_channels);
    m_buffer.swap(next);
    m_frames = keep + static_cast<size_t>(got);
    m_position -= static_cast<double>(consumed);
  }

  SNDFILE* m_file;
  int m_channels;
  double m_step;  // source frames per output frame
  std::vector<float> m_buffer;
  size_t m_frames = 0;      // frames in m_buffer
  double m_position = 0.0;  // read position in m_buffer, in source frames
  bool m_ended = false;
};

class ModuleDecoder final : public MusicDecoder {
 public:
  explicit ModuleDecoder(openmpt_module* module) : m_module(module) {}
  ~ModuleDecoder() override { openmpt_module_destroy(m_module); }
  ModuleDecoder(const ModuleDecoder&) = delete;
  ModuleDecoder& operator=(const ModuleDecoder&) = delete;

  bool Loops() const override { return m_loops; }
  void SetLoop(bool loop) {
    m_loops = loop;
    openmpt_module_set_repeat_count(m_module, loop ? -1 : 0);
  }

  int Render(float* out, int frames) override {
    if (frames <= 0) return 0;
    const size_t got =
        openmpt_module_read_interleaved_float_stereo(m_module, kOutputRate, static_cast<size_t>(frames), out);
    m_rendered += static_cast<int64_t>(got);
    return static_cast<int>(got);
  }

 private:
  openmpt_module* m_module;
  bool m_loops = false;
};

}  // namespace

std::unique_ptr<MusicDecoder> OpenStreamDecoder(const char* path) {
  if (!path) return nullptr;
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (!file) return nullptr;
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    return nullptr;
  }
  return std::make_unique<StreamDecoder>(file, info);
}

std::unique_ptr<MusicDecoder> OpenModuleDecoder(const char* path, bool loop) {
  if (!path) return nullptr;
  std::vector<char> data;
  if (!qibo::ReadWholeFile(path, data) || data.empty()) return nullptr;
  int error = 0;
  openmpt_module* module =
      openmpt_module_create_from_memory2(data.data(), data.size(), openmpt_log_func_silent, nullptr,
                                         openmpt_error_func_ignore, nullptr, &error, nullptr, nullptr);
  if (!module) return nullptr;
  auto decoder = std::make_unique<ModuleDecoder>(module);
  decoder->SetLoop(loop);
  return decoder;
}

}  // namespace qibo::demo
