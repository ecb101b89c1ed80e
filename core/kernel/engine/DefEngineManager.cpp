#include "core/kernel/engine/DefEngineManager.h"

#include <chrono>
#include <thread>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/CTTimer.h"
#include "core/geometry/CTCollisionManager.h"
#include "core/geometry/CTShape.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/StopSignals.h"
#include "core/motion/CTPhysicsManager.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/CTSpectator.h"
#include "core/render/base/CTRenderPipelineManager.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTCamera.h"

QIBO_IMPLEMENT_CLASS(DefEngineManager, CTEngineManager, .desc = "Engine kernel", .product = "qiBO DefMgr",
                     .build = 1)

namespace {

constexpr int32_t kMaxFrameMs = 1000;
constexpr int32_t kPausedFrameMs = 10;

}  // namespace

// The default frame time is the single-precision 0.01 widened to double,
// which makes constant frames 9 ms long.
DefEngineManager::DefEngineManager() : m_frameTime(static_cast<double>(0.01f)) {}

DefEngineManager::~DefEngineManager() {
  ReleaseScene();
  while (!m_spectators.Empty()) m_spectators.RemoveAt(m_spectators.Size() - 1)->RemoveRef(this);
}

void DefEngineManager::DoAddProperties() {
  CTEngineManager::DoAddProperties();
  const ClassDesc* cd = DefEngineManager::_CD();
  AddProperty(DProperty(m_frameTime, "FrameTime"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_worldTime), "WorldTime"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_frameTimeL), "FrameTimeL"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_frame), "Frame"), cd);
  AddPropertyRO(DProperty(m_fps, "FPS"), cd);
  AddProperty(DProperty(m_constantFrameTime, "ConstantFrameTime"), cd);
  AddPropertyRO(DProperty(m_looping, "Looping"), cd);
  AddPropertyRO(DProperty(m_doLoop, "DoLoop"), cd);
  AddPropertyRO(DProperty(m_paused, "Paused"), cd);
  AddPropertyRO(DProperty(m_doPause, "DoPause"), cd);
}

void DefEngineManager::AcquireTimer() {
  auto* devices = qibo::FindService<CTDeviceManager>();
  if (!devices) devices = qibo::GetService<CTDeviceManager>();
  if (!devices || !devices->IsStarted()) return;
  auto* timer = qibo::Cast<CTTimer>(devices->GetDevice(CTTimer::_CD()->ID(), true));
  if (timer && timer == m_timer.Get()) {
    // A second use of the same device: give it back, one is enough.
    devices->ReleaseDevice(timer);
    return;
  }
  m_timer = timer;  // adopts the use GetDevice counted
}

bool DefEngineManager::DoStart() {
  if (m_timer && !m_timer->IsStarted())
    m_timer->Start();
  else if (!m_timer)
    AcquireTimer();
  if (!m_messages) m_messages = Ref(qibo::FindService<CTUpdateManager>());
  if (!m_collisions) m_collisions = Ref(qibo::FindService<CTCollisionManager>());
  if (!m_physics) m_physics = Ref(qibo::FindService<CTPhysicsManager>());
  return true;
}

bool DefEngineManager::DoStop() {
  if (!StopLoop()) return false;  // the loop ends after its current frame
  {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_renderContexts.clear();
    ReleaseScene();
    // A spectator that cannot unregister itself is taken off the list here.
    while (!m_spectators.Empty()) {
      CTSpectator* spectator = m_spectators[m_spectators.Size() - 1];
      spectator->UnregisterWithService();
      UnregisterSpectator(spectator);
    }
  }
  m_timer.Reset();
  m_messages.Reset();
  m_collisions.Reset();
  m_physics.Reset();
  return true;
}

void DefEngineManager::Loop() {
  m_doLoop = true;
  m_looping = true;
  // A stop signal ends the loop like StopLoop; the program then winds down.
  while (m_doLoop && !qibo::StopSignalReceived()) DoFrame();
  m_looping = false;
}

bool DefEngineManager::StopLoop() {
  m_doLoop = false;
  return !m_looping;
}

bool DefEngineManager::Pause() {
  if (!m_doPause) {
    m_paused = false;
    m_doPause = true;
    if (m_timer) m_timer->Pause();
  }
  return m_paused;
}

