#include "core/kernel/CTPropertyPageManager.h"

#include "core/kernel/ServiceCache.h"

QIBO_IMPLEMENT_CLASS(CTPropertyPageManager, CTManager, .desc = "Property Page Manager", .isAbstract = true)

bool qiBO_ShowPropertyPage(CTNamed* object) {
  auto* pages = static_cast<CTPropertyPageManager*>(
      qibo::GetCachedService(qibo::CachedService::PropertyPage, CTPropertyPageManager::_CD()->ID()));
  return pages && pages->IsStarted() && pages->ShowPropertyPage(object);
}
