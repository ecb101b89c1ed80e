#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class LFB;

// Writes a movie file with FFmpeg's libraries: H.264 (libx264) video and
// AAC sound in MP4 where libavcodec offers them, otherwise the next encoder
// of each list that the container takes (MPEG-4 part 2 video; MP3, AC-3 or
// MP2 sound). The container follows the file's extension, MP4 when it has
// none that FFmpeg knows.
//
// Frames come at a constant rate: video frame k is shown at k / fps
// seconds, sound is counted in samples. Pictures are 32-bit pixels
// converted to 4:2:0 (BT.601, limited range) with libswscale straight into
// the encoder's frame. Every failure is logged (qiBO_Error) and kept in
// LastError. A bad argument (no pixels, short rows) only refuses that call;
// an encoder or file error stops the movie: later frames are refused.
//
// The movie is written to a temporary file beside the one named and put in
// its place by a rename only when Close finished it whole, so an existing
// file of that name is never lost to a movie that failed or was dropped. A
// name that is a symbolic link stays one (its target gets the movie); a
// device or FIFO is written directly.
namespace qibo::demo {

// Byte order of one 32-bit pixel in memory.
enum class PixelLayout {
  kBgra,  // B, G, R, A: a uint32_t 0xAARRGGBB on little-endian (LFB, render-target grabs)
  kRgba,  // R, G, B, A: OpenGL's GL_RGBA / GL_UNSIGNED_BYTE
};

// The size/quality trade-off of a recording, from the smallest file to an
// exact copy of every frame.
enum class MovieQuality { kDraft, kNormal, kHigh, kLossless };

struct MovieSettings {
  // Encoder names in order of preference (avcodec_find_encoder_by_name).
  std::vector<std::string> videoEncoders{"libx264", "mpeg4"};
  std::vector<std::string> audioEncoders{"aac", "libmp3lame", "ac3", "mp2"};
  // libx264: the preset trades encoding time for size, the constant rate
  // factor size for quality (lower is better); a quantiser of 0 (crf -1)
  // stores the frames exactly. The tune is left out when empty.
  std::string x264Preset = "ultrafast";
  std::string x264Tune;
  float x264Crf = 20.0f;
  int threads = 2;           // encoder threads (0: as many as cores)
  int audioBitRate = 96000;  // per channel, bits per second

  // The encoder settings of a quality level.
  static MovieSettings For(MovieQuality quality);
};

// The level's name ("draft", "normal", "high", "lossless") and back; false
// for an unknown name.
const char* QualityName(MovieQuality quality);
bool ParseQuality(const std::string& name, MovieQuality& quality);

class MovieWriter {
 public:
  MovieWriter();
  explicit MovieWriter(MovieSettings settings);
  ~MovieWriter();  // Close()
  MovieWriter(const MovieWriter&) = delete;
  MovieWriter& operator=(const MovieWriter&) = delete;

  // Creates the file and sets up the encoders. width and height must be
  // even (16..8192), fps 1..1000; channels 0 makes a movie without sound,
  // otherwise channels 1..8 at sampleRate 8000..192000 (the encoder may
  // need another rate; the sound is resampled). False, with nothing left
  // behind, when the file cannot be written or no encoder fits.
  bool Open(const char* path, int width, int height, int fps, int sampleRate, int channels);

  // Adds the next video frame: width x height pixels of the opened size,
  // rows pitch bytes apart, the top row first unless bottomUp.
  bool AddVideoFrame(const uint8_t* pixels, int pitch, PixelLayout layout, bool bottomUp);
  // Adds a picture of any size, scaled to the movie's size.
  bool AddVideoFrame(const LFB& picture);
  // Adds sound: frames sample frames of `channels` interleaved floats in
  // [-1, 1]. Ignored (true) for a movie without sound.
  bool AddAudio(const float* interleaved, int frames);

  // Drains the encoders, writes the container's index, closes the file and
  // puts it in place. True when the whole movie was written; otherwise
  // nothing is put in place. Safe to call twice.
  bool Close();
  // Drops the movie: nothing is put in place, and the temporary file goes.
  void Discard();

  bool IsOpen() const;
  int64_t VideoFrames() const;   // frames added so far
  int64_t AudioSamples() const;  // sample frames added so far
  // Encoder names in use ("libx264", "aac"); empty when none.
  std::string VideoEncoder() const;
  std::string AudioEncoder() const;
  const std::string& LastError() const { return m_lastError; }

 private:
  struct State;
  // Logs the text and keeps it in LastError; Fail also stops the movie
  // (encoder or file trouble), Refuse only turns down one bad call.
  bool Fail(const std::string& text);
  bool Refuse(const std::string& text);
  bool AddPixels(const uint8_t* pixels, int width, int height, int pitch, PixelLayout layout, bool bottomUp);
  // Chooses the file to write (the temporary one beside the target).
  bool PrepareOutput();
  // Renames the finished temporary file over the target.
  bool Commit();
  bool OpenVideo(int width, int height, int fps);
  bool OpenAudio(int sampleRate, int channels);
  bool EncodeAudio(bool flush);
  bool Drain(bool video);
  void Release();

  MovieSettings m_settings;
  std::unique_ptr<State> m_state;
  std::string m_lastError;
};

}  // namespace qibo::demo
