#pragma once

#include "core/kernel/CTManager.h"

// Shows configuration pages of objects. The default implementation
// (DefPropertyPageManager) shows the pages the loaded plug-ins offer.
class CTPropertyPageManager : public CTManager {
  QIBO_CLASS(CTPropertyPageManager)

 public:
  // Shows the pages of object; whether any was shown.
  virtual bool ShowPropertyPage(CTNamed* object) = 0;
};

// Shows object's pages through the property-page service (reached through
// the API's cached reference, created and started on demand); false when
// there is no such service or no page could be shown.
bool qiBO_ShowPropertyPage(CTNamed* object);
