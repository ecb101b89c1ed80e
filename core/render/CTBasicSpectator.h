#pragma once

#include <cstdint>
#include <functional>

#include "core/devices/CTMotionBase.h"
#include "core/devices/CTSound.h"
#include "core/devices/DevicePtr.h"
#include "core/object/CTBasicPtr.h"
#include "core/object/Ref.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/CTSpectator.h"
#include "core/render/DViewport.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTMicrophone.h"
#include "core/scene/CTMotionSensor.h"

class CTEntity;

// A person in front of a screen: a viewport onto a camera, shown on a
// render target, optionally with a sound device listening through a
// microphone and a motion platform driven by an entity's motion sensor.
//
// Devices are acquired from the device manager, exclusively, once the
// spectator is enabled: idle (0) -> starting (1) once its devices are
// acquired -> active (2) once the motion platform, if any, is ready. Only
// an active spectator renders. Disabling releases the devices and returns
// to idle. Closing the render window disables the spectator.
class CTBasicSpectator : public CTSpectator {
  QIBO_CLASS(CTBasicSpectator)

 public:
  enum specstate_t : uint32_t { kIdle = 0, kStarting = 1, kActive = 2 };
  static constexpr uint32_t kUseAudio = 0x00000001;
  static constexpr uint32_t kUseVideo = 0x00000100;
  static constexpr uint32_t kUseMotion = 0x00010000;
  static constexpr uint32_t kEnabled = 0x01000000;

  explicit CTBasicSpectator(const char* name = "Spectator");
  ~CTBasicSpectator() override;

  void Process() override;
  bool IsActive() const override { return m_state == kActive; }

  virtual void SetCamera(CTCamera* camera);
  virtual void SetMicrophone(CTMicrophone* microphone) { m_microphone = microphone; }
  // Takes the entity's motion sensor; null drops the sensor.
  virtual void SetSensor(CTEntity* entity);

  void Enable() { m_flags |= kEnabled; }
  void Disable() { m_flags &= ~kEnabled; }
  bool IsEnabled() const { return (m_flags & kEnabled) != 0; }
  void UseAudio(bool on) { SetFlag(kUseAudio, on); }
  void UseVideo(bool on) { SetFlag(kUseVideo, on); }
  void UseMotion(bool on) { SetFlag(kUseMotion, on); }
  uint32_t GetFlags() const { return m_flags; }
  specstate_t GetState() const { return m_state; }

  CTCamera* GetCamera() const { return m_camera.Get(); }
  CTMicrophone* GetMicrophone() const { return m_microphone.Get(); }
  CTEntity* GetSensor() const;
  CTSound* GetAudioDevice() const { return m_audio.Get(); }
  CTRenderTarget* GetVideoDevice() const { return m_video.Get(); }
  CTMotionBase* GetMotionDevice() const { return m_motion.Get(); }
  // Hands a device to the spectator: the old one is given back, the new one
  // shared through the device manager (dropped when that fails).
  void SetAudioDevice(CTSound* device) { m_audio.Share(device); }
  void SetVideoDevice(CTRenderTarget* device);
  void SetMotionDevice(CTMotionBase* device) { m_motion.Share(device); }
  DViewport& GetViewport() { return m_viewport; }

  // Brings an enabled spectator up now instead of over its first frames:
  // acquires the devices, lets configure set up the video device (its size,
  // say) and shows it. The first frame then draws at once, and what the
  // output needs can be prepared before it. False when a device cannot be
  // had or the output cannot be shown.
  bool OpenOutput(const std::function<void(CTRenderTarget*)>& configure = nullptr);

 private:
  void SetFlag(uint32_t flag, bool on) { m_flags = on ? (m_flags | flag) : (m_flags & ~flag); }
  bool Uses(uint32_t flag) const { return (m_flags & flag) != 0; }
  // Acquires what the use flags ask for and gives back what they do not;
  // false (with the device's message when report is set) when a device
  // cannot be had.
  bool UpdateDevices(bool report);
  bool UpdateVideoDevice(bool report);
  void ReleaseVideoDevice();
  void ReleaseDevices();
  void UpdateStates();
  void SetState(specstate_t state);
  bool MotionReady() { return !m_motion || m_motion->IsReady(); }
  void ProcessMotion();
  // False when the spectator disabled itself (its output was closed or
  // cannot be shown).
  bool ProcessVideo();

  DevicePtr<CTRenderTarget> m_video;
  DevicePtr<CTSound> m_audio;
  DevicePtr<CTMotionBase> m_motion;
  SmartPtr<CTCamera> m_camera;
  SmartPtr<CTMicrophone> m_microphone;
  Ref<CTMotionSensor> m_sensor;
  bool m_shownByUs = false;    // we made the video device visible, so we hide it
  bool m_seenVisible = false;  // it was visible: turning invisible means closed
  specstate_t m_state = kIdle;
  uint32_t m_flags = kUseVideo;
  DViewport m_viewport;
};
