#pragma once

#include <cstdint>
#include <memory>

#include "core/devices/CTMusicPlayer.h"

namespace qibo::demo {
class AudioOutput;
}

// The demo's music player. Module music (xm, it, s3m, mod) is rendered by
// libopenmpt and loops for ever; stream files (wav, ogg, flac, mp3) are read
// by libsndfile and play once. Sound goes to SDL2's default audio device at
// 44100 Hz stereo, which SDL feeds from its own audio thread.
//
// Lifecycle: StartDevice opens the audio output (paused); Load picks the
// decoder; Play runs the output; StopMusic pauses it; Unload drops the
// decoder; StopDevice unloads and closes the output, releasing SDL's audio
// subsystem. Engine thread only.
class CTBassPlayer : public CTMusicPlayer {
  QIBO_CLASS(CTBassPlayer)

 public:
  CTBassPlayer();
  ~CTBassPlayer() override;
  CTBassPlayer(const CTBassPlayer&) = delete;
  CTBassPlayer& operator=(const CTBassPlayer&) = delete;

  // False without a loaded file (the output is not touched). Otherwise
  // runs the output and answers whether the channel is active.
  bool Play() override;
  // Not supported: false.
  bool Pause() override;
  bool Resume() override;
  // Pauses the output; true.
  bool StopMusic() override;
  // Unloads, then opens the file as a stream, else as module music; the
  // error "Can't play the file" and false when it is neither.
  bool Load(const char* file) override;
  // Stops the music and frees it; true.
  bool Unload() override;

  // The channel is playing: a file is loaded, the output runs and the piece
  // has not ended (module music never ends).
  bool IsActive() const;
  bool IsLoaded() const { return m_stream || m_music; }
  bool IsModule() const { return m_music != 0; }
  // Sound delivered to the device since the file was loaded, in ms.
  int64_t GetPlayedMs() const;
  // Pulls `frames` frames through the output once, as the device does while
  // playing; lets tests advance playback without waiting for the device.
  void Pump(int frames);

 protected:
  // Checks the decoder library and opens the audio output; without a sound
  // device, false after the warning "No sound device: " and SDL's reason.
  bool StartDevice() override;
  // Unloads and closes the output.
  bool StopDevice() override;

 private:
  uint32_t m_stream = 0;  // handle of the loaded stream file, 0 = none
  uint32_t m_music = 0;   // handle of the loaded module music, 0 = none
  uint32_t m_nextHandle = 1;
  std::unique_ptr<qibo::demo::AudioOutput> m_output;
};
