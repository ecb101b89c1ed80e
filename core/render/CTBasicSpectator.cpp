#include "core/render/CTBasicSpectator.h"

#include "core/devices/CTDeviceManager.h"
#include "core/kernel/Kernel.h"
#include "core/scene/CTEntity.h"

// A fixed class ID, not the checksum of the name: streams know it by this.
QIBO_IMPLEMENT_CLASS(CTBasicSpectator, CTSpectator, .desc = "CTBasicSpectator", .fixedId = 0x74160EC4)

namespace {

// A device of the class held by nobody else, or null.
template <class T>
T* AcquireExclusive() {
  auto* devices = qibo::FindService<CTDeviceManager>();
  if (!devices) devices = qibo::GetService<CTDeviceManager>();
  if (!devices || (!devices->IsStarted() && !devices->Start())) return nullptr;
  return qibo::Cast<T>(devices->GetDevice(T::_CD()->ID(), -1, false));
}

}  // namespace

CTBasicSpectator::CTBasicSpectator(const char* name) : CTSpectator(name) {}

CTBasicSpectator::~CTBasicSpectator() { ReleaseDevices(); }

void CTBasicSpectator::SetCamera(CTCamera* camera) {
  m_camera = camera;
  m_viewport.SetCamera(camera);
}

void CTBasicSpectator::SetSensor(CTEntity* entity) {
  m_sensor = Ref(entity ? entity->RequestMotionSensor() : nullptr);
}

CTEntity* CTBasicSpectator::GetSensor() const { return m_sensor ? m_sensor->GetEntity() : nullptr; }

void CTBasicSpectator::SetVideoDevice(CTRenderTarget* device) {
  if (device == m_video.Get()) return;
  ReleaseVideoDevice();
  if (device && m_video.Share(device)) m_seenVisible = device->IsVisible();
  m_viewport.SetDevice(m_video.Get());
}

bool CTBasicSpectator::UpdateVideoDevice(bool report) {
  if (Uses(kUseVideo) && !m_video) {
    CTRenderTarget* device = AcquireExclusive<CTRenderTarget>();
    if (!device) {
      if (report) ErrorMsg("Cannot create necessary Video-device");
      return false;
    }
    m_video = device;  // adopts the use GetDevice counted
    m_seenVisible = device->IsVisible();
  } else if (!Uses(kUseVideo) && m_video) {
    ReleaseVideoDevice();
    m_seenVisible = false;
  }
  if (m_viewport.GetDevice() != m_video.Get()) m_viewport.SetDevice(m_video.Get());
  return true;
}

bool CTBasicSpectator::UpdateDevices(bool report) {
  if (!UpdateVideoDevice(report)) return false;
  if (Uses(kUseAudio) && !m_audio) {
    m_audio = AcquireExclusive<CTSound>();
    if (!m_audio) return report ? ErrorMsg("Cannot create necessary Audio-device") : false;
  } else if (!Uses(kUseAudio)) {
    m_audio.Reset();
  }
  if (Uses(kUseMotion)) {
    if (!m_motion) m_motion = AcquireExclusive<CTMotionBase>();
    if (!m_motion) return report ? ErrorMsg("Cannot create necessary Motion-device") : false;
  } else if (m_motion) {
    m_motion->Park();
    m_motion.Reset();
  }
  return true;
}

void CTBasicSpectator::ReleaseVideoDevice() {
  if (m_video && m_shownByUs) m_video->Hide();
  m_shownByUs = false;
  m_video.Reset();
}

void CTBasicSpectator::ReleaseDevices() {
  if (m_motion) m_motion->Park();
  m_motion.Reset();
  m_audio.Reset();
  ReleaseVideoDevice();
  m_seenVisible = true;
  m_viewport.SetDevice(nullptr);
}

void CTBasicSpectator::UpdateStates() {
  switch (m_state) {
    case kIdle:
      if (!IsEnabled()) break;
      if (UpdateDevices(true))
        m_state = kStarting;
      else
        Disable();
      break;
    case kStarting:
      if (!IsEnabled()) {
        ReleaseDevices();
        m_state = kIdle;
      } else if (UpdateDevices(false) && MotionReady()) {
        m_seenVisible = false;
        m_state = kActive;
      }
      break;
    case kActive:
      if (!IsEnabled()) {
        ReleaseDevices();
        m_state = kIdle;
      } else if (!UpdateDevices(false) || !MotionReady()) {
        UpdateDevices(true);
        m_state = kStarting;
      }
      break;
  }
}

void CTBasicSpectator::SetState(specstate_t state) {
  if (state == kIdle) ReleaseDevices();
  if (state == kStarting) UpdateDevices(true);
  if (state == kActive) m_seenVisible = false;
  m_state = state;
}

void CTBasicSpectator::ProcessMotion() {
  if (!Uses(kUseMotion) || !m_motion || !m_sensor) return;
  if (m_motion->NeedsHoming()) m_motion->Home();
  if (!m_motion->NeedsHoming()) m_motion->Follow(m_sensor->GetMotionInfo());
}

bool CTBasicSpectator::ProcessVideo() {
  CTRenderTarget* device = m_video.Get();
  if (!device || !m_camera) return true;
  if (!device->IsVisible()) {
    if (m_seenVisible || !device->Show()) {
      // The output was closed, or cannot be opened: nothing left to watch.
      Disable();
      return false;
    }
    m_shownByUs = true;
  }
  m_seenVisible = true;
  m_viewport.Render();
  return true;
}

bool CTBasicSpectator::OpenOutput(const std::function<void(CTRenderTarget*)>& configure) {
  if (!IsEnabled()) return false;
  if (m_state == kIdle) UpdateStates();
  if (m_state == kIdle) return false;
  CTRenderTarget* device = m_video.Get();
  if (!device) return !Uses(kUseVideo);
  if (configure) configure(device);
  if (!device->IsVisible()) {
    if (!device->Show()) return false;
    m_shownByUs = true;
  }
  return true;
}

void CTBasicSpectator::Process() {
  UpdateStates();
  if (m_state != kActive) return;
  ProcessMotion();
  if (Uses(kUseAudio) && m_audio) m_audio->SetListener(m_microphone.Get());
  if (Uses(kUseVideo)) ProcessVideo();
}
