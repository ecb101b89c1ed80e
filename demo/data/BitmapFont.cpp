#include "demo/data/BitmapFont.h"

#include <algorithm>
#include <cmath>

namespace qibo::demo {

namespace {

// Each glyph: eight rows of five cells, '#' set, '.' clear, rows separated
// by spaces; a glyph of seven rows has an empty eighth.
struct Glyph {
  char c;
  const char* rows;
};

constexpr Glyph kGlyphs[] = {
    {'A', ".###. #...# #...# ##### #...# #...# #...#"},
    {'B', "####. #...# #...# ####. #...# #...# ####."},
    {'C', ".###. #...# #.... #.... #.... #...# .###."},
    {'D', "####. #...# #...# #...# #...# #...# ####."},
    {'E', "##### #.... #.... ####. #.... #.... #####"},
    {'F', "##### #.... #.... ####. #.... #.... #...."},
    {'G', ".###. #...# #.... #.### #...# #...# .####"},
    {'H', "#...# #...# #...# ##### #...# #...# #...#"},
    {'I', ".###. ..#.. ..#.. ..#.. ..#.. ..#.. .###."},
    {'J', "..### ...#. ...#. ...#. ...#. #..#. .##.."},
    {'K', "#...# #..#. #.#.. ##... #.#.. #..#. #...#"},
    {'L', "#.... #.... #.... #.... #.... #.... #####"},
    {'M', "#...# ##.## #.#.# #.#.# #...# #...# #...#"},
    {'N', "#...# #...# ##..# #.#.# #..## #...# #...#"},
    {'O', ".###. #...# #...# #...# #...# #...# .###."},
    {'P', "####. #...# #...# ####. #.... #.... #...."},
    {'Q', ".###. #...# #...# #...# #...# #..#. .##.#"},
    {'R', "####. #...# #...# ####. #.#.. #..#. #...#"},
    {'S', ".#### #.... #.... .###. ....# ....# ####."},
    {'T', "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#.."},
    {'U', "#...# #...# #...# #...# #...# #...# .###."},
    {'V', "#...# #...# #...# #...# #...# .#.#. ..#.."},
    {'W', "#...# #...# #...# #.#.# #.#.# #.#.# .#.#."},
    {'X', "#...# #...# .#.#. ..#.. .#.#. #...# #...#"},
    {'Y', "#...# #...# .#.#. ..#.. ..#.. ..#.. ..#.."},
    {'Z', "##### ....# ...#. ..#.. .#... #.... #####"},
    {'a', "..... ..... .###. ....# .#### #...# .####"},
    {'b', "#.... #.... #.##. ##..# #...# #...# ####."},
    {'c', "..... ..... .###. #.... #.... #...# .###."},
    {'d', "....# ....# .##.# #..## #...# #...# .####"},
    {'e', "..... ..... .###. #...# ##### #.... .###."},
    {'f', "..##. .#..# .#... ###.. .#... .#... .#..."},
    {'g', "..... ..... .#### #...# #...# .#### ....# .###."},
    {'h', "#.... #.... #.##. ##..# #...# #...# #...#"},
    {'i', "..#.. ..... .##.. ..#.. ..#.. ..#.. .###."},
    {'j', "...#. ..... ..##. ...#. ...#. ...#. #..#. .##.."},
    {'k', "#.... #.... #..#. #.#.. ##... #.#.. #..#."},
    {'l', ".##.. ..#.. ..#.. ..#.. ..#.. ..#.. .###."},
    {'m', "..... ..... ##.#. #.#.# #.#.# #.#.# #.#.#"},
    {'n', "..... ..... #.##. ##..# #...# #...# #...#"},
    {'o', "..... ..... .###. #...# #...# #...# .###."},
    {'p', "..... ..... ####. #...# #...# ####. #.... #...."},
    {'q', "..... ..... .#### #...# #...# .#### ....# ....#"},
    {'r', "..... ..... #.##. ##..# #.... #.... #...."},
    {'s', "..... ..... .###. #.... .###. ....# ####."},
    {'t', ".#... .#... ###.. .#... .#... .#..# ..##."},
    {'u', "..... ..... #...# #...# #...# #..## .##.#"},
    {'v', "..... ..... #...# #...# #...# .#.#. ..#.."},
    {'w', "..... ..... #...# #...# #.#.# #.#.# .#.#."},
    {'x', "..... ..... #...# .#.#. ..#.. .#.#. #...#"},
    {'y', "..... ..... #...# #...# #...# .#### ....# .###."},
    {'z', "..... ..... ##### ...#. ..#.. .#... #####"},
    {'0', ".###. #...# #..## #.#.# ##..# #...# .###."},
    {'1', "..#.. .##.. ..#.. ..#.. ..#.. ..#.. .###."},
    {'2', ".###. #...# ....# ...#. ..#.. .#... #####"},
    {'3', "##### ...#. ..#.. ...#. ....# #...# .###."},
    {'4', "...#. ..##. .#.#. #..#. ##### ...#. ...#."},
    {'5', "##### #.... ####. ....# ....# #...# .###."},
    {'6', "..##. .#... #.... ####. #...# #...# .###."},
    {'7', "##### ....# ...#. ..#.. .#... .#... .#..."},
    {'8', ".###. #...# #...# .###. #...# #...# .###."},
    {'9', ".###. #...# #...# .#### ....# ...#. .##.."},
    {' ', "..... ..... ..... ..... ..... ..... ....."},
    {'.', "..... ..... ..... ..... ..... .##.. .##.."},
    {',', "..... ..... ..... ..... ..... .##.. .##.. .#..."},
    {'-', "..... ..... ..... .###. ..... ..... ....."},
    {'!', "..#.. ..#.. ..#.. ..#.. ..#.. ..... ..#.."},
    {':', "..... .##.. .##.. ..... .##.. .##.. ....."},
    {'\'', "..#.. ..#.. .#... ..... ..... ..... ....."},
    {'/', "....# ....# ...#. ..#.. .#... #.... #...."},
    {'&', ".##.. #..#. #.#.. .#... #.#.# #..#. .##.#"},
    {'(', "...#. ..#.. .#... .#... .#... ..#.. ...#."},
    {')', ".#... ..#.. ...#. ...#. ...#. ..#.. .#..."},
};

// The box drawn for characters without a glyph.
constexpr const char* kMissing = "##### #...# #...# #...# #...# #...# #####";

const char* Rows(char c) {
  for (const Glyph& g : kGlyphs)
    if (g.c == c) return g.rows;
  return nullptr;
}

// The cell value (0 or 1) of the glyph outside its box is 0.
float CellValue(const char* rows, int x, int y) {
  if (x < 0 || y < 0 || x >= BitmapFont::kCellWidth || y >= BitmapFont::kCellHeight) return 0.0f;
  const char* p = rows;
  for (int row = 0; row < y; ++row) {
    while (*p && *p != ' ') ++p;
    if (!*p) return 0.0f;  // a seven-row glyph
    ++p;
  }
  for (int column = 0; column < x; ++column)
    if (!p[column] || p[column] == ' ') return 0.0f;  // a short row
  return p[x] == '#' ? 1.0f : 0.0f;
}

// The glyph's cells enlarged twice with a filling variant of Scale2x (a
// cell becomes 4 x 4 sub-cells; diagonal steps become slopes), so that
// interpolating them gives smooth strokes rather than pinched corners.
constexpr int kSmooth = 4;
constexpr int kGridWidth = BitmapFont::kCellWidth * kSmooth;
constexpr int kGridHeight = BitmapFont::kCellHeight * kSmooth;

struct CellGrid {
  float v[kGridHeight][kGridWidth] = {};
  float At(int x, int y) const {
    return x < 0 || y < 0 || x >= kGridWidth || y >= kGridHeight ? 0.0f : v[y][x];
  }
};

// One Scale2x step of the top-left `width` x `height` values of grid.
void Scale2x(CellGrid& grid, int width, int height) {
  const CellGrid source = grid;
  auto at = [&](int x, int y) { return x < 0 || y < 0 || x >= width || y >= height ? 0.0f : source.v[y][x]; };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      // Set cells stay set, so square corners (D, B, E) stay square; an
      // empty cell fills in where a diagonal steps past it.
      const float p = at(x, y), a = at(x, y - 1), b = at(x + 1, y), c = at(x - 1, y), d = at(x, y + 1);
      grid.v[2 * y][2 * x] = std::max(p, (c == a && c != d && a != b) ? a : p);
      grid.v[2 * y][2 * x + 1] = std::max(p, (a == b && a != c && b != d) ? b : p);
      grid.v[2 * y + 1][2 * x] = std::max(p, (d == c && d != b && c != a) ? c : p);
      grid.v[2 * y + 1][2 * x + 1] = std::max(p, (b == d && b != a && d != c) ? d : p);
    }
}

CellGrid Grid(char c) {
  const char* rows = Rows(c);
  if (!rows) rows = kMissing;
  CellGrid grid;
  for (int y = 0; y < BitmapFont::kCellHeight; ++y)
    for (int x = 0; x < BitmapFont::kCellWidth; ++x) grid.v[y][x] = CellValue(rows, x, y);
  Scale2x(grid, BitmapFont::kCellWidth, BitmapFont::kCellHeight);
  Scale2x(grid, 2 * BitmapFont::kCellWidth, 2 * BitmapFont::kCellHeight);
  return grid;
}

// Coverage at glyph coordinates (u, v) in cells: the sub-cell values
// interpolated between their centres, thresholded at one half with an
// anti-aliased edge `soft` wide.
float Coverage(const CellGrid& grid, double u, double v, double soft) {
  const double fu = u * kSmooth - 0.5, fv = v * kSmooth - 0.5;
  const int x0 = static_cast<int>(std::floor(fu)), y0 = static_cast<int>(std::floor(fv));
  const double tx = fu - x0, ty = fv - y0;
  const double top = grid.At(x0, y0) * (1 - tx) + grid.At(x0 + 1, y0) * tx;
  const double bottom = grid.At(x0, y0 + 1) * (1 - tx) + grid.At(x0 + 1, y0 + 1) * tx;
  const double field = top * (1 - ty) + bottom * ty;
  const double t = std::clamp((field - 0.5) / soft + 0.5, 0.0, 1.0);
  return static_cast<float>(t * t * (3 - 2 * t));
}

}  // namespace

