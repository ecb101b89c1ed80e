#pragma once

#include "core/geometry/CTShape.h"
#include "core/geometry/ShapeKit.h"
#include "core/object/CountedPtr.h"
#include "core/object/DSetterBinding.h"
#include "core/render/base/CTTexture.h"

// A line (or lines) of text drawn as textured quads in the plane z = 0,
// facing -Z: character i of a line covers x .. x + w from the text position
// (x, y) onwards, y .. y + h; each '\n' starts a new line h lower. The
// glyphs come from a font texture cut into a grid of equal cells, read row
// by row from the top left, the first cell holding character code "first".
// Characters outside the grid (and spaces) take room but draw nothing.
//
// Font file (Load): plain text, one "key value" pair per line, blank lines
// and lines starting with '#' ignored, at most kMaxFileLines lines:
//   texture <name>          the font texture, loaded by name through the
//                           texture service (required)
//   grid <columns> <rows>   cells across and down, 1..256 each (16 16)
//   first <code>            character code of the first cell, 0..255 (32)
//
// The faces use a material named "Simple3DFont " and the texture's name,
// from the material service, carrying the texture; Render draws with it
// whatever material the caller gives, so that the glyphs show.
//
// Tests answer for the text's rectangle (flat, z = 0); empty text is
// outside everything. The support function is the base's.
//
// Chunk 0x5A7FA876: string text, float w, float h, float x, float y,
// string font file (empty when none was loaded; loaded again on reading).
class CTSimple3DFont : public CTShape {
  QIBO_CLASS(CTSimple3DFont)

 public:
  static constexpr uint32_t kChunkID = 0x5A7FA876;
  static constexpr int kMaxFileLines = 64;
  static constexpr int kMaxGrid = 256;

  explicit CTSimple3DFont(const char* name = "Simple3DFont") : CTShape(name) {}
  CTSimple3DFont(const CTSimple3DFont& other) = default;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // Reads a font file (see above) and loads its texture; false, with a
  // warning, and the font unchanged when either fails.
  bool Load(const char* file);
  // Drops the texture and the material.
  void Free();
  // At most 255 characters (longer text is cut); null means none.
  void SetText(const char* text);
  const char* GetText() const { return m_text.c_str(); }
  // Character cell size; finite and not negative, or refused (false).
  bool SetSize(double width, double height);
  bool SetSize(double size) { return SetSize(size, size); }
  // The lower left of the first character; finite, or refused (false).
  bool MoveTo(double x, double y);
  bool MoveBy(double x, double y) { return MoveTo(m_x + x, m_y + y); }
  float GetCharWidth() const { return m_charWidth; }
  float GetCharHeight() const { return m_charHeight; }
  float GetX() const { return m_x; }
  float GetY() const { return m_y; }
  CTTexture* GetTexture() const { return m_texture.Get(); }
  CTMaterial* GetFontMaterial() const { return m_fontMaterial.Get(); }
  int GetColumns() const { return m_columns; }
  int GetRows() const { return m_rows; }
  int GetFirstChar() const { return m_firstChar; }

  CTShape* Copy() const override { return new CTSimple3DFont(*this); }
  bool IsConvex() const override { return true; }
  Ref<CTShape> GetBoundingSphere() override;
  Ref<CTShape> GetBoundingBox() override;
  void Render(const RenderInfo_t& info, CTMaterial* material) override;
  intersect_t CheckWithPoint(const Vector3& p, const DTransform* transform) override;
  intersect_t CheckWithHalfspace(const Plane3& plane, const DTransform* transform) override;
  intersect_t CheckWithLine(const Line3& line, const DTransform* transform) override;
  DRenderShape* GetRenderShape() override;

 private:
  struct FontFile {
    QIBO_String texture;
    int columns = 16;
    int rows = 16;
    int first = 32;
  };
  bool ReadFontFile(const char* file, FontFile& font);
  bool ParseFontLine(const char* file, const char* line, FontFile& font);
  // The text's rectangle as centre and half extents; false for no text.
  bool Bounds(Vector3& centre, Vector3& half) const;
  void BuildRenderShape();
  void AddGlyph(DRenderShape& mesh, int normal, int column, int line, unsigned char code);

  QIBO_String m_text;
  float m_charWidth = 1.0f;
  float m_charHeight = 1.0f;
  float m_x = 0.0f;
  float m_y = 0.0f;
  // The character size and the position written as properties go through
  // SetSize and MoveTo.
  qibo::DSetterBinding<float, 2> m_sizeBinding{1.0f, 1.0f};
  qibo::DSetterBinding<float, 2> m_positionBinding{0.0f, 0.0f};
  int m_columns = 16;
  int m_rows = 16;
  int m_firstChar = 32;
  QIBO_String m_file;  // the font file loaded, empty when none
  CountedPtr<CTTexture> m_texture;
  CountedPtr<CTMaterial> m_fontMaterial;
  DShapeMesh m_render;
};
