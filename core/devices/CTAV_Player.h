#pragma once

#include <cstdint>

#include "core/devices/CTDevice.h"

// Plays audio and video files from a playlist; the pictures go to a render
// target's background and the sound to the sound card.
// Implementations live in plug-ins and programs.
class CTAV_Player : public CTDevice {
  QIBO_CLASS(CTAV_Player)

 public:
  // Where the sound goes instead of the sound card (a recording). Blocks
  // come in playing order as interleaved stereo floats at 44100 Hz;
  // position is the block's first sample frame on the player's clock,
  // counted from the start of playback (gaps are silence).
  class SoundSink {
   public:
    virtual ~SoundSink() = default;
    virtual void WriteSound(const float* interleaved, int frames, int64_t position) = 0;
  };
  static constexpr int kSoundRate = 44100;
  static constexpr int kSoundChannels = 2;

  // Appends a file to the playlist; false for an empty or over-long name.
  virtual bool AddFile(const char* file) = 0;
  // Opens every file of the playlist and starts the first that opened.
  // A file that cannot be opened is reported and left out. False when
  // files were listed and none opened.
  virtual bool Open() = 0;
  // Pause and Resume answer false while stopped.
  virtual bool Pause() = 0;
  virtual bool Resume() = 0;
  // Ends playback and closes every file; the playlist stays.
  virtual void StopPlaying() = 0;
  // Starts over at the first file after the last instead of stopping.
  virtual void SetLoop(bool loop) = 0;
  // The playlist index playing, -1 while stopped.
  virtual int GetCurrent() const = 0;
  virtual bool IsPaused() const = 0;
  // null: the sound card. The sink must outlive its use by the player.
  virtual void SetSoundSink(SoundSink* sink) = 0;
};
