#include "plugins/d3d/DOverlay.h"

#include <cstdint>

#include "core/kernel/Kernel.h"
#include "core/persist/MemoryStream.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTMaterialManager.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/CTTextureManager.h"
#include "core/render/base/LFB.h"
#include "core/render/base/RenderInfo.h"
#include "plugins/d3d/DGlRenderer.h"

extern const uint8_t kQiboLogoStream[];
extern const int kQiboLogoStreamSize;

namespace {

// A 5 x 7 font for what the statistics line writes; each row is five bits,
// the leftmost in bit 4. Other characters show as an outlined box.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {' ', {0, 0, 0, 0, 0, 0, 0}},
    {'.', {0, 0, 0, 0, 0, 0x0C, 0x0C}},
    {'-', {0, 0, 0, 0x1F, 0, 0, 0}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'a', {0, 0, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},
    {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}},
    {'m', {0, 0, 0x1A, 0x15, 0x15, 0x11, 0x11}},
    {'p', {0, 0, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
    {'s', {0, 0, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}},
};
constexpr Glyph kBox = {'?', {0x1F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1F}};
constexpr int kCellWidth = 6;   // five columns and a space
constexpr int kCellHeight = 9;  // seven rows, one above and one below

const Glyph& GlyphOf(char c) {
  for (const Glyph& g : kGlyphs)
    if (g.c == c) return g;
  return kBox;
}

}  // namespace

DOverlay::~DOverlay() { DeleteLogo(); }

void DOverlay::DrawText(DGlRenderer& renderer, const std::string& text, unsigned color) {
  const int length = static_cast<int>(text.size() > 255 ? 255 : text.size());
  if (length == 0) return;
  int width = length * kCellWidth;
  if (width > renderer.GetWidth()) width = renderer.GetWidth();
  const int height = kCellHeight < renderer.GetHeight() ? kCellHeight : renderer.GetHeight();
  LFB line;
  if (!line.Create(width, height)) return;
  const uint32_t ink = 0xFF000000u | (color & 0xFFFFFFu);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) line.SetPixel(x, y, 0xFF000000u);  // opaque black background
  for (int i = 0; i < length; ++i) {
    const Glyph& glyph = GlyphOf(text[static_cast<size_t>(i)]);
    for (int row = 0; row < 7; ++row)
      for (int column = 0; column < 5; ++column)
        if (glyph.rows[row] & (0x10 >> column)) line.SetPixel(i * kCellWidth + column, row + 1, ink);
  }
  renderer.Show(line, 0, 0);
}

bool DOverlay::CreateLogo(int width, int height) {
  DeleteLogo();
  // The stream's texture ("Logo128x64") is read into a scratch texture whose
  // pixels then move into the logo's own texture.
  Ref<CTTexture> scratch = qibo::Create<CTTexture>();
  MemoryStream stream;
  if (!scratch || !stream.ReadSendDataTo(kQiboLogoStream, kQiboLogoStreamSize, scratch.Get())) return false;
  std::unique_ptr<LFB> picture = scratch->DetachData();
  scratch->UnregisterWithService();
  auto* textures = qibo::GetService<CTTextureManager>();
  auto* materials = qibo::GetService<CTMaterialManager>();
  if (!picture || !textures || !materials) return false;
  const int w = picture->GetWidth();
  const int h = picture->GetHeight();
  m_logoTexture = Ref<CTTexture>(textures->CreateTexture("Brightfold Logo Texture"));
  if (!m_logoTexture || !m_logoTexture->SetData(std::move(picture))) return false;
  m_logoMaterial = Ref<CTMaterial>(materials->CreateMaterial("Brightfold Logo Material", nullptr));
  if (!m_logoMaterial) return false;
  m_logoMaterial->m_useDiffuse = true;
  m_logoMaterial->m_diffuse = Vector3(1, 1, 1);
  m_logoMaterial->SetTexture(m_logoTexture.Get());
  PlaceQuad(width, height, w, h);
  return true;
}

void DOverlay::PlaceQuad(int width, int height, int w, int h) {
  // Screen space: pixels with 0 at the centre and y growing upwards under
  // the device's screen matrix, so the top right corner is at (W/2, H/2).
  const float right = static_cast<float>(width) / 2.0f;
  const float top = static_cast<float>(height) / 2.0f;
  const float left = right - static_cast<float>(w);
  const float bottom = top - static_cast<float>(h);
  const float corners[4][4] = {
      {left, top, 0, 0}, {right, top, 1, 0}, {right, bottom, 1, 1}, {left, bottom, 0, 1}};
  m_logoShape.Clear();
  for (const auto& c : corners) {
    const int index = m_logoShape.AddVertex(Vector3(c[0], c[1], 0.5f));  // may move the pool
    if (index < 0) return;                                               // no memory (logged): no logo
    DVertex& v = m_logoShape.GetVertices()[index];
    v.r = v.g = v.b = v.a = 1.0f;
    v.u = c[2];
    v.v = c[3];
  }
  const int triangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
  for (const auto& t : triangles)
    if (DFace* face = m_logoShape.AddFace()) face->SetVertices(t[0], t[1], t[2]);
  m_logoShape.RecalcFaceNormals();
  m_logoShape.SetMaterial(m_logoMaterial.Get());
  m_logoShape.SetState(qibo::state::kScreen | qibo::state::kLit | qibo::state::kNoClip |
                       qibo::state::kTwoSided);
}

void DOverlay::DeleteLogo() {
  m_logoShape.Clear();
  m_logoMaterial.Reset();
  m_logoTexture.Reset();
}
