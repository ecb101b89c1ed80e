#pragma once

#include "core/scene/CTEntity.h"

// The ears of a spectator: an entity whose world placement the sound
// device hears the scene from.
class CTMicrophone : public CTEntity {
  QIBO_CLASS(CTMicrophone)

 public:
  explicit CTMicrophone(const char* name = "Entity") : CTEntity(name) {}

 protected:
  CTMicrophone(const CTMicrophone& other) = default;
  CTEntity* Clone() const override { return new CTMicrophone(*this); }
};
