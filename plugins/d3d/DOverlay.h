#pragma once

#include <memory>
#include <string>

#include "core/geometry/DRenderShape.h"
#include "core/object/Ref.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"

class DGlRenderer;

// What the device draws over every frame: the logo (a textured quad sent
// through the pipeline in screen space) and the statistics line drawn with
// a small built-in bitmap font.
class DOverlay {
 public:
  DOverlay() = default;
  ~DOverlay();
  DOverlay(const DOverlay&) = delete;
  DOverlay& operator=(const DOverlay&) = delete;

  // Makes the logo's material and texture from the embedded chunk stream
  // and places its quad in the top right corner of a width x height output.
  // False (and no logo) when the stream cannot be read.
  bool CreateLogo(int width, int height);
  void DeleteLogo();
  // The logo's render shape, or null.
  DRenderShape* GetLogoShape() { return m_logoTexture ? &m_logoShape : nullptr; }

  // Draws text at the top left: opaque background, the colour as 0xRRGGBB.
  static void DrawText(DGlRenderer& renderer, const std::string& text, unsigned color);

 private:
  void PlaceQuad(int width, int height, int w, int h);

  DRenderShape m_logoShape;
  Ref<CTMaterial> m_logoMaterial;
  Ref<CTTexture> m_logoTexture;
};
