#pragma once

#include "core/object/CTInterface.h"

// How a surface is lit and drawn. The scene graph holds materials by
// reference; their colours, switches and textures, and the material service
// that numbers them, come with the renderer.
class CTMaterial : public CTInterface {
  QIBO_CLASS(CTMaterial)

 public:
  explicit CTMaterial(const char* name = "Material") : CTInterface(name) {}
};
