#pragma once

#include <cstdint>

#include "core/object/Ref.h"
#include "core/render/base/CTTexture.h"
#include "core/scene/CTDrawable.h"
#include "demo/effects/CTTorus1.h"
#include "demo/scenes/CTDemoScene.h"

// The first scene: one knot tube in its default mode, material "Torus0Mat"
// (texture "cubes2"), with its shadow band, turning slowly about the
// vertical axis in front of the picture "runfiles\Start2.jpg".
//
// The picture is imported at Build and shown as the backdrop while the
// scene is active; Deactivate clears the backdrop if it still shows it.
// A missing picture leaves the backdrop as it is (the importer logs why).
//
// Extent in root coordinates: the tube within (-12, -12, -12) .. (12, 12,
// 12), the shadow band on the plane y = -19 within x, z of -12 .. 12.
// Framing: a camera at (0, 5, -28) looking along +z at the origin shows the
// tube at about half the view's height with its shadow below; from (0, 25,
// -35) looking at the origin the shadow band shows beneath the tube.
class CTTorusScene : public CTDemoScene {
  QIBO_CLASS(CTTorusScene)

 public:
  static constexpr const char* kPictureFile = "runfiles\\Start2.jpg";
  // Radians per second about the vertical axis.
  static constexpr double kTurnRate = 0.35;

  explicit CTTorusScene(const char* name = "Torus scene");
  ~CTTorusScene() override;

  CTTorus1* GetTorus() const { return m_torus.Get(); }
  CTDrawable* GetTorusDrawable() const { return m_drawable; }
  // Null when the picture could not be imported.
  CTTexture* GetPicture() const { return m_picture.Get(); }

 protected:
  void DoBuild() override;
  void OnActivate() override;
  void OnDeactivate() override;
  void Animate(int32_t elapsed) override;

 private:
  Ref<CTTorus1> m_torus;
  CTDrawable* m_drawable = nullptr;  // held by the root
  Ref<CTTexture> m_picture;
  double m_angle = 0.0;
};
