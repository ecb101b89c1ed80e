#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

class CTDynaController;
class CTSpring;

// The physics service: the rigid bodies (dynamics controllers) and springs
// that are enabled, stepped once per frame by the engine after collision
// detection and the environments' world update. Enabling a body or a
// spring registers it here (when the service runs); disabling removes it.
// Without the service the frame skips physics and nothing falls.
class CTPhysicsManager : public CTManager {
  QIBO_CLASS(CTPhysicsManager)

 public:
  // One frame of ms milliseconds (nothing for ms <= 0).
  virtual void Step(int32_t ms) = 0;
  virtual void AddSpring(CTSpring* spring) = 0;
  virtual void RemoveSpring(CTSpring* spring) = 0;
  virtual void AddBody(CTDynaController* body) = 0;
  virtual void RemoveBody(CTDynaController* body) = 0;
};
