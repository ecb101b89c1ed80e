#pragma once

#include "core/render/CTPipelineStage.h"
#include "core/scene/math/Vector3.h"

class CTLight;
class CTMaterial;

// Lights a world-space shape in software: every vertex gets the colour one
// directional light (the environment's) gives it through the shape's
// material: emissive plus ambient, plus diffuse by the angle to the light,
// plus a specular highlight by the half vector between light and eye.
// Colours are not clamped here; the device clamps at drawing.
class CTPipelineStage_LightWorld : public CTPipelineStage {
  QIBO_CLASS(CTPipelineStage_LightWorld)

 public:
  CTPipelineStage_LightWorld();

  // A context with a camera and an environment that has a light.
  bool HandlesContext(DRenderContext* context) const override;

 protected:
  void PrepareContext(DRenderContext* context) override;
  bool DoProcess(DRenderPacket* packet) override;

 private:
  Vector3 m_half;  // -(camera direction + light direction), normalised
};
