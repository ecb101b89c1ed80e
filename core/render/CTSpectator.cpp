#include "core/render/CTSpectator.h"

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTSpectator, CTLogged, .desc = "Spectator", .isAbstract = true)

bool CTSpectator::DoRegisterWithService() {
  if (auto* engine = qibo::FindService<CTEngineManager>()) engine->RegisterSpectator(this);
  return true;
}

bool CTSpectator::DoUnregisterWithService() {
  if (auto* engine = qibo::FindService<CTEngineManager>()) engine->UnregisterSpectator(this);
  return true;
}
