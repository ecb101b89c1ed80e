#pragma once

#include <cstdint>
#include <string>

// The video player's sound card: SDL2's default audio device at 44100 Hz,
// interleaved stereo float, fed through SDL's queue (SDL's own audio thread
// plays what was queued; no callback of ours runs there). Without a sound
// card SDL's "dummy" driver plays the queue away at the same pace and
// "disk" writes it to a file.
class DSoundOutput {
 public:
  static constexpr int kRate = 44100;
  static constexpr int kChannels = 2;

  DSoundOutput() = default;
  ~DSoundOutput() { Close(); }
  DSoundOutput(const DSoundOutput&) = delete;
  DSoundOutput& operator=(const DSoundOutput&) = delete;

  // Starts SDL's audio subsystem and opens the device, running. False with
  // SDL's reason in error when either fails (nothing stays open).
  bool Open(std::string& error);
  void Close();
  bool IsOpen() const { return m_device != 0; }

  // Appends frames sample frames of interleaved stereo to the queue.
  void Queue(const float* interleaved, int frames);
  // Sample frames queued and not played yet.
  int64_t Queued() const;
  // Sample frames queued since the device was opened.
  int64_t Delivered() const { return m_delivered; }
  // Drops what was queued and not played.
  void Clear();
  void SetPaused(bool paused);

 private:
  uint32_t m_device = 0;  // SDL_AudioDeviceID, 0 = closed
  bool m_subsystem = false;
  int64_t m_delivered = 0;
};
