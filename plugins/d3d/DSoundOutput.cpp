#include "plugins/d3d/DSoundOutput.h"

#include <SDL2/SDL.h>

bool DSoundOutput::Open(std::string& error) {
  if (m_device) return true;
  // The programs handle Ctrl+C and SIGTERM themselves.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error = SDL_GetError();
    return false;
  }
  m_subsystem = true;
  SDL_AudioSpec wanted{};
  wanted.freq = kRate;
  wanted.format = AUDIO_F32SYS;
  wanted.channels = kChannels;
  wanted.samples = 1024;  // about 23 ms a period
  // No changes allowed: SDL converts to whatever the hardware wants.
  m_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (!m_device) {
    error = SDL_GetError();
    Close();
    return false;
  }
  m_delivered = 0;
  SDL_PauseAudioDevice(m_device, 0);
  return true;
}

void DSoundOutput::Close() {
  if (m_device) {
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
  }
  if (m_subsystem) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_subsystem = false;
  }
}

void DSoundOutput::Queue(const float* interleaved, int frames) {
  if (!m_device || !interleaved || frames <= 0) return;
  const auto bytes = static_cast<uint32_t>(frames) * kChannels * sizeof(float);
  if (SDL_QueueAudio(m_device, interleaved, bytes) == 0) m_delivered += frames;
}

int64_t DSoundOutput::Queued() const {
  if (!m_device) return 0;
  return SDL_GetQueuedAudioSize(m_device) / (kChannels * sizeof(float));
}

void DSoundOutput::Clear() {
  if (m_device) SDL_ClearQueuedAudio(m_device);
}

void DSoundOutput::SetPaused(bool paused) {
  if (m_device) SDL_PauseAudioDevice(m_device, paused ? 1 : 0);
}
