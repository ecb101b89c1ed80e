#include "core/kernel/ServiceCache.h"

#include "core/kernel/CTManager.h"
#include "core/kernel/Kernel.h"

namespace qibo {

namespace {
CTManager* g_cache[static_cast<int>(CachedService::kCount)] = {};
}

CTManager* GetCachedService(CachedService which, uint32_t interfaceId) {
  CTManager*& slot = g_cache[static_cast<int>(which)];
  if (!slot) {
    if (CTManager* service = qiBO_GetService(interfaceId)) SetCachedService(which, service);
  } else if (!slot->IsStarted()) {
    slot->Start();
  }
  return slot;
}

CTManager* PeekCachedService(CachedService which) { return g_cache[static_cast<int>(which)]; }

void SetCachedService(CachedService which, CTManager* service) {
  CTManager*& slot = g_cache[static_cast<int>(which)];
  if (slot == service) return;
  if (service) service->AddRef(nullptr);
  CTManager* old = slot;
  slot = service;
  if (old) old->RemoveRef(nullptr);
}

void ReleaseCachedServices() {
  for (CTManager*& slot : g_cache) {
    CTManager* old = slot;
    slot = nullptr;
    if (old) old->RemoveRef(nullptr);
  }
}

}  // namespace qibo
