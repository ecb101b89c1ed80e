#include "core/kernel/EngineApi.h"

#include "core/kernel/CTApplication.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/ServiceCache.h"
#include "core/object/Ref.h"

namespace {

CTEngineManager* Engine() {
  return static_cast<CTEngineManager*>(
      qibo::GetCachedService(qibo::CachedService::Engine, CTEngineManager::_CD()->ID()));
}

}  // namespace

int qiBO_Main(const char* application, int argc, const char** argv) {
  CTManager* service = qiBO_GetServiceByName(application);
  auto* app = static_cast<CTApplication*>(qibo::DynamicCast(service, CTApplication::_CD()->ID()));
  if (!app) return -1;
  qibo::SetCachedService(qibo::CachedService::Application, app);
  return app->Run(argc, argv);
}

void qiBO_Quit(int code) {
  auto* app = static_cast<CTApplication*>(qibo::PeekCachedService(qibo::CachedService::Application));
  if (!app) app = qibo::FindService<CTApplication>();
  if (!app) return;
  Ref hold(app);
  app->Quit(code);
  qibo::SetCachedService(qibo::CachedService::Application, nullptr);
}

void qiBO_Loop() {
  if (CTEngineManager* engine = Engine()) engine->Loop();
}

bool qiBO_StopLoop() {
  CTEngineManager* engine = Engine();
  return engine ? engine->StopLoop() : true;
}

bool qiBO_Pause() {
  CTEngineManager* engine = Engine();
  return engine && engine->Pause();
}

bool qiBO_Continue() {
  CTEngineManager* engine = Engine();
  return engine && engine->Continue();
}

bool qiBO_IsLooping() {
  CTEngineManager* engine = Engine();
  return engine && engine->IsLooping();
}

bool qiBO_IsPaused() {
  CTEngineManager* engine = Engine();
  return engine && engine->IsPaused();
}

int32_t qiBO_DoFrame() {
  CTEngineManager* engine = Engine();
  return engine ? engine->DoFrame() : 0;
}

void qiBO_Lock() {
  if (CTEngineManager* engine = Engine()) engine->Lock();
}

void qiBO_Unlock() {
  if (CTEngineManager* engine = Engine()) engine->Unlock();
}

bool qiBO_DoRenderContext(DRenderContext* context) {
  CTEngineManager* engine = Engine();
  return engine && engine->DoRenderContext(context);
}

uint32_t qiBO_GetFrameID() {
  CTEngineManager* engine = Engine();
  return engine ? engine->GetFrameID() : 0;
}

void qiBO_AddDrawable(CTEntity* entity) {
  if (CTEngineManager* engine = Engine()) engine->AddDrawable(entity);
}

void qiBO_RemoveDrawable(CTEntity* entity) {
  if (CTEngineManager* engine = Engine()) engine->RemoveDrawable(entity);
}

void qiBO_RegisterSpectator(CTSpectator* spectator) {
  if (CTEngineManager* engine = Engine()) engine->RegisterSpectator(spectator);
}

void qiBO_UnregisterSpectator(CTSpectator* spectator) {
  if (CTEngineManager* engine = Engine()) engine->UnregisterSpectator(spectator);
}

void qiBO_AddEnvironment(CTEnvironment* environment) {
  if (CTEngineManager* engine = Engine()) engine->AddEnvironment(environment);
}

void qiBO_RemoveEnvironment(CTEnvironment* environment) {
  if (CTEngineManager* engine = Engine()) engine->RemoveEnvironment(environment);
}

CTEnvironment* qiBO_GetDefaultEnvironment() {
  CTEngineManager* engine = Engine();
  return engine ? engine->GetDefaultEnvironment() : nullptr;
}

CTEnvironment* qiBO_FindEnvironment(const Vector3& point) {
  CTEngineManager* engine = Engine();
  return engine ? engine->FindEnvironment(point) : nullptr;
}
