#pragma once

#include "core/object/CTLogged.h"

// Someone (or something) experiencing the scene: owns what it sees and
// hears it with. A registered spectator is listed with the running engine,
// which calls Process once per frame; processing typically queues render
// contexts that the same frame renders.
class CTSpectator : public CTLogged {
  QIBO_CLASS(CTSpectator)

 public:
  explicit CTSpectator(const char* name = "Spectator") : CTLogged(name) {}

  virtual void Process() = 0;
  virtual bool IsActive() const = 0;

  // Registering lists the spectator with the engine when it runs.
  bool DoRegisterWithService() override;
  bool DoUnregisterWithService() override;
};
