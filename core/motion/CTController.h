#pragma once

#include "core/object/CTInterface.h"

// Base of every controller: an object that, once enabled, changes something
// every frame. Enable() runs DoEnable(), which a controller uses to start
// its work (typically a timed update); Disable() runs DoDisable().
class CTController : public CTInterface {
  QIBO_CLASS(CTController)

 public:
  explicit CTController(const char* name = nullptr) : CTInterface(name) {}

  void DoAddProperties() override;

  // True when enabled (already, or now); false when DoEnable refused.
  bool Enable();
  void Disable();
  bool IsEnabled() const { return m_enabled; }
  virtual void Reset() {}

 protected:
  virtual bool DoEnable() { return true; }
  virtual void DoDisable() {}

 private:
  bool m_enabled = false;
};
