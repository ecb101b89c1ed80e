// The textures "cubes1" to "cubes4": tileable 256 x 256 panels, each an
// albedo and a height field lit from the top left, so bevels, grooves and
// studs read as relief on the cubes, tori and water of the demo.
#include <algorithm>
#include <cmath>
#include <functional>

#include "demo/data/Canvas.h"
#include "demo/data/DemoPictures.h"

namespace qibo::demo {

namespace {

constexpr int kSide = kTextureSide;

// Height 0 at a square tile's edge rising to 1 at `bevel` pixels inside.
double TileBevel(double x, double y, double tile, double bevel) {
  const double u = std::fmod(x, tile), v = std::fmod(y, tile);
  const double edge = std::min({u, v, tile - 1 - u, tile - 1 - v});
  return std::clamp(edge / bevel, 0.0, 1.0);
}

// The distance from (x, y) to the centre of its tile in the maximum norm.
double SquareRadius(double x, double y, double tile) {
  const double half = (tile - 1) / 2.0;
  return std::max(std::abs(std::fmod(x, tile) - half), std::abs(std::fmod(y, tile) - half));
}

struct Surface {
  std::function<Rgb(int, int)> albedo;
  std::function<double(int, int)> height;  // in pixels of relief
  double shine = 0.3;                      // specular strength
};

// Lights the surface from the top left and a little in front; the height
// wraps at the edges so the lighting tiles too.
LFB Render(const Surface& surface) {
  std::vector<double> h(static_cast<size_t>(kSide) * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) h[static_cast<size_t>(y) * kSide + x] = surface.height(x, y);
  auto at = [&h](int x, int y) {
    return h[static_cast<size_t>((y + kSide) % kSide) * kSide + (x + kSide) % kSide];
  };
  const double lx = -0.5, ly = -0.6, lz = 0.62;  // towards the light, normalised below
  const double ll = std::sqrt(lx * lx + ly * ly + lz * lz);
  Canvas canvas(kSide, kSide);
  canvas.Fill([&](int x, int y) {
    const double nx = -(at(x + 1, y) - at(x - 1, y)) / 2, ny = -(at(x, y + 1) - at(x, y - 1)) / 2, nz = 1.0;
    const double nl = std::sqrt(nx * nx + ny * ny + nz * nz);
    const double diffuse = std::max(0.0, (nx * lx + ny * ly + nz * lz) / (nl * ll));
    // Half-way vector between the light and the viewer (0, 0, 1).
    const double hx = lx / ll, hy = ly / ll, hz = lz / ll + 1.0, hl = std::sqrt(hx * hx + hy * hy + hz * hz);
    const double specular = std::pow(std::max(0.0, (nx * hx + ny * hy + nz * hz) / (nl * hl)), 24.0);
    const Rgb base = surface.albedo(x, y);
    return base * (0.3 + 0.85 * diffuse) + Rgb{1.0, 1.0, 1.0} * (surface.shine * specular);
  });
  return canvas.ToLfb();
}

// cubes1: a brushed blue metal panel with a bevelled rim, a groove, four
// rivets and a raised diamond in the middle.
Surface BluePanel() {
  Surface s;
  s.albedo = [](int x, int y) {
    const double grain = 0.85 + 0.15 * ValueNoise(x, y, 16, kSide, 11) + 0.06 * (Hash(0, y, 12) - 0.5);
    return Rgb{0.2, 0.36, 0.68} * grain;
  };
  s.height = [](int x, int y) {
    double h = 6.0 * TileBevel(x, y, kSide, 14.0);
    const double inner = SquareRadius(x, y, kSide);
    h -= 3.0 * std::exp(-std::pow((inner - 88.0) / 2.5, 2.0));  // the groove
    const double diamond = std::abs(x - 127.5) + std::abs(y - 127.5);
    h += 5.0 * std::clamp((56.0 - diamond) / 10.0, 0.0, 1.0);
    for (const double cx : {30.0, 225.0})
      for (const double cy : {30.0, 225.0}) {
        const double d = std::hypot(x - cx, y - cy);
        if (d < 7.0) h += 4.0 * std::sqrt(1.0 - (d / 7.0) * (d / 7.0));
      }
    return h;
  };
  s.shine = 0.45;
  return s;
}

// cubes2: sea-green tiles, 4 x 4, with light caustics playing over them.
Surface WaterTiles() {
  Surface s;
  s.albedo = [](int x, int y) {
    const int tile = (x / 64) + 4 * (y / 64);
    const double tint = 0.85 + 0.3 * Hash(tile, 0, 21);
    const double k = 2.0 * 3.14159265358979 / kSide;
    const double caustic = std::pow(std::abs(std::sin(3 * k * x + 2.0 * std::sin(2 * k * y)) *
                                             std::sin(4 * k * y + 1.5 * std::sin(3 * k * x))),
                                    0.35);
    return Rgb{0.08, 0.45, 0.55} * tint + Rgb{0.5, 0.9, 0.9} * (0.35 * (1.0 - caustic));
  };
  s.height = [](int x, int y) {
    return 3.0 * TileBevel(x, y, 64.0, 6.0) + 0.6 * ValueNoise(x, y, 8, kSide, 22);
  };
  s.shine = 0.5;
  return s;
}

// cubes3: an orange and deep red checkerboard of bevelled 32-pixel tiles.
Surface CheckerTiles() {
  Surface s;
  s.albedo = [](int x, int y) {
    const bool light = ((x / 32) + (y / 32)) % 2 == 0;
    const double grain = 0.9 + 0.1 * ValueNoise(x, y, 4, kSide, 31);
    return (light ? Rgb{0.95, 0.55, 0.12} : Rgb{0.6, 0.1, 0.08}) * grain;
  };
  s.height = [](int x, int y) { return 3.0 * TileBevel(x, y, 32.0, 4.0); };
  s.shine = 0.35;
  return s;
}

// cubes4: green 2 x 2 plates with concentric ridges and a central stud.
Surface GreenPlates() {
  Surface s;
  s.albedo = [](int x, int y) {
    const double r = SquareRadius(x, y, 128.0);
    const double ring = 0.5 + 0.5 * std::cos(r * 2.0 * 3.14159265358979 / 16.0);
    const double grain = 0.9 + 0.1 * ValueNoise(x, y, 8, kSide, 41);
    return Mix(Rgb{0.08, 0.35, 0.14}, Rgb{0.3, 0.8, 0.35}, 0.3 + 0.5 * ring) * grain;
  };
  s.height = [](int x, int y) {
    const double r = SquareRadius(x, y, 128.0);
    const double ring = 0.5 + 0.5 * std::cos(r * 2.0 * 3.14159265358979 / 16.0);
    const double stud =
        std::max(0.0, 1.0 - std::hypot(std::fmod(x, 128.0) - 63.5, std::fmod(y, 128.0) - 63.5) / 12.0);
    return 5.0 * TileBevel(x, y, 128.0, 10.0) + 1.2 * ring + 4.0 * std::sqrt(stud);
  };
  s.shine = 0.4;
  return s;
}

}  // namespace

LFB CubesTexture(int kind) {
  switch (kind) {
    case 2:
      return Render(WaterTiles());
    case 3:
      return Render(CheckerTiles());
    case 4:
      return Render(GreenPlates());
    default:
      return Render(BluePanel());
  }
}

}  // namespace qibo::demo
