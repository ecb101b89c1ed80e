#include "demo/AudioOutput.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <vector>

namespace qibo::demo {

namespace {

constexpr int kBufferFrames = 1024;  // about 23 ms per callback

// Holds SDL's device lock for a scope; nothing when the device is closed.
class DeviceLock {
 public:
  explicit DeviceLock(uint32_t device) : m_device(device) {
    if (m_device) SDL_LockAudioDevice(m_device);
  }
  ~DeviceLock() {
    if (m_device) SDL_UnlockAudioDevice(m_device);
  }
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;

 private:
  uint32_t m_device;
};

// The ALSA library writes its own error lines straight to the terminal when
// SDL probes a machine without a sound card; the reason that matters reaches
// the caller through SDL_GetError. Its error handler is replaced by one that
// drops them. The library is found at run time, as SDL finds it.
void DropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
  static const bool done = [] {
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!alsa) return true;  // no ALSA, no messages; the handle stays open
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
      set(&DropAlsaMessage);
    return true;
  }();
  (void)done;
}

}  // namespace

bool AudioOutput::Open(std::string* error) {
  if (m_device) return true;
  SilenceAlsa();
  // The program handles Ctrl+C and SIGTERM itself (StopSignals.h).
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    if (error) *error = SDL_GetError();
    return false;
  }
  m_subsystem = true;
  SDL_AudioSpec wanted{};
  wanted.freq = kOutputRate;
  wanted.format = AUDIO_F32SYS;
  wanted.channels = kOutputChannels;
  wanted.samples = kBufferFrames;
  wanted.callback = &AudioOutput::Callback;
  wanted.userdata = this;
  SDL_AudioSpec obtained{};
  // No changes allowed: SDL converts to whatever the hardware wants.
  m_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (!m_device) {
    if (error) *error = SDL_GetError();
    Close();
    return false;
  }
  m_running = false;
  return true;
}

void AudioOutput::Close() {
  if (m_device) {
    SDL_CloseAudioDevice(m_device);  // waits for the callback to return
    m_device = 0;
  }
  m_running = false;
  SetSource(nullptr);
  if (m_subsystem) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_subsystem = false;
  }
}

void AudioOutput::SetSource(std::unique_ptr<MusicDecoder> source) {
  std::unique_ptr<MusicDecoder> old;
  {
    DeviceLock lock(m_device);
    old = std::move(m_source);
    m_source = std::move(source);
    m_hasSource = m_source != nullptr;
    m_ended = false;
    m_played = 0;
  }
  // The old decoder is destroyed outside the lock: closing a file may take time.
}

void AudioOutput::Start() {
  if (!m_device) return;
  SDL_PauseAudioDevice(m_device, 0);
  m_running = true;
}

void AudioOutput::Stop() {
  if (!m_device) return;
  SDL_PauseAudioDevice(m_device, 1);
  m_running = false;
}

bool AudioOutput::IsPlaying() const { return m_device && m_running && m_hasSource && !m_ended.load(); }

void AudioOutput::Pump(int frames) {
  if (!m_device || !m_running || frames <= 0) return;
  std::vector<float> scratch(static_cast<size_t>(frames) * kOutputChannels);
  DeviceLock lock(m_device);
  Mix(scratch.data(), frames);
}

void AudioOutput::Callback(void* user, uint8_t* stream, int length) {
  auto* self = static_cast<AudioOutput*>(user);
  const int frames = length / static_cast<int>(sizeof(float) * kOutputChannels);
  self->Mix(reinterpret_cast<float*>(stream), frames);
}

// Runs with the device lock held (SDL holds it around the callback).
void AudioOutput::Mix(float* out, int frames) {
  int written = 0;
  if (m_source && !m_ended.load()) {
    written = std::max(0, m_source->Render(out, frames));
    m_played += written;
    if (written < frames) m_ended = true;
  }
  std::fill(out + static_cast<size_t>(written) * kOutputChannels,
            out + static_cast<size_t>(frames) * kOutputChannels, 0.0f);
}

}  // namespace qibo::demo
