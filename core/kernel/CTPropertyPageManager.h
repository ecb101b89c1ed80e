#pragma once

#include "core/kernel/CTManager.h"

// Shows configuration pages of objects. The engine has no implementation:
// a host that can show pages registers one as a service.
class CTPropertyPageManager : public CTManager {
  QIBO_CLASS(CTPropertyPageManager)

 public:
  // Shows the pages of object; whether any was shown.
  virtual bool ShowPropertyPage(CTNamed* object) = 0;
};

// Shows object's pages through the property-page service; false when no
// such service runs (the engine itself brings none).
bool qiBO_ShowPropertyPage(CTNamed* object);
