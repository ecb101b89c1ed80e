#pragma once

#include <cstdint>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/object/CTNamed.h"
#include "core/object/CountedPtr.h"
#include "core/object/Ref.h"

class CTDrawable;
class CTNoisyTexture;

// The film-grain quad: (-1, -1) .. (1, 1) at depth 0 in view space, white
// vertex colours, faces (0, 1, 2) and (0, 2, 3). Every time it is drawn its
// texture coordinates jump to a random offset (du, dv) and span 2 x 2, so
// that the noise texture, repeated twice each way, changes every frame.
class CTFilmGrainQuad : public CTShape {
  QIBO_CLASS(CTFilmGrainQuad)

 public:
  static constexpr uint32_t kQuadState = 0x1016;  // view space, shared, two-sided, lit

  explicit CTFilmGrainQuad(const char* name = "Film grain");

  DRenderShape* GetRenderShape() override { return &m_quad; }
  // Jumps the texture coordinates, then draws.
  void Render(const RenderInfo_t& info, CTMaterial* material) override;
  // The texture coordinate jump alone: offsets rand() / 256 each way.
  void Jump();
  bool WorthCulling() const override { return false; }
  Vector3 GetSupport(const Vector3& d) override;

 private:
  DRenderShape m_quad;
};

// The film-grain overlay: a drawable with the grain quad and the material
// "NoiseMat" (white, vertex colours, alpha 0.1, a 256 x 256 noise
// texture), put on the engine's always-drawn list while shown.
class CTFilmGrain : public CTNamed {
  QIBO_CLASS(CTFilmGrain)

 public:
  static constexpr int kNoiseSize = 256;

  explicit CTFilmGrain(const char* name = "Film grain");
  // Hides the overlay first.
  ~CTFilmGrain() override;

  // Makes the drawable, the quad and the material (found again by name when
  // it exists). Show builds on demand; false when the material service is
  // missing.
  bool Build();
  bool IsBuilt() const { return static_cast<bool>(m_drawable); }
  // Adds the drawable to / removes it from the always-drawn list.
  bool Show();
  void Hide();
  bool IsShown() const { return m_shown; }

  CTDrawable* GetDrawable() const { return m_drawable.Get(); }
  CTFilmGrainQuad* GetQuad() const { return m_quad.Get(); }
  CTMaterial* GetMaterial() const { return m_material.Get(); }

 private:
  Ref<CTDrawable> m_drawable;
  Ref<CTFilmGrainQuad> m_quad;
  CountedPtr<CTMaterial> m_material;
  bool m_shown = false;
};
