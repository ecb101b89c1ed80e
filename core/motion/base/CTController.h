#pragma once

#include <cstdint>

#include "core/object/CTInterface.h"

// Base of every controller: an object that, once enabled, changes something
// every frame. Enable() runs DoEnable(), which a controller uses to start
// its work (typically a timed update of the message manager); Disable()
// runs DoDisable(), which stops it. Disabled at construction.
class CTController : public CTInterface {
  QIBO_CLASS(CTController)

 public:
  static constexpr uint32_t kChunkID = 0x50A81E1A;  // int enabled

  explicit CTController(const char* name = nullptr) : CTInterface(name) {}

  void DoAddProperties() override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // True when enabled (already, or now); false when DoEnable refused.
  bool Enable();
  void Disable();
  bool IsEnabled() const { return m_enabled; }
  virtual void Reset() {}

 protected:
  virtual bool DoEnable() { return true; }
  virtual void DoDisable() {}

  // A stream said "enabled" before the controller could be (an entity
  // controller reads its entity and target after this base record): the
  // readers of those records try again once they have them.
  void RetryPendingEnable() {
    if (m_enablePending) Enable();
  }

 private:
  bool m_enabled = false;
  bool m_enablePending = false;
};
