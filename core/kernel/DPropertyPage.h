#pragma once

#include <cstdint>

class CTNamed;

// A settings page that a plug-in offers for one of its classes. The host
// (the property-page service) gets it from the plug-in's export
// qiBO_CreatePropertyPage, shows it, and gives it back through
// qiBO_DeletePropertyPage: the plug-in that made the page frees it.
//
// The plug-in exports, looked up by name in every loaded plug-in:
//   int qiBO_InitPropertyPageLib();                       1 when the plug-in has pages
//   uint32_t qiBO_GetPropertyPageClassID(int index);        class ID of page index, 0 past the last
//   DPropertyPage* qiBO_CreatePropertyPage(int index);      a new page, null past the last
//   void qiBO_DeletePropertyPage(DPropertyPage* page);      frees a page; null is ignored
class DPropertyPage {
 public:
  enum class Result {
    kNotShown,   // the page could not be shown (no display, no object to edit)
    kCancelled,  // shown and closed without applying anything
    kApplied,    // shown, and OK or Apply wrote the settings
  };

  virtual ~DPropertyPage() = default;

  // The page's title.
  virtual const char* GetCaption() const = 0;
  // Shows the page in a window of its own and returns when the user closes
  // it. object is an instance of the page's class to edit; with null the
  // page finds the object of its class itself. Runs on the engine's thread
  // and blocks it until the page is closed.
  virtual Result DoModal(CTNamed* object) = 0;
};

// The exports' types, for a host that looks them up by name.
using InitPropertyPageLibFn = int (*)();
using GetPropertyPageClassIDFn = uint32_t (*)(int index);
using CreatePropertyPageFn = DPropertyPage* (*)(int index);
using DeletePropertyPageFn = void (*)(DPropertyPage* page);
