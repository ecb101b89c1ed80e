#include "demo/CTBassPlayer.h"

#include <libopenmpt/libopenmpt.h>

#include <string>

#include "core/persist/OsPath.h"
#include "demo/AudioOutput.h"
#include "demo/MusicDecoder.h"

QIBO_IMPLEMENT_CLASS(CTBassPlayer, CTMusicPlayer, .desc = "BASS Music Player", .product = "qiBO Devices")

namespace {

// The player's "library version" check: the libopenmpt loaded at run time
// must have the API major version the player was built against. (The
// message keeps the text the engine has always logged for a wrong audio
// library.)
bool DecoderLibraryMatches() {
  const uint32_t version = openmpt_get_library_version();
  return (version >> 24) == OPENMPT_API_VERSION_MAJOR;
}

}  // namespace

CTBassPlayer::CTBassPlayer() : m_output(std::make_unique<qibo::demo::AudioOutput>()) {}

CTBassPlayer::~CTBassPlayer() {
  // CTDevice's destructor stops a still-started device, but by then this
  // class's StopDevice is gone: release the sound here.
  m_output->Close();
}

bool CTBassPlayer::StartDevice() {
  if (!DecoderLibraryMatches()) {
    WarningMsg("BASS version 0.7 was not loaded\n", 0);
    return false;
  }
  // A machine without a sound device is no fault of the program: a warning
  // that names SDL's reason, and the caller goes on without music.
  std::string reason;
  if (!m_output->Open(&reason)) {
    WarningMsgF(0, "No sound device: %s", reason.c_str());
    return false;
  }
  return NoError();
}

bool CTBassPlayer::StopDevice() {
  Unload();
  m_output->Close();
  return NoError();
}

bool CTBassPlayer::Load(const char* file) {
  Unload();
  if (!file) return ErrorMsg("Can't play the file");
  // Names are the engine's ("runfiles\\melody01.xm"): the decoders get the
  // operating system's path.
  const std::string path = qibo::ResolvePath(file);
  if (auto stream = qibo::demo::OpenStreamDecoder(path.c_str())) {
    m_output->SetSource(std::move(stream));
    m_stream = m_nextHandle++;
  } else if (auto music = qibo::demo::OpenModuleDecoder(path.c_str(), true)) {
    m_output->SetSource(std::move(music));
    m_music = m_nextHandle++;
  } else {
    return ErrorMsg("Can't play the file");
  }
  if (m_nextHandle == 0) m_nextHandle = 1;
  return NoError();
}

bool CTBassPlayer::Unload() {
  StopMusic();
  if (m_stream || m_music) m_output->SetSource(nullptr);
  m_stream = 0;
  m_music = 0;
  return true;
}

bool CTBassPlayer::Play() {
  if (!m_stream && !m_music) return false;
  m_output->Start();
  return IsActive();
}

bool CTBassPlayer::Pause() { return false; }

bool CTBassPlayer::Resume() { return false; }

bool CTBassPlayer::StopMusic() {
  m_output->Stop();
  return true;
}

bool CTBassPlayer::IsActive() const { return (m_stream || m_music) && m_output->IsPlaying(); }

int64_t CTBassPlayer::GetPlayedMs() const {
  return m_output->PlayedFrames() * 1000 / qibo::demo::kOutputRate;
}

void CTBassPlayer::Pump(int frames) { m_output->Pump(frames); }