bool DefEngineManager::Continue() {
  if (m_doPause) {
    // The first frame after the pause gets about the length of the last
    // one, not a zero or negative length.
    m_previousWorldTime -= static_cast<uint32_t>(m_frameTimeL);
    m_doPause = false;
    if (m_timer) m_timer->Continue();
  }
  return !m_paused;
}

bool DefEngineManager::DoRenderContext(DRenderContext* context) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  m_renderContexts.push_back(context);
  return true;
}

void DefEngineManager::Sleep(int32_t ms) {
  if (m_timer)
    m_timer->Sleep(ms);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void DefEngineManager::MeasureTime() {
  if (!m_constantFrameTime && m_timer) {
    m_worldTime = static_cast<uint32_t>(m_timer->GetTime());
    m_frameTimeL = static_cast<int32_t>(m_worldTime - m_previousWorldTime);
    while (m_frameTimeL < 1) {
      m_timer->Sleep(1);
      m_worldTime = static_cast<uint32_t>(m_timer->GetTime());
      m_frameTimeL = static_cast<int32_t>(m_worldTime - m_previousWorldTime);
    }
    if (m_frameTimeL > kMaxFrameMs) m_frameTimeL = kMaxFrameMs;
    m_frameTime = m_frameTimeL * 0.001;
  } else {
    m_frameTimeL = static_cast<int32_t>(m_frameTime * 1000.0);
    if (m_frameTimeL < 1) m_frameTimeL = 1;
    m_worldTime = m_previousWorldTime + static_cast<uint32_t>(m_frameTimeL);
  }
}

void DefEngineManager::MeasureFPS() {
  const uint32_t span = m_worldTime - m_fpsTimeMark;
  if (span <= 1000) return;
  m_fps = static_cast<float>(((m_frame - m_fpsFrameMark) * 1000u) / span);
  m_fpsFrameMark = m_frame;
  m_fpsTimeMark = m_worldTime;
}

void DefEngineManager::TickMessages() {
  if (!m_messages) m_messages = Ref(qibo::FindService<CTUpdateManager>());
  if (!m_messages) return;
  if (!m_messages->IsStarted() && !m_messages->Start()) return;
  m_messages->Tick(m_frameTimeL);
}

int32_t DefEngineManager::DoFrame() {
  if (m_doPause) {
    Sleep(kPausedFrameMs);
    m_paused = true;
    return kPausedFrameMs;
  }
  {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    MeasureTime();
    MeasureFPS();
    TickMessages();
    DetectCollisions();
    UpdateEnvironments();
    StepPhysics();
    ProcessSpectators();
    PresentTargets();
    RenderContexts();
    ++m_frame;
    m_previousWorldTime = m_worldTime;
  }
  m_paused = false;
  return m_frameTimeL;
}

void DefEngineManager::DetectCollisions() {
  if (!m_collisions) m_collisions = Ref(qibo::FindService<CTCollisionManager>());
  if (!m_collisions) return;
  if (!m_collisions->IsStarted() && !m_collisions->Start()) return;
  m_collisions->ProcessAll();
}

// After the environments' world update: the bodies read their surroundings.
void DefEngineManager::StepPhysics() {
  if (!m_physics) m_physics = Ref(qibo::FindService<CTPhysicsManager>());
  if (!m_physics) return;
  if (!m_physics->IsStarted() && !m_physics->Start()) return;
  m_physics->Step(m_frameTimeL);
}

// ---------------------------------------------------------------------------
// Spectators and rendering

void DefEngineManager::RegisterSpectator(CTSpectator* spectator) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (!spectator) return;
  m_spectators.Add(spectator);
  spectator->AddRef(this);
}

void DefEngineManager::UnregisterSpectator(CTSpectator* spectator) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_spectators.Remove(spectator)) spectator->RemoveRef(this);
}

void DefEngineManager::ProcessSpectators() {
  // By index: a spectator may unregister itself (or another) while it runs.
  for (size_t i = 0; i < m_spectators.Size(); ++i) m_spectators[i]->Process();
}

// The targets drawn in the previous frame show their pictures now.
void DefEngineManager::PresentTargets() {
  while (!m_toPresent.Empty()) {
    CTRenderTarget* target = m_toPresent.RemoveAt(m_toPresent.Size() - 1);
    target->Present();
    target->RemoveRef(this);
  }
}

