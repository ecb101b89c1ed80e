#include "core/kernel/CTPropertyPageManager.h"

#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTPropertyPageManager, CTManager, .desc = "Property Page Manager", .isAbstract = true)

bool qiBO_ShowPropertyPage(CTNamed* object) {
  auto* pages = qibo::FindService<CTPropertyPageManager>();
  return pages && pages->ShowPropertyPage(object);
}
