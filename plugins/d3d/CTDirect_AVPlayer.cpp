#include "plugins/d3d/CTDirect_AVPlayer.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/devices/CTDeviceManager.h"
#include "core/kernel/Kernel.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "plugins/d3d/CTDirect3D.h"
#include "plugins/d3d/D3DDeviceLookup.h"
#include "plugins/d3d/DMediaFile.h"

QIBO_IMPLEMENT_CLASS(CTDirect_AVPlayer, CTAV_Player, .desc = "DirectShow Audio/Video Player Device",
                     .url = "RasterDev.plug", .product = "qiBO Devices")

CTDirect_AVPlayer::CTDirect_AVPlayer() { SetName("Direct AV Player"); }

CTDirect_AVPlayer::~CTDirect_AVPlayer() {
  CloseFiles();
  if (m_updating) RemoveUpdate(qibo::AsUpdate(&CTDirect_AVPlayer::PlayFrame));
}

bool CTDirect_AVPlayer::StartDevice() {
  AddUpdate(qibo::AsUpdate(&CTDirect_AVPlayer::PlayFrame), 0, -1);
  m_updating = true;
  return true;
}

bool CTDirect_AVPlayer::StopDevice() {
  if (m_updating) RemoveUpdate(qibo::AsUpdate(&CTDirect_AVPlayer::PlayFrame));
  m_updating = false;
  CloseFiles();
  if (m_device && m_target) m_device->ReleaseBackgroundSurface();
  m_target.Reset();
  m_device.Reset();
  m_playlist.clear();
  m_output.Close();
  return CTAV_Player::StopDevice();
}

bool CTDirect_AVPlayer::AddFile(const char* file) {
  // A playlist entry holds 255 characters: a longer name is refused, never
  // cut (a cut name could open another file).
  if (!file || !*file || std::strlen(file) > QIBO_String::kMaxLength)
    return ErrorMsgF("Cannot add a file to the playlist: no name, or a name longer than %d characters",
                     QIBO_String::kMaxLength);
  m_playlist.emplace_back(file);
  return true;
}

bool CTDirect_AVPlayer::ObtainDevice() {
  if (m_device) return true;
  // The device the program shows (a spectator may hold it exclusively),
  // else one of the device manager's.
  if (CTDirect3D* shown = qibo::d3d::FindRegisteredDirect3D()) return m_device.Share(shown);
  auto* devices = qibo::GetService<CTDeviceManager>();
  if (devices) m_device = qibo::Cast<CTDirect3D>(devices->GetDevice("CTDirect3D", true));
  return m_device.Get() != nullptr;
}

bool CTDirect_AVPlayer::Open() {
  StopPlaying();
  if (!IsStarted()) return ErrorMsg("Open: the player is not started");
  if (!ObtainDevice()) return ErrorMsg("Open: there is no Direct3D device to show the video on");
  m_target = Ref<CTTexture>(m_device->GetBackgroundSurface());
  if (!m_target) return ErrorMsg("Open: the device has no background surface");
  m_outputFailed = false;
  int opened = 0;
  for (const QIBO_String& name : m_playlist) {
    auto file = std::make_unique<DMediaFile>();
    std::string detail;
    if (const char* step = file->Open(name.c_str(), detail)) {
      std::printf("ERROR!!: %s\n", step);
      std::fflush(stdout);
      ErrorMsgF("%.100s: %s (%.100s)", name.c_str(), step, detail.c_str());
      file.reset();
    } else {
      ++opened;
    }
    m_files.push_back(std::move(file));
  }
  m_playedMs = 0;
  m_fileStartSamples = 0;
  if (m_playlist.empty()) return true;
  if (opened == 0) return false;
  m_current = -1;
  const int first = NextFile();
  if (!StartFile(first)) {
    StopPlaying();
    return ErrorMsg("Open: the first file cannot start");
  }
  return true;
}

int CTDirect_AVPlayer::NextFile() const {
  const int count = static_cast<int>(m_files.size());
  for (int i = m_current + 1; i < count; ++i)
    if (m_files[static_cast<size_t>(i)]) return i;
  if (!m_loop && m_current >= 0) return -1;
  for (int i = 0; i <= m_current && i < count; ++i)
    if (m_files[static_cast<size_t>(i)]) return i;
  return -1;
}

bool CTDirect_AVPlayer::StartFile(int index) {
  if (index < 0 || index >= static_cast<int>(m_files.size()) || !m_files[static_cast<size_t>(index)])
    return false;
  DMediaFile& file = *m_files[static_cast<size_t>(index)];
  if (!file.Start())
    return ErrorMsgF("%.200s cannot start again", m_playlist[static_cast<size_t>(index)].c_str());
  m_current = index;
  m_fileStartSamples = m_playedMs * DSoundOutput::kRate / 1000;
  if (file.HasSound() && !m_sink && !m_output.IsOpen() && !m_outputFailed) {
    std::string error;
    if (!m_output.Open(error)) {
      m_outputFailed = true;
      WarningMsgF(0, "No sound output (%.200s): the video plays without sound", error.c_str());
    }
  }
  return true;
}

void CTDirect_AVPlayer::PlayFrame(int32_t elapsed) {
  if (m_current < 0 || m_paused || !m_target) return;
  DMediaFile& file = *m_files[static_cast<size_t>(m_current)];
  // The frame is converted straight into the texture's pixels.
  if (!m_target->GetData()) m_target->SetData(std::make_unique<LFB>());
  LFB* picture = m_target->GetData();
  if (!picture) return;
  bool newPicture = false;
  const DMediaFile::Step step = file.Advance(
      elapsed, *picture, newPicture,
      [this](const float* samples, int frames, int64_t position) { Sound(samples, frames, position); });
  m_playedMs += elapsed > 0 ? elapsed : 0;
  if (newPicture) m_target->Invalidate();
  if (step != DMediaFile::Step::kEnded) return;
  const int next = NextFile();
  if (next < 0 || !StartFile(next)) StopPlaying();
}

void CTDirect_AVPlayer::Sound(const float* interleaved, int frames, int64_t position) {
  if (m_sink)
    m_sink->WriteSound(interleaved, frames, m_fileStartSamples + position);
  else
    m_output.Queue(interleaved, frames);
}

bool CTDirect_AVPlayer::Pause() {
  if (m_current < 0) return false;
  m_paused = true;
  m_output.SetPaused(true);
  return true;
}

bool CTDirect_AVPlayer::Resume() {
  if (m_current < 0) return false;
  m_paused = false;
  m_output.SetPaused(false);
  return true;
}

void CTDirect_AVPlayer::StopPlaying() {
  m_current = -1;
  m_paused = false;
  CloseFiles();
  m_output.Clear();
  m_output.SetPaused(false);
}

void CTDirect_AVPlayer::CloseFiles() { m_files.clear(); }
