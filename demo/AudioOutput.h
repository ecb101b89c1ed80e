#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "demo/MusicDecoder.h"

// The music player's sound output: SDL2's default audio device at 44100 Hz,
// stereo float, fed by one decoder. SDL pulls the sound from its own audio
// thread through a callback; the decoder is only touched under SDL's device
// lock, so the engine thread may swap it at any time.
//
// Without a sound card SDL's "dummy" driver (SDL_AUDIODRIVER=dummy) pulls at
// the same pace and drops the sound, and "disk" writes it to a file.
namespace qibo::demo {

class AudioOutput {
 public:
  AudioOutput() = default;
  ~AudioOutput() { Close(); }
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // Initialises SDL's audio subsystem and opens the device, paused. False
  // with SDL's reason in `error` when either fails (nothing stays open).
  bool Open(std::string* error = nullptr);
  // Closes the device, drops the decoder and releases the audio subsystem.
  void Close();
  bool IsOpen() const { return m_device != 0; }

  // The decoder to play from now on (null: silence); the previous one is
  // destroyed. Works whether the device is open or not.
  void SetSource(std::unique_ptr<MusicDecoder> source);
  bool HasSource() const { return m_hasSource; }

  // Unpauses / pauses the device; nothing when it is not open.
  void Start();
  void Stop();
  // The device is open and running and its decoder has not reached its end.
  bool IsPlaying() const;
  // Frames the current decoder has delivered to the device.
  int64_t PlayedFrames() const { return m_played.load(); }

  // Pulls `frames` frames once, as the device does while running, and drops
  // them; nothing while the device is stopped. Lets tests and tools advance
  // playback without waiting for the device.
  void Pump(int frames);

 private:
  static void Callback(void* user, uint8_t* stream, int length);
  void Mix(float* out, int frames);

  uint32_t m_device = 0;  // SDL_AudioDeviceID, 0 = closed
  bool m_subsystem = false;
  bool m_running = false;
  bool m_hasSource = false;
  std::unique_ptr<MusicDecoder> m_source;  // under the device lock while open
  std::atomic<bool> m_ended{false};
  std::atomic<int64_t> m_played{0};
};

}  // namespace qibo::demo
