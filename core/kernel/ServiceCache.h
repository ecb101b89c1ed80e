#pragma once

#include <cstdint>

class CTManager;

namespace qibo {

// The exported API reaches each service family through one library-wide
// cached reference: fetched with qiBO_GetService on first use, held with an
// anonymous reference, started again when found stopped, and dropped by
// qiBO_Deinit.
enum class CachedService {
  Application,
  Engine,
  Class,
  Error,
  PropertyPage,
  PlugIn,
  Material,
  Network,
  kCount
};

// The cached service, fetching it by interface ID when none is cached, and
// starting it when it is stopped. Null when no such service exists.
CTManager* GetCachedService(CachedService which, uint32_t interfaceId);
// The cached service as it is, without fetching or starting.
CTManager* PeekCachedService(CachedService which);
// Replaces the cached service (taking a reference on the new one).
void SetCachedService(CachedService which, CTManager* service);
void ReleaseCachedServices();

}  // namespace qibo
