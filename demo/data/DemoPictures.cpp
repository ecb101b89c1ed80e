#include "demo/data/DemoPictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>

#include "demo/data/BitmapFont.h"
#include "demo/data/Canvas.h"
#include "plugins/io/PictureCodec.h"

namespace qibo::demo {

namespace {

constexpr int kW = kPictureWidth;
constexpr int kH = kPictureHeight;
constexpr int kJpegQuality = 92;

// Title text in layers: a dark drop shadow, a coloured glow, then the
// letters filled by `fill`.
void DrawTitle(Canvas& canvas, std::string_view text, double y, double scale,
               const std::function<Rgb(int, int)>& fill, Rgb glow, double glowStrength) {
  Mask letters(kW, kH);
  DrawTextCentred(letters, text, kW / 2.0, y, scale);
  Mask shadow = letters;
  BlurMask(shadow, std::max(1, static_cast<int>(scale / 4)), 2);
  const int offset = std::max(1, static_cast<int>(scale / 2.5));
  canvas.BlendMask(
      shadow,
      [](int, int) {
        return Rgb{0.0, 0.0, 0.02};
      },
      0.75, offset, offset);
  Mask halo = letters;
  BlurMask(halo, std::max(2, static_cast<int>(scale * 0.8)));
  canvas.AddMask(halo, glow, glowStrength);
  canvas.BlendMask(letters, fill, 1.0);
}

// Chrome letters: sky above a horizon line through the middle, warm below.
std::function<Rgb(int, int)> Chrome(double top, double height) {
  return [top, height](int, int y) {
    const double t = (y - top) / height;
    if (t < 0.5) return Mix(Rgb{0.55, 0.8, 1.0}, Rgb{1.0, 1.0, 1.0}, std::clamp(t / 0.5, 0.0, 1.0));
    return Mix(Rgb{0.25, 0.2, 0.6}, Rgb{1.0, 0.55, 0.85}, std::clamp((t - 0.5) / 0.5, 0.0, 1.0));
  };
}

// Distance in pixels from y to the nearest of the perspective floor's
// cross lines (world depths 0.35 k, projected towards the horizon).
double FloorLineDistance(double y, double horizon) {
  constexpr double kDepthStep = 0.35, kFocal = 60.0;
  auto lineY = [&](int k) { return horizon + kFocal / (kDepthStep * k); };
  // The lines just nearer and just farther than the row.
  const double k = kFocal / (kDepthStep * std::max(y - horizon, 1e-3));
  double best = 1e9;
  for (int i = std::max(1, static_cast<int>(k) - 1); i <= static_cast<int>(k) + 2; ++i)
    best = std::min(best, std::abs(y - lineY(i)));
  return best;
}

Rgb SynthwaveScene(int x, int y) {
  constexpr double horizon = 300.0;
  if (y < horizon) {
    Rgb sky = Gradient({{0.01, 0.01, 0.06}, {0.05, 0.02, 0.14}, {0.16, 0.04, 0.28}, {0.55, 0.12, 0.42}},
                       y / horizon);
    // The sun: warm at the top, banded towards the horizon.
    const double dx = x - 320.0, dy = y - horizon, d = std::hypot(dx, dy);
    constexpr double radius = 115.0;
    if (d < radius + 1.0) {
      const double t = (y - (horizon - radius)) / radius;
      const double band = (y - 225.0) / 12.0;
      const bool gap = y > 225.0 && band - std::floor(band) < std::clamp((y - 225.0) / 75.0, 0.0, 1.0) * 0.55;
      if (!gap)
        sky = Mix(sky, Mix(Rgb{1.0, 0.92, 0.4}, Rgb{1.0, 0.25, 0.55}, t),
                  std::clamp(radius + 0.5 - d, 0.0, 1.0));
    }
    sky = sky + Rgb{1.0, 0.3, 0.6} * (0.35 * std::exp(-std::max(0.0, d - radius) / 45.0));
    return sky;
  }
  // The floor: dark, with a glowing grid running to the vanishing point.
  const double depthFade = std::clamp((y - horizon) / 50.0, 0.0, 1.0);
  Rgb floor = Mix(Rgb{0.05, 0.0, 0.09}, Rgb{0.1, 0.0, 0.16}, (y - horizon) / (kH - horizon));
  const double spacing = 0.45 * (y - horizon + 0.5);
  const double u = (x - 320.0) / spacing;
  const double vertical = std::abs(u - std::round(u)) * spacing;
  const double horizontal = FloorLineDistance(y, horizon);
  const double line =
      std::max(std::exp(-vertical * vertical / 0.8), std::exp(-horizontal * horizontal / 0.8));
  const double glow = std::max(std::exp(-vertical / 3.0), std::exp(-horizontal / 3.0)) * 0.3;
  floor = floor + Rgb{1.0, 0.3, 0.9} * ((line + glow) * (0.3 + 0.7 * depthFade));
  // The sun's reflection on the floor.
  floor = floor + Rgb{0.5, 0.1, 0.3} *
                      (0.4 * std::exp(-std::abs(x - 320.0) / 80.0) * std::exp(-(y - horizon) / 40.0));
  return floor;
}

// Shared by the credits pages: a deep blue night with faint diagonal
// stripes, stars and a glowing frame.
Canvas CreditsCanvas() {
  Canvas canvas(kW, kH);
  canvas.Fill([](int x, int y) {
    Rgb c =
        Gradient({{0.02, 0.02, 0.08}, {0.06, 0.03, 0.15}, {0.01, 0.0, 0.04}}, static_cast<double>(y) / kH);
    return c + Rgb{0.02, 0.02, 0.05} * (0.5 + 0.5 * std::sin((x + y) / 5.0));
  });
  DrawStars(canvas, 140, kH, 0xC4ED175);
  // A rounded frame 24 px inside the edges.
  constexpr double inset = 24.0, corner = 18.0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const double qx = std::max(std::abs(x + 0.5 - kW / 2.0) - (kW / 2.0 - inset - corner), 0.0);
      const double qy = std::max(std::abs(y + 0.5 - kH / 2.0) - (kH / 2.0 - inset - corner), 0.0);
      const double d = std::abs(std::hypot(qx, qy) - corner);
      const double line = std::clamp(1.5 - d, 0.0, 1.0);
      canvas.Add(x, y, Rgb{0.35, 0.5, 1.0}, line * 0.8 + 0.25 * std::exp(-d / 4.0));
    }
  return canvas;
}

LFB CreditsPage(std::string_view heading, std::string_view detail) {
  Canvas canvas = CreditsCanvas();
  constexpr double headingY = 120.0, headingScale = 10.0;
  DrawTitle(
      canvas, heading, headingY, headingScale,
      [](int, int y) {
        return Mix(Rgb{1.0, 0.9, 0.45}, Rgb{1.0, 0.45, 0.15}, (y - headingY) / (7 * headingScale));
      },
      Rgb{1.0, 0.4, 0.1}, 0.8);
  // A rule under the heading that fades out towards its ends.
  for (int y = 216; y < 220; ++y)
    for (int x = 0; x < kW; ++x) {
      const double fade = std::clamp(1.0 - std::abs(x - kW / 2.0) / 170.0, 0.0, 1.0);
      canvas.Blend(x, y, Rgb{1.0, 0.7, 0.3}, fade * (y == 216 || y == 219 ? 0.5 : 1.0));
    }
  DrawTitle(
      canvas, "the qiBO team", 260.0, 4.0,
      [](int, int) {
        return Rgb{1.0, 1.0, 1.0};
      },
      Rgb{0.3, 0.5, 1.0}, 0.6);
  DrawTitle(
      canvas, detail, 330.0, 2.0,
      [](int, int) {
        return Rgb{0.6, 0.8, 1.0};
      },
      Rgb{0.2, 0.3, 0.8}, 0.4);
  return canvas.ToLfb();
}

// Sum of sines: the classic plasma.
double Plasma(int x, int y) {
  const double r = std::hypot(x - 320.0, y - 240.0);
  return std::sin(x / 23.0) + std::sin(y / 17.0) + std::sin((x + y) / 29.0) + std::sin(r / 13.0);
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

LFB TitlePicture() {
  Canvas canvas(kW, kH);
  canvas.Fill(SynthwaveScene);
  DrawStars(canvas, 180, 270, 0x51A125);
  constexpr double top = 48.0, scale = 9.0;
  DrawTitle(canvas, "QUARNDELION", top, scale, Chrome(top, 7 * scale), Rgb{1.0, 0.2, 0.8}, 0.9);
  DrawTitle(
      canvas, "a qiBO demo", 138.0, 4.0,
      [](int, int) {
        return Rgb{0.65, 0.95, 1.0};
      },
      Rgb{0.1, 0.7, 1.0}, 0.7);
  return canvas.ToLfb();
}

LFB TorusTitlePicture() {
  Canvas canvas(kW, kH);
  canvas.Fill([](int x, int y) {
    const double v = Plasma(x, y) * std::numbers::pi * 0.5;
    Rgb c{0.5 + 0.5 * std::sin(v), 0.5 + 0.5 * std::sin(v + 2.1), 0.5 + 0.5 * std::sin(v + 4.2)};
    // Darkened towards the corners, with a faint 32-pixel grid.
    const double vignette = 1.0 - 0.55 * std::pow(std::hypot(x - 320.0, y - 240.0) / 400.0, 2.0);
    const bool grid = x % 32 == 0 || y % 32 == 0;
    c = c * (0.55 * vignette) + Rgb{0.1, 0.1, 0.15} * (grid ? 1.0 : 0.0);
    return c;
  });
  constexpr double top = 150.0, scale = 11.0;
  DrawTitle(canvas, "PART ONE", top, scale, Chrome(top, 7 * scale), Rgb{0.2, 0.4, 1.0}, 0.9);
  DrawTitle(
      canvas, "knots and tori", 265.0, 4.0,
      [](int, int) {
        return Rgb{1.0, 1.0, 0.9};
      },
      Rgb{1.0, 0.5, 0.1}, 0.6);
  return canvas.ToLfb();
}

LFB CreditsBackground() { return CreditsCanvas().ToLfb(); }
LFB CodeCredits() { return CreditsPage("CODE", "engine, plug-ins and demo effects"); }
LFB MusicCredits() { return CreditsPage("MUSIC", "synthesised with our own XM writer"); }
LFB GraphicsCredits() { return CreditsPage("GRAPHICS", "pictures and textures made by code"); }

namespace {
LFB Cubes1() { return CubesTexture(1); }
LFB Cubes2() { return CubesTexture(2); }
LFB Cubes3() { return CubesTexture(3); }
LFB Cubes4() { return CubesTexture(4); }
}  // namespace

const std::vector<GeneratedPicture>& DemoPictures() {
  static const std::vector<GeneratedPicture> pictures = {
      {"runfiles", "Start1.jpg", PictureFormat::kJpeg, TitlePicture},
      {"runfiles", "Start2.jpg", PictureFormat::kJpeg, TorusTitlePicture},
      {"runfiles", "credits-leeg.jpg", PictureFormat::kJpeg, CreditsBackground},
      {"runfiles", "credits-code.jpg", PictureFormat::kJpeg, CodeCredits},
      {"runfiles", "credits-music.jpg", PictureFormat::kJpeg, MusicCredits},
      {"runfiles", "credits-graphics.jpg", PictureFormat::kJpeg, GraphicsCredits},
      {"textures", "cubes1.tga", PictureFormat::kTarga, Cubes1},
      {"textures", "cubes2.tga", PictureFormat::kTarga, Cubes2},
      {"textures", "cubes3.tga", PictureFormat::kTarga, Cubes3},
      {"textures", "cubes4.tga", PictureFormat::kTarga, Cubes4},
  };
  return pictures;
}

std::vector<uint8_t> EncodePicture(const LFB& lfb, PictureFormat format, std::string& why) {
  std::vector<uint8_t> image;
  if (lfb.IsEmpty()) {
    why = "empty picture";
    return image;
  }
  if (format == PictureFormat::kTarga) {
    qibo::io::EncodeTarga(lfb, false, image);
  } else if (!qibo::io::EncodeJpeg(lfb, kJpegQuality, image, why)) {
    image.clear();
  }
  return image;
}

bool WriteDemoPictures(const std::string& root, std::string* error) {
  namespace fs = std::filesystem;
  for (const GeneratedPicture& picture : DemoPictures()) {
    const fs::path folder = fs::path(root) / picture.folder;
    const fs::path file = folder / picture.file;
    std::error_code code;
    fs::create_directories(folder, code);
    if (code) return Fail(error, "cannot make " + folder.string() + ": " + code.message());
    std::string why;
    const std::vector<uint8_t> image = EncodePicture(picture.make(), picture.format, why);
    if (image.empty()) return Fail(error, "cannot encode " + file.string() + ": " + why);
    FILE* out = fopen(file.string().c_str(), "wb");
    if (!out) return Fail(error, "cannot create " + file.string());
    const bool written = fwrite(image.data(), 1, image.size(), out) == image.size();
    if (fclose(out) != 0 || !written) return Fail(error, "cannot write " + file.string());
  }
  return true;
}

}  // namespace qibo::demo
