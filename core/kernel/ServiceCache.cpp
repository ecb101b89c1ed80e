#include "core/kernel/ServiceCache.h"

#include <array>

#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"

namespace qibo {

namespace {

using Cache = std::array<Ref<CTManager>, static_cast<size_t>(CachedService::kCount)>;

// Never destroyed: the services go with qiBO_Deinit, never with the
// library's static destruction, when other statics may already be gone.
Cache& TheCache() {
  static Cache* cache = new Cache();
  return *cache;
}

Ref<CTManager>& Slot(CachedService which) { return TheCache()[static_cast<size_t>(which)]; }

}  // namespace

CTManager* GetCachedService(CachedService which, uint32_t interfaceId) {
  Ref<CTManager>& slot = Slot(which);
  if (!slot) {
    if (CTManager* service = qiBO_GetService(interfaceId)) SetCachedService(which, service);
  } else if (!slot->IsStarted()) {
    slot->Start();
  }
  return slot.Get();
}

CTManager* PeekCachedService(CachedService which) { return Slot(which).Get(); }

void SetCachedService(CachedService which, CTManager* service) {
  Ref<CTManager>& slot = Slot(which);
  if (slot != service) slot = Ref<CTManager>(service);
}

void ReleaseCachedServices() {
  for (Ref<CTManager>& slot : TheCache()) {
    // Emptied before the old service may go away.
    Ref<CTManager> old = std::move(slot);
  }
}

}  // namespace qibo
