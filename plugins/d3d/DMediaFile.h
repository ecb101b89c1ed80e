#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;
class LFB;

// One file of the video player's playlist, read with FFmpeg's libraries:
// the container is read packet by packet, the pictures and the sound are
// decoded as the file's own clock reaches them, the pictures converted to
// 32-bit pixels (0xAARRGGBB) and the sound to interleaved stereo floats at
// 44100 Hz.
//
// The clock is the time played since Start, moved on by Advance; a picture
// is shown when the clock reaches its time, sound is decoded a little ahead
// of the clock so that a sound card never runs dry. A damaged packet is
// skipped; a file that ends early (truncated) ends where its data ends.
//
// Everything runs on the caller's thread; nothing here starts a thread.
class DMediaFile {
 public:
  // A block of sound: `frames` frames of interleaved stereo floats at
  // 44100 Hz; position is its first frame counted from the file's start.
  using SoundFn = std::function<void(const float* interleaved, int frames, int64_t position)>;
  enum class Step { kPlaying, kEnded };

  static constexpr int kMaxNameLength = 260;
  // How far the sound is decoded ahead of the clock.
  static constexpr int64_t kSoundLeadMs = 250;

  DMediaFile();
  ~DMediaFile();
  DMediaFile(const DMediaFile&) = delete;
  DMediaFile& operator=(const DMediaFile&) = delete;

  // Opens the file and decodes its first picture. Null on success;
  // otherwise the text of the step that failed (see the .cpp), with
  // everything released and the reason (FFmpeg's or the system's) in
  // detail. Only regular files are opened: a FIFO, a device or a directory
  // fails at once instead of blocking.
  const char* Open(const char* name, std::string& detail);
  void Close();
  bool IsOpen() const { return m_format != nullptr; }
  bool HasSound() const { return m_audio.codec != nullptr; }
  int GetWidth() const;
  int GetHeight() const;

  // Back to the beginning: the clock restarts at 0 and the first picture
  // comes first. False when the file cannot go back.
  bool Start();
  // Moves the clock on by elapsedMs. The last picture whose time has come
  // is converted into picture (made the picture's size when it differs;
  // newPicture tells); the sound up to kSoundLeadMs ahead of the clock goes
  // to sound. kEnded once the pictures and the sound are over.
  Step Advance(int32_t elapsedMs, LFB& picture, bool& newPicture, const SoundFn& sound);

 private:
  // One decoded stream of the file.
  struct Track {
    int index = -1;
    AVCodecContext* codec = nullptr;
    std::deque<AVPacket*> packets;  // read, not yet decoded (owned)
    double timeBase = 0.0;          // seconds per time-stamp unit
    bool flushed = false;           // the decoder was told the stream ended
    bool ended = false;             // and has given its last frame
    int badPackets = 0;             // refused in a row
  };

  bool OpenDecoder(Track& track, std::string& detail);
  bool SetUpResampler(const AVFrame* frame, std::string& detail);
  // Reads the next packet into its track's queue; false at the end of the
  // file (or a read error, which ends it too).
  bool ReadPacket();
  // The next decoded frame of the track into frame; false when it has no
  // more.
  bool Decode(Track& track, AVFrame* frame);
  // The frame's time in ms from the file's start, or -1 when it has none.
  int64_t TimeMs(const AVFrame* frame, const Track& track) const;
  // Decodes the next picture into m_pending.
  bool NextPicture();
  bool Convert(const AVFrame* frame, LFB& picture);
  void DecodeSound(const SoundFn& sound);
  void Resample(const AVFrame* frame, const SoundFn& sound);
  void ResetTrack(Track& track);

  AVFormatContext* m_format = nullptr;
  AVPacket* m_packet = nullptr;
  AVFrame* m_sound = nullptr;    // the sound frame being decoded
  AVFrame* m_pending = nullptr;  // the next picture, decoded ahead
  AVFrame* m_shown = nullptr;    // the picture due now
  SwsContext* m_scaler = nullptr;
  SwrContext* m_resampler = nullptr;
  int m_resamplerFormat = -1;  // the input the resampler was made for
  int m_resamplerRate = 0;
  int m_resamplerChannels = 0;
  Track m_video;
  Track m_audio;
  bool m_readEnded = false;
  bool m_atStart = false;  // nothing played since Open or Start
  int64_t m_originMs = 0;  // the container's start time
  int64_t m_clockMs = 0;
  bool m_hasPending = false;
  int64_t m_pendingMs = 0;
  int64_t m_pictureEndMs = 0;    // when the picture shown last is over
  double m_frameMs = 40.0;       // one picture's nominal duration
  int64_t m_soundPosition = -1;  // the next sound frame's position; -1 before the first
  std::vector<float> m_samples;
};
