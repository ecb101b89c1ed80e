#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct openmpt_module;

// Renders module music (xm, it, s3m, mod; libopenmpt) in step with the
// frames of a recording, as interleaved stereo float. Frame k of a movie
// at fps frames per second owns the samples [k * rate / fps,
// (k + 1) * rate / fps) (integer division), so frames of uneven length
// (44100 / 24 = 1837.5) alternate and the sound never drifts from the
// picture. The music repeats for ever, as the live player plays it.
namespace qibo::demo {

class MusicRenderer {
 public:
  static constexpr int kChannels = 2;
  static constexpr int kMinRate = 8000;
  static constexpr int kMaxRate = 192000;

  MusicRenderer() = default;
  ~MusicRenderer();
  MusicRenderer(const MusicRenderer&) = delete;
  MusicRenderer& operator=(const MusicRenderer&) = delete;

  // Loads the module; false (the reason logged and kept in LastError) for
  // an unreadable file, one libopenmpt does not take, a rate outside
  // kMinRate..kMaxRate or fps outside 1..1000.
  bool Open(const char* path, int sampleRate, int fps);
  bool IsOpen() const { return m_module != nullptr; }

  // Replaces out with the samples of movie frame frameIndex (kChannels
  // floats each) and answers how many sample frames that is; -1 when not
  // open or for a negative index. Frames are cheapest in order; a jump back
  // restarts the piece and renders up to the frame, a jump forward renders
  // and drops the samples in between.
  int RenderFrame(int64_t frameIndex, std::vector<float>& out);

  // First sample of movie frame frameIndex.
  static int64_t FrameStart(int64_t frameIndex, int sampleRate, int fps) {
    return frameIndex * sampleRate / fps;
  }
  static int SamplesInFrame(int64_t frameIndex, int sampleRate, int fps) {
    return static_cast<int>(FrameStart(frameIndex + 1, sampleRate, fps) -
                            FrameStart(frameIndex, sampleRate, fps));
  }

  // FNV-1a (64-bit) over the first `seconds` of the music rendered frame by
  // frame, each sample as a clamped 16-bit little-endian value: a short
  // fingerprint that tells whether two runs made the same sound. Empty when
  // the file cannot be opened.
  static std::optional<uint64_t> HashFirstSeconds(const char* path, int seconds, int sampleRate, int fps);

  const std::string& LastError() const { return m_lastError; }

 private:
  bool Fail(const std::string& text);
  bool Restart();
  // Appends exactly `frames` sample frames to out (silence if the module
  // gives fewer).
  void Render(int64_t frames, std::vector<float>& out);

  std::vector<char> m_file;
  openmpt_module* m_module = nullptr;
  int m_rate = 0;
  int m_fps = 0;
  int64_t m_position = 0;  // next sample to render
  std::vector<float> m_scratch;
  std::string m_lastError;
};

}  // namespace qibo::demo
