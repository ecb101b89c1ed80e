#pragma once

#include <mutex>
#include <vector>

#include "core/devices/CTTimer.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/object/Ref.h"
#include "core/object/StepArray.h"
#include "core/scene/CTEnvironment.h"

class CTCollisionManager;
class CTPhysicsManager;
class CTRenderTarget;
class CTSpectator;

class DefEngineManager : public CTEngineManager {
  QIBO_CLASS(DefEngineManager)

 public:
  DefEngineManager();
  ~DefEngineManager() override;

  void DoAddProperties() override;

  void Loop() override;
  bool StopLoop() override;
  bool Pause() override;
  bool Continue() override;
  bool IsLooping() override { return m_looping && m_doLoop; }
  bool IsPaused() override { return m_paused && m_doPause; }
  int32_t DoFrame() override;
  void Lock() override { m_lock.lock(); }
  void Unlock() override { m_lock.unlock(); }
  bool DoRenderContext(DRenderContext* context) override;
  uint32_t GetFrameID() override { return m_frame; }
  void AddDrawable(CTEntity* entity) override;
  void RemoveDrawable(CTEntity* entity) override;
  void RegisterSpectator(CTSpectator* spectator) override;
  void UnregisterSpectator(CTSpectator* spectator) override;
  void AddEnvironment(CTEnvironment* environment) override;
  void RemoveEnvironment(CTEnvironment* environment) override;
  CTEnvironment* GetDefaultEnvironment() override;
  CTEnvironment* FindEnvironment(const Vector3& point) override;
  uint32_t GetWorldTime() override { return m_worldTime; }
  void OnDelete(CTReferenced* dying) override;

  int GetDrawableCount() const { return m_drawables.Count(); }
  int GetEnvironmentCount() const { return m_environments.Count(); }
  int GetSpectatorCount() const { return m_spectators.Count(); }

  int32_t GetFrameTimeL() const { return m_frameTimeL; }
  double GetFrameTime() const { return m_frameTime; }
  float GetFPS() const { return m_fps; }
  CTTimer* GetTimer() const { return m_timer.Get(); }

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  void AcquireTimer();
  void UpdateEnvironments();
  void ReleaseScene();
  void MeasureTime();
  void MeasureFPS();
  void TickMessages();
  void DetectCollisions();
  void StepPhysics();
  void ProcessSpectators();
  void PresentTargets();
  void RenderContexts();
  void RenderContext(DRenderContext* context);
  void DrawScene(DRenderContext* context);
  void Sleep(int32_t ms);

  std::recursive_mutex m_lock;
  double m_frameTime;        // seconds per frame ("FrameTime")
  uint32_t m_worldTime = 0;  // ms, time of the current frame
  int32_t m_frameTimeL = 1;  // ms, length of the current frame
  uint32_t m_frame = 0;      // frame counter
  float m_fps = 0;
  bool m_constantFrameTime = false;
  uint32_t m_fpsFrameMark = 0;
  uint32_t m_fpsTimeMark = 0;
  uint32_t m_previousWorldTime = 0;
  Ref<CTUpdateManager> m_messages;
  Ref<CTCollisionManager> m_collisions;
  Ref<CTPhysicsManager> m_physics;
  DevicePtr<CTTimer> m_timer;  // a shared use of the device manager's timer
  bool m_looping = false;
  bool m_doLoop = false;
  bool m_paused = false;
  bool m_doPause = false;
  qibo::StepArray<CTSpectator*> m_spectators;      // named references
  qibo::StepArray<CTRenderTarget*> m_toPresent;    // drawn last frame; named references
  std::vector<DRenderContext*> m_renderContexts;   // queued this frame, not owned
  qibo::StepArray<CTEntity*> m_drawables;          // named references
  qibo::StepArray<CTEnvironment*> m_environments;  // named references
  Ref<CTEnvironment> m_defaultEnvironment;
};
