#pragma once

#include "core/kernel/DPropertyPage.h"

class CTDirect3D;

// The render device's settings page, caption "Direct3D": how CTDirect3D
// opens (display, adapter, driver, full screen or window, resolution,
// window size, configuration mode) in a Dear ImGui window of its own, with
// "Shoot" for a snapshot of the device and the page's OK, Cancel and Apply.
// OK and Apply write the device's ten opening settings into its
// properties and the settings store.
//
// A page needs a display a user can see: on SDL's off-screen or dummy
// driver it is not shown (nobody could close it).
class CDirect3DPP : public DPropertyPage {
 public:
  const char* GetCaption() const override { return "Direct3D"; }
  // Edits object when it is a CTDirect3D; otherwise the device the program
  // uses, or one obtained from the device manager for the page.
  Result DoModal(CTNamed* object) override;

 private:
  Result Run(CTDirect3D& device);
};
