#pragma once

#include <string_view>
#include <vector>

// A small bitmap font for the demo's generated pictures: 5 x 8 cells
// (capitals and digits in the top 7 rows, descenders in the 8th), ASCII
// letters of both cases, digits and common punctuation. Text is drawn at
// any scale into a coverage mask; the cells are interpolated and
// thresholded, so enlarged glyphs get smooth diagonals and rounded corners
// instead of blocks.
namespace qibo::demo {

class BitmapFont {
 public:
  static constexpr int kCellWidth = 5;
  static constexpr int kCellHeight = 8;
  static constexpr int kAdvance = 6;  // cell plus one column of spacing

  // Whether cell (x, y) of the character's glyph is set; characters without
  // a glyph draw as a hollow box, so missing ones show.
  static bool Cell(char c, int x, int y);
  static bool HasGlyph(char c);

  // Width of text in pixels at the scale (pixels per cell).
  static double Width(std::string_view text, double scale);
};

// A coverage mask (0..1 per pixel), row-major.
struct Mask {
  int width = 0;
  int height = 0;
  std::vector<float> values;

  Mask(int w, int h) : width(w), height(h), values(static_cast<size_t>(w) * h, 0.0f) {}
  float At(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height ? values[static_cast<size_t>(y) * width + x] : 0.0f;
  }
};

// Adds text whose top-left corner is at (x, y) to the mask (maximum of
// coverages), `scale` pixels per font cell.
void DrawText(Mask& mask, std::string_view text, double x, double y, double scale);
// As DrawText, centred horizontally on centreX.
void DrawTextCentred(Mask& mask, std::string_view text, double centreX, double y, double scale);

// A box blur of the given radius, run `passes` times (three approach a
// Gaussian): for glows and soft shadows.
void BlurMask(Mask& mask, int radius, int passes = 3);

}  // namespace qibo::demo
