#pragma once

#include <cstdint>
#include <vector>

#include "core/kernel/CTPropertyPageManager.h"
#include "core/kernel/DPropertyPage.h"

// The property-page host: finds the pages the loaded plug-ins offer through
// their property-page exports (see DPropertyPage.h) and shows them one
// after another, each in a window of its own.
//
// The exports are looked up anew for every request, so that nothing is
// kept from a plug-in that has been unloaded since.
class DefPropertyPageManager : public CTPropertyPageManager {
  QIBO_CLASS(DefPropertyPageManager)

 public:
  // With an object of a class that has pages: those pages, editing it.
  // With no object or the service manager (the whole system): every page
  // of every plug-in, each editing the object of its class that it finds
  // itself. True when at least one page was shown.
  bool ShowPropertyPage(CTNamed* object) override;

  // One page a plug-in offers.
  struct PageEntry {
    QIBO_String library;  // the plug-in's file name
    int index = 0;        // the page's index in its plug-in
    uint32_t classId = 0;
    CreatePropertyPageFn create = nullptr;
    DeletePropertyPageFn destroy = nullptr;
  };
  // The pages of every loaded plug-in, in load order and index order.
  std::vector<PageEntry> FindPages();

 private:
  // Shows one page; whether it was shown.
  bool ShowPage(const PageEntry& entry, CTNamed* object);
};