void DefEngineManager::RenderContexts() {
  while (!m_renderContexts.empty()) {
    DRenderContext* context = m_renderContexts.back();
    m_renderContexts.pop_back();
    RenderContext(context);
  }
}

void DefEngineManager::RenderContext(DRenderContext* context) {
  CTRenderTarget* target = context->target;
  CTRenderPipelineManager* pipeline = context->PreparePipeline();
  if (pipeline && pipeline->BeginContext(context)) {
    // BeginContext refuses a context without a target.
    if (!target->BeginScene(context)) {
      pipeline->EndContext(context);
      return;
    }
    DrawScene(context);
    target->EndScene(context);
    if (CTRenderPipelineManager* current = context->PreparePipeline()) current->EndContext(context);
  }
  if (target && !m_toPresent.Contains(target)) {
    m_toPresent.Add(target);
    target->AddRef(this);
  }
}

// The camera's whole scene, then every drawable, each starting from the
// identity placement with every frustum plane still to test.
void DefEngineManager::DrawScene(DRenderContext* context) {
  static const DTransform identity;
  CTCamera* camera = context->camera;
  context->environment = FindEnvironment(camera ? camera->GetWorldPosition() : Vector3());
  ProcessInfo_t info;
  info.flags = qibo::kPassDraw;
  info.render.context = context;
  info.render.world = &identity;
  if (camera) camera->GetRoot()->Process(info);
  for (size_t i = 0; i < m_drawables.Size(); ++i) {
    info.render.world = &identity;
    info.render.clipMask = qibo::kClipAll;
    m_drawables[i]->Process(info);
  }
}

// ---------------------------------------------------------------------------
// Drawables and environments

void DefEngineManager::AddDrawable(CTEntity* entity) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (!entity || m_drawables.Contains(entity)) return;
  m_drawables.Add(entity);
  entity->AddRef(this);
}

void DefEngineManager::RemoveDrawable(CTEntity* entity) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_drawables.Remove(entity)) entity->RemoveRef(this);
}

void DefEngineManager::AddEnvironment(CTEnvironment* environment) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (!environment || m_environments.Contains(environment)) return;
  m_environments.Add(environment);
  environment->AddRef(this);
}

void DefEngineManager::RemoveEnvironment(CTEnvironment* environment) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_environments.Remove(environment)) environment->RemoveRef(this);
}

void DefEngineManager::OnDelete(CTReferenced* dying) {
  // A drawable or environment deleted regardless leaves the lists.
  m_drawables.Remove(dying);
  m_environments.Remove(dying);
  m_spectators.Remove(dying);
  m_toPresent.Remove(dying);
  CTEngineManager::OnDelete(dying);
}

CTEnvironment* DefEngineManager::GetDefaultEnvironment() {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_defaultEnvironment) return m_defaultEnvironment.Get();
  for (CTEnvironment* environment : m_environments) {
    if (!environment->GetBoundingVolume()) {
      m_defaultEnvironment = Ref<CTEnvironment>(environment);
      return environment;
    }
  }
  m_defaultEnvironment = qibo::Create<CTEnvironment>();
  if (m_defaultEnvironment) m_defaultEnvironment->SetName("Earth");
  return m_defaultEnvironment.Get();
}

CTEnvironment* DefEngineManager::FindEnvironment(const Vector3& point) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  CTEnvironment* fallback = GetDefaultEnvironment();
  CTEnvironment* chosen = nullptr;
  for (CTEnvironment* environment : m_environments) {
    if (environment == fallback) continue;
    if (chosen && !(environment->GetPriority() > chosen->GetPriority())) continue;
    CTShape* bounds = environment->GetBoundingVolume();
    if (!bounds || bounds->CheckWithPoint(point, &environment->GetWorldTransform()) == kIntersectInside)
      chosen = environment;
  }
  return chosen ? chosen : fallback;
}

void DefEngineManager::UpdateEnvironments() {
  for (size_t i = 0; i < m_environments.Size(); ++i) m_environments[i]->UpdateWorldSpace();
}

void DefEngineManager::ReleaseScene() {
  m_defaultEnvironment.Reset();
  while (!m_toPresent.Empty()) m_toPresent.RemoveAt(m_toPresent.Size() - 1)->RemoveRef(this);
  while (!m_drawables.Empty()) RemoveDrawable(m_drawables[0]);
  while (!m_environments.Empty()) RemoveEnvironment(m_environments[0]);
}
