#pragma once

#include <cstdint>

#include "core/object/Ref.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTDrawable.h"
#include "demo/scenes/CTDemoScene.h"
#include "demo/scenes/CTViewQuad.h"

// A full-screen veil of one colour whose opacity is the fader's level.
//
// While active the veil is on the engine's always-drawn list, so it covers
// whatever the cameras show, backdrop included; at level 0 it draws
// nothing. On every update
//   level += elapsed ms x 0.001 / duration,  clamped to [0, 1],
// so a positive duration fades the colour in over that many seconds and a
// negative one fades it out. A duration of 0 (or one that is not finite) is
// refused: the level then stays where it is.
//
// The root group stays empty: the veil lives in view space and is drawn
// through the always-drawn list, not through the world.
class CTFader : public CTDemoScene {
  QIBO_CLASS(CTFader)

 public:
  static constexpr float kDefaultDuration = 10.0f;

  explicit CTFader(const char* name = "Fader");
  ~CTFader() override;

  void SetColor(const DColor& color);
  DColor GetColor() const { return m_quad ? m_quad->GetColor() : DColor{}; }
  // Seconds for a full fade; the sign gives the direction. False, nothing
  // changed, for 0 or a value that is not finite.
  bool SetDuration(float seconds);
  float GetDuration() const { return m_duration; }
  // Clamped to [0, 1]; a value that is not a number counts as 0.
  void SetLevel(float level);
  float GetLevel() const { return m_level; }

  // The drawable that carries the veil (for inspection).
  CTDrawable* GetVeil() const { return m_veil.Get(); }
  // Whether the veil is on the engine's always-drawn list.
  bool IsOnDrawList() const { return m_onDrawList; }

 protected:
  void OnActivate() override;
  void OnDeactivate() override;
  void Animate(int32_t elapsed) override;

 private:
  // Veil opacity from the level; hidden at 0.
  void ApplyLevel();
  void MakeVeil();

  Ref<CTViewQuad> m_quad;
  Ref<CTMaterial> m_material;
  Ref<CTDrawable> m_veil;
  float m_duration = kDefaultDuration;
  float m_level = 0.0f;
  bool m_onDrawList = false;
};
