#include "demo/data/Canvas.h"

#include <algorithm>
#include <cmath>

namespace qibo::demo {

Rgb Gradient(const std::vector<Rgb>& stops, double t) {
  if (stops.empty()) return {};
  if (stops.size() == 1) return stops.front();
  const double position = std::clamp(t, 0.0, 1.0) * static_cast<double>(stops.size() - 1);
  const size_t i = std::min(static_cast<size_t>(position), stops.size() - 2);
  return Mix(stops[i], stops[i + 1], position - static_cast<double>(i));
}

double Hash(int x, int y, uint32_t seed) {
  uint32_t h =
      seed * 0x9E3779B9u ^ static_cast<uint32_t>(x) * 0x85EBCA6Bu ^ static_cast<uint32_t>(y) * 0xC2B2AE35u;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return static_cast<double>(h >> 8) / 16777216.0;
}

double ValueNoise(double x, double y, int cell, int period, uint32_t seed) {
  const int cells = std::max(1, period / std::max(1, cell));
  const double fx = x / cell, fy = y / cell;
  const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
  double tx = fx - x0, ty = fy - y0;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto lattice = [&](int i, int j) {
    return Hash(((i % cells) + cells) % cells, ((j % cells) + cells) % cells, seed);
  };
  const double top = lattice(x0, y0) * (1 - tx) + lattice(x0 + 1, y0) * tx;
  const double bottom = lattice(x0, y0 + 1) * (1 - tx) + lattice(x0 + 1, y0 + 1) * tx;
  return top * (1 - ty) + bottom * ty;
}

void Canvas::Fill(const std::function<Rgb(int, int)>& paint) {
  for (int y = 0; y < m_height; ++y)
    for (int x = 0; x < m_width; ++x) At(x, y) = paint(x, y);
}

void Canvas::Blend(int x, int y, Rgb colour, double alpha) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height || alpha <= 0.0) return;
  Rgb& p = At(x, y);
  p = Mix(p, colour, std::min(alpha, 1.0));
}

void Canvas::Add(int x, int y, Rgb colour, double alpha) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height || alpha <= 0.0) return;
  Rgb& p = At(x, y);
  p = p + colour * alpha;
}

void Canvas::BlendMask(const Mask& mask, const std::function<Rgb(int, int)>& paint, double opacity, int dx,
                       int dy) {
  for (int y = 0; y < m_height; ++y)
    for (int x = 0; x < m_width; ++x) {
      const float coverage = mask.At(x - dx, y - dy);
      if (coverage > 0.0f) Blend(x, y, paint(x, y), coverage * opacity);
    }
}

void Canvas::AddMask(const Mask& mask, Rgb colour, double opacity) {
  for (int y = 0; y < m_height; ++y)
    for (int x = 0; x < m_width; ++x) {
      const float coverage = mask.At(x, y);
      if (coverage > 0.0f) Add(x, y, colour, coverage * opacity);
    }
}

LFB Canvas::ToLfb() const {
  LFB lfb(m_width, m_height);
  auto channel = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
  for (int y = 0; y < m_height; ++y) {
    uint32_t* row = lfb.GetRow(y);
    if (!row) break;
    for (int x = 0; x < m_width; ++x) {
      const Rgb& p = At(x, y);
      row[x] = 0xFF000000u | channel(p.r) << 16 | channel(p.g) << 8 | channel(p.b);
    }
  }
  lfb.SetColor(true);
  return lfb;
}

void DrawStars(Canvas& canvas, int count, int yLimit, uint32_t seed) {
  for (int i = 0; i < count; ++i) {
    const int x = static_cast<int>(Hash(i, 1, seed) * canvas.Width());
    const int y = static_cast<int>(Hash(i, 2, seed) * std::min(yLimit, canvas.Height()));
    const double brightness = 0.25 + 0.75 * std::pow(Hash(i, 3, seed), 3.0);
    const Rgb tint = Mix(Rgb{0.7, 0.8, 1.0}, Rgb{1.0, 0.9, 0.8}, Hash(i, 4, seed));
    // Fainter towards the horizon.
    const double fade = 1.0 - std::pow(static_cast<double>(y) / std::max(1, yLimit), 2.0);
    canvas.Add(x, y, tint, brightness * fade);
    static constexpr int kCross[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    if (brightness > 0.7)  // the brightest get a small cross
      for (const auto& offset : kCross)
        canvas.Add(x + offset[0], y + offset[1], tint, brightness * fade * 0.35);
  }
}

}  // namespace qibo::demo
