#pragma once

#include <cstdint>
#include <memory>

// Decoders that turn a music file into the output format of the music
// player: interleaved stereo 32-bit float at 44100 Hz. Module music (xm,
// it, s3m, mod) is rendered by libopenmpt, stream files (wav, ogg, flac,
// mp3) are read by libsndfile and converted. A decoder is used by one
// thread at a time; the audio output calls Render from its own thread while
// holding its device lock.
namespace qibo::demo {

constexpr int kOutputRate = 44100;  // frames per second
constexpr int kOutputChannels = 2;  // left, right

class MusicDecoder {
 public:
  virtual ~MusicDecoder() = default;

  // Writes up to `frames` frames to out (2 floats each) and returns how
  // many it wrote; fewer than asked only at the end of the piece, 0 after it.
  // A looping decoder never ends.
  virtual int Render(float* out, int frames) = 0;
  // True for module music, which repeats for ever.
  virtual bool Loops() const = 0;
  // Frames rendered since the file was opened.
  int64_t Rendered() const { return m_rendered; }

 protected:
  int64_t m_rendered = 0;
};

// The file as a stream (libsndfile); null when libsndfile cannot read it.
std::unique_ptr<MusicDecoder> OpenStreamDecoder(const char* path);
// The file as module music (libopenmpt), repeating for ever when `loop` is
// set, else played once; null when libopenmpt cannot read it.
std::unique_ptr<MusicDecoder> OpenModuleDecoder(const char* path, bool loop);

}  // namespace qibo::demo
