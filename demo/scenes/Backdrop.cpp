#include "demo/scenes/Backdrop.h"

#include "core/object/CTBasicPtr.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/base/CTTexture.h"

namespace {

SmartPtr<CTBasicSpectator>& DemoSpectator() {
  static SmartPtr<CTBasicSpectator> spectator;
  return spectator;
}

}  // namespace

void SetDemoSpectator(CTBasicSpectator* spectator) { DemoSpectator() = spectator; }

CTBasicSpectator* GetDemoSpectator() { return DemoSpectator().Get(); }

bool ShowBackdrop(CTTexture* picture) {
  CTBasicSpectator* spectator = GetDemoSpectator();
  if (!spectator) return false;
  DViewport& viewport = spectator->GetViewport();
  // The picture already shown stays; the caller learns that nothing changed.
  if (viewport.GetBackgroundPicture() == picture) return false;
  viewport.SetBackgroundPicture(picture);
  return true;
}

CTTexture* GetBackdrop() {
  CTBasicSpectator* spectator = GetDemoSpectator();
  return spectator ? spectator->GetViewport().GetBackgroundPicture() : nullptr;
}