bool BitmapFont::HasGlyph(char c) { return Rows(c) != nullptr; }

bool BitmapFont::Cell(char c, int x, int y) {
  const char* rows = Rows(c);
  return CellValue(rows ? rows : kMissing, x, y) > 0.5f;
}

double BitmapFont::Width(std::string_view text, double scale) {
  return text.empty() ? 0.0 : (static_cast<double>(text.size()) * kAdvance - 1) * scale;
}

void DrawText(Mask& mask, std::string_view text, double x, double y, double scale) {
  if (scale <= 0.0) return;
  // The field changes by about one per sub-cell: an edge one pixel wide.
  const double soft = std::min(1.0, 1.2 * kSmooth / scale);
  // Small text is sampled several times a pixel, or strokes would alias.
  const int samples = scale < 6.0 ? 3 : 1;
  for (size_t i = 0; i < text.size(); ++i) {
    const CellGrid grid = Grid(text[i]);
    const double left = x + static_cast<double>(i) * BitmapFont::kAdvance * scale;
    const int px0 = std::max(0, static_cast<int>(std::floor(left - scale)));
    const int px1 =
        std::min(mask.width, static_cast<int>(std::ceil(left + (BitmapFont::kCellWidth + 1) * scale)));
    const int py0 = std::max(0, static_cast<int>(std::floor(y - scale)));
    const int py1 =
        std::min(mask.height, static_cast<int>(std::ceil(y + (BitmapFont::kCellHeight + 1) * scale)));
    for (int py = py0; py < py1; ++py) {
      for (int px = px0; px < px1; ++px) {
        float c = 0.0f;
        for (int sy = 0; sy < samples; ++sy)
          for (int sx = 0; sx < samples; ++sx)
            c += Coverage(grid, (px + (sx + 0.5) / samples - left) / scale,
                          (py + (sy + 0.5) / samples - y) / scale, soft);
        c /= static_cast<float>(samples * samples);
        float& m = mask.values[static_cast<size_t>(py) * mask.width + px];
        m = std::max(m, c);
      }
    }
  }
}

