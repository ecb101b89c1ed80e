#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/render/base/LFB.h"
#include "demo/data/BitmapFont.h"

// Painting helpers for the demo's generated pictures and textures: a
// floating-point RGB canvas with blending, deterministic noise and a
// converter to the engine's 32-bit pixel buffer.
namespace qibo::demo {

struct Rgb {
  double r = 0.0, g = 0.0, b = 0.0;
};
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator*(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }
inline Rgb operator*(Rgb a, Rgb b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Rgb Mix(Rgb a, Rgb b, double t) { return a * (1.0 - t) + b * t; }

// Colour at t (0..1) of a gradient through evenly spaced stops.
Rgb Gradient(const std::vector<Rgb>& stops, double t);

// A hash of (x, y, seed) to [0, 1): the same on every machine.
double Hash(int x, int y, uint32_t seed);
// Smooth value noise in [0, 1) with lattice cells `cell` pixels wide that
// repeats every `period` pixels (a multiple of cell), so textures tile.
double ValueNoise(double x, double y, int cell, int period, uint32_t seed);

class Canvas {
 public:
  Canvas(int width, int height)
      : m_width(width), m_height(height), m_pixels(static_cast<size_t>(width) * height) {}

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  Rgb& At(int x, int y) { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
  const Rgb& At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }

  // Sets every pixel to paint(x, y).
  void Fill(const std::function<Rgb(int, int)>& paint);
  // Blends colour over (x, y) with opacity alpha (0..1); outside is ignored.
  void Blend(int x, int y, Rgb colour, double alpha);
  // Adds colour x alpha (light: glows, stars).
  void Add(int x, int y, Rgb colour, double alpha);
  // Blends paint(x, y) through the mask's coverage times opacity.
  void BlendMask(const Mask& mask, const std::function<Rgb(int, int)>& paint, double opacity, int dx = 0,
                 int dy = 0);
  void AddMask(const Mask& mask, Rgb colour, double opacity);

  // The picture as opaque 0xAARRGGBB pixels, channels clamped to 0..1.
  LFB ToLfb() const;

 private:
  int m_width;
  int m_height;
  std::vector<Rgb> m_pixels;
};

// A star field: `count` points of light in the rows above yLimit.
void DrawStars(Canvas& canvas, int count, int yLimit, uint32_t seed);

}  // namespace qibo::demo
