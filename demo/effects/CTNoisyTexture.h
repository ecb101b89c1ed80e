#pragma once

#include "core/render/base/CTTexture.h"

// A texture of random grey noise: every pixel gets one random byte in its
// red, green and blue channels, alpha fully opaque.
class CTNoisyTexture : public CTTexture {
  QIBO_CLASS(CTNoisyTexture)

 public:
  explicit CTNoisyTexture(const char* name = "Noisy texture");

  // Fills a new width x height buffer with noise from rand() and installs
  // it. False, leaving the texture as it was, when either size is below 1
  // or the buffer cannot be made or installed.
  bool Generate(int width, int height);
};