void DrawTextCentred(Mask& mask, std::string_view text, double centreX, double y, double scale) {
  DrawText(mask, text, centreX - BitmapFont::Width(text, scale) / 2, y, scale);
}

void BlurMask(Mask& mask, int radius, int passes) {
  if (radius < 1 || mask.values.empty()) return;
  std::vector<float> line;
  const double norm = 1.0 / (2 * radius + 1);
  // One running-sum pass along rows or columns; outside the mask counts as 0.
  auto pass = [&](int count, int length, auto index) {
    line.resize(static_cast<size_t>(length));
    for (int k = 0; k < count; ++k) {
      for (int i = 0; i < length; ++i) line[static_cast<size_t>(i)] = mask.values[index(k, i)];
      double sum = 0.0;
      for (int i = 0; i < std::min(radius, length); ++i) sum += line[static_cast<size_t>(i)];
      for (int i = 0; i < length; ++i) {
        if (i + radius < length) sum += line[static_cast<size_t>(i + radius)];
        if (i - radius - 1 >= 0) sum -= line[static_cast<size_t>(i - radius - 1)];
        mask.values[index(k, i)] = static_cast<float>(sum * norm);
      }
    }
  };
  const int w = mask.width, h = mask.height;
  for (int p = 0; p < passes; ++p) {
    pass(h, w, [w](int row, int i) { return static_cast<size_t>(row) * w + i; });
    pass(w, h, [w](int column, int i) { return static_cast<size_t>(i) * w + column; });
  }
}

}  // namespace qibo::demo
