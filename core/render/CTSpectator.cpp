#include "core/render/CTSpectator.h"

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTSpectator, CTLogged, .desc = "Spectator", .isAbstract = true)

namespace {

CTEngineManager* RunningEngine() {
  auto* engine = qibo::FindService<CTEngineManager>();
  return engine && engine->IsStarted() ? engine : nullptr;
}

}  // namespace

bool CTSpectator::DoRegisterWithService() {
  if (CTEngineManager* engine = RunningEngine()) engine->RegisterSpectator(this);
  return true;
}

bool CTSpectator::DoUnregisterWithService() {
  if (CTEngineManager* engine = RunningEngine()) engine->UnregisterSpectator(this);
  return true;
}
