#pragma once

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/render/base/CTMaterial.h"

// A quad over the whole view: corners (-1, -1), (-1, 1), (1, 1), (1, -1) at
// depth 0 in view space, two triangles (0, 1, 2) and (0, 2, 3), drawn from
// both sides whatever the camera. Its vertices carry one colour, which a
// material with "UseVertexColor" shows.
//
// Meant for the engine's always-drawn list: entity transforms do not move
// it, and it is never culled.
class CTViewQuad : public CTShape {
  QIBO_CLASS(CTViewQuad)

 public:
  // View space, shared, two-sided, lit.
  static constexpr uint32_t kQuadState = 0x1016;

  explicit CTViewQuad(const char* name = "View quad");

  // The colour of all four vertices (r, g, b; a is not used).
  void SetColor(const DColor& color);
  DColor GetColor() const;

  bool WorthCulling() const override { return false; }
  Vector3 GetSupport(const Vector3& d) override;
  DRenderShape* GetRenderShape() override { return &m_mesh; }

 private:
  DRenderShape m_mesh;
};
