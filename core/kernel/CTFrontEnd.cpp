#include "core/kernel/CTFrontEnd.h"

#include <algorithm>
#include <cstdint>

#include "core/kernel/CTFrontEndManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTFrontEnd, CTLogged, .desc = "Abstract front-end", .isAbstract = true)

CTFrontEnd::CTFrontEnd(const char* name) : CTLogged(name) {
  auto* manager = qibo::GetService<CTFrontEndManager>();
  if (manager && manager->IsStarted()) manager->AddFrontEnd(this);
}

CTFrontEnd::~CTFrontEnd() {
  // Normally the manager has already dropped its entry (its reference kept
  // us alive); this only clears a stale one.
  if (auto* manager = qibo::FindService<CTFrontEndManager>()) manager->RemoveFrontEnd(this);
}

void CTFrontEnd::ErrorManagerMessage(errorstruct_t*) {}
void CTFrontEnd::InitProgress(int) {}
void CTFrontEnd::StepProgress(int) {}
void CTFrontEnd::EndProgress() {}

void CTFrontEnd::Notify(CTNamed*, int msg, void* data) {
  // Integer data travels in the pointer-sized data word.
  const int value = static_cast<int>(reinterpret_cast<intptr_t>(data));
  switch (static_cast<uint32_t>(msg)) {
    case kFrontEndInitProgress:
      InitProgress(value);
      break;
    case kFrontEndStepProgress:
      StepProgress(std::max(value, 1));
      break;
    case kFrontEndEndProgress:
      EndProgress();
      break;
    case kFrontEndErrorMessage:
      ErrorManagerMessage(static_cast<errorstruct_t*>(data));
      break;
    default:
      break;
  }
}

void CTFrontEnd::QuitApp(int code) { qiBO_Quit(code); }
