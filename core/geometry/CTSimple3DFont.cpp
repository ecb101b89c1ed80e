#include "core/geometry/CTSimple3DFont.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/geometry/CTBBox.h"
#include "core/geometry/CTSphere.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/Stream.h"
#include "core/persist/QIBO_Stream.h"
#include "core/persist/SmartFile.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTextureManager.h"
#include "core/render/base/MaterialApi.h"

QIBO_IMPLEMENT_CLASS(CTSimple3DFont, CTShape, .desc = "Simple Shape Font", .safeToReceive = true)
static_assert(qibo::ClassId("CTSimple3DFont") == 0x5A7FA876);

namespace {

void Warn(CTSimple3DFont* font, const QIBO_String& text) { qiBO_Warning(text.c_str(), font); }

// A whole decimal number in lo..hi, or false.
bool ParseInt(const char* text, int lo, int hi, int& value, const char** end) {
  char* stop = nullptr;
  const long parsed = std::strtol(text, &stop, 10);
  if (stop == text || parsed < lo || parsed > hi) return false;
  value = static_cast<int>(parsed);
  *end = stop;
  return true;
}

}  // namespace

// ---- Loading ----

bool CTSimple3DFont::Load(const char* file) {
  FontFile font;
  if (!ReadFontFile(file, font)) return false;
  auto* textures = qibo::GetService<CTTextureManager>();
  CTTexture* texture = textures ? textures->LoadTexture(font.texture.c_str()) : nullptr;
  if (!texture) {
    Warn(this, QIBO_String::Format("%s: font texture \"%s\" of %s could not be loaded", GetName(),
                                   font.texture.c_str(), file));
    return false;
  }
  Free();
  m_texture = texture;
  const QIBO_String materialName = QIBO_String("Simple3DFont ") + font.texture;
  if (CTMaterial* material = qiBO_CreateMaterial(materialName.c_str(), nullptr)) {
    material->SetTexture(texture);
    m_fontMaterial = material;
  }
  m_columns = font.columns;
  m_rows = font.rows;
  m_firstChar = font.first;
  m_file = file;
  m_render.Invalidate();
  Invalidate();
  return true;
}

bool CTSimple3DFont::ReadFontFile(const char* file, FontFile& font) {
  SmartFile in;
  if (!file || !*file || !in.Open(file, false)) {
    Warn(this, QIBO_String::Format("%s: font file \"%s\" not found", GetName(), file ? file : ""));
    return false;
  }
  for (int lines = 0; lines < kMaxFileLines && !in.EndOfFile(); ++lines)
    if (!ParseFontLine(file, in.ReadLine().c_str(), font)) return false;
  if (!in.EndOfFile()) {
    Warn(this,
         QIBO_String::Format("%s: font file %s has more than %d lines", GetName(), file, kMaxFileLines));
    return false;
  }
  if (font.texture.Empty()) {
    Warn(this, QIBO_String::Format("%s: font file %s names no texture", GetName(), file));
    return false;
  }
  return true;
}

bool CTSimple3DFont::ParseFontLine(const char* file, const char* line, FontFile& font) {
  while (std::isspace(static_cast<unsigned char>(*line))) ++line;
  if (*line == '\0' || *line == '#') return true;
  size_t keyLength = 0;
  while (line[keyLength] && !std::isspace(static_cast<unsigned char>(line[keyLength]))) ++keyLength;
  const char* value = line + keyLength;
  while (std::isspace(static_cast<unsigned char>(*value))) ++value;
  auto is = [&](const char* key) {
    return keyLength == std::strlen(key) && !std::strncmp(line, key, keyLength);
  };
  const char* rest = value;
  bool ok = false;
  if (is("texture")) {
    font.texture = value;
    int end = font.texture.Length();
    while (end > 0 && std::isspace(static_cast<unsigned char>(font.texture.c_str()[end - 1]))) --end;
    font.texture.Buffer()[end] = '\0';
    ok = end > 0;
  } else if (is("grid")) {
    ok = ParseInt(value, 1, kMaxGrid, font.columns, &rest) && ParseInt(rest, 1, kMaxGrid, font.rows, &rest);
  } else if (is("first")) {
    ok = ParseInt(value, 0, 255, font.first, &rest);
  }
  if (!ok) Warn(this, QIBO_String::Format("%s: font file %s: cannot read \"%s\"", GetName(), file, line));
  return ok;
}

void CTSimple3DFont::Free() {
  m_texture.Reset();
  m_fontMaterial.Reset();
  m_file = "";
  m_render.Invalidate();
}

// ---- Parameters ----

void CTSimple3DFont::SetText(const char* text) {
  m_text = text ? text : "";
  m_render.Invalidate();
  Invalidate();
}

bool CTSimple3DFont::SetSize(double width, double height) {
  if (!qibo::shapemesh::CheckSize(this, "character width", width) ||
      !qibo::shapemesh::CheckSize(this, "character height", height))
    return false;
  m_charWidth = static_cast<float>(width);
  m_charHeight = static_cast<float>(height);
  m_sizeBinding.Accept({m_charWidth, m_charHeight});
  m_render.Invalidate();
  Invalidate();
  return true;
}

bool CTSimple3DFont::MoveTo(double x, double y) {
  const Vector3 position(static_cast<float>(x), static_cast<float>(y), 0.0f);
  if (!qibo::shapemesh::CheckFinite(this, "text position", position)) return false;
  m_x = position.x;
  m_y = position.y;
  m_positionBinding.Accept({m_x, m_y});
  m_render.Invalidate();
  Invalidate();
  return true;
}

// ---- Geometry ----

bool CTSimple3DFont::Bounds(Vector3& centre, Vector3& half) const {
  int lines = 1, longest = 0, column = 0;
  for (const char* c = m_text.c_str(); *c; ++c) {
    if (*c == '\n') {
      ++lines;
      column = 0;
      continue;
    }
    longest = std::max(longest, ++column);
  }
  if (longest == 0) return false;
  const float width = m_charWidth * static_cast<float>(longest);
  const float height = m_charHeight * static_cast<float>(lines);
  half = Vector3(width * 0.5f, height * 0.5f, 0.0f);
  centre = Vector3(m_x + half.x, m_y + m_charHeight - half.y, 0.0f);
  return true;
}

Ref<CTShape> CTSimple3DFont::GetBoundingBox() {
  Vector3 centre, half;
  if (!Bounds(centre, half)) return CTShape::GetBoundingBox();
  Ref<CTBBox> box = qibo::Create<CTBBox>();
  if (!box) return Ref<CTShape>();
  box->SetDimensions(half * 2.0f);
  box->SetTransform(m_transform);
  box->SetPivot(m_transform.TransformPoint(centre));
  return Ref<CTShape>(box.Get());
}

Ref<CTShape> CTSimple3DFont::GetBoundingSphere() {
  Vector3 centre, half;
  if (!Bounds(centre, half)) return CTShape::GetBoundingSphere();
  Ref<CTSphere> sphere = qibo::Create<CTSphere>();
  if (!sphere) return Ref<CTShape>();
  const Vector3 reach(std::fabs(centre.x) + half.x, std::fabs(centre.y) + half.y, 0.0f);
  sphere->SetRadius(reach.Length());
  sphere->SetTransform(m_transform);
  return Ref<CTShape>(sphere.Get());
}

intersect_t CTSimple3DFont::CheckWithPoint(const Vector3& p, const DTransform* transform) {
  Vector3 centre, half;
  if (!Bounds(centre, half)) return kIntersectOutside;
  return qibo::boxtest::Point(ToShapeSpace(p, transform), centre, half);
}

intersect_t CTSimple3DFont::CheckWithHalfspace(const Plane3& plane, const DTransform* transform) {
  if (transform) return kIntersectUnknown;
  Vector3 centre, half;
  if (!Bounds(centre, half)) return kIntersectOutside;
  return qibo::boxtest::Halfspace(plane, centre, half);
}

intersect_t CTSimple3DFont::CheckWithLine(const Line3& line, const DTransform* transform) {
  Vector3 centre, half;
  if (!Bounds(centre, half)) return kIntersectOutside;
  return qibo::boxtest::Line(qibo::shapetest::LinePoint(line, transform),
                             qibo::shapetest::LineDirection(line, transform), centre, half);
}

// ---- Render shape ----

void CTSimple3DFont::Render(const RenderInfo_t& info, CTMaterial* material) {
  DRenderShape* mesh = GetRenderShape();
  if (mesh->GetFaceCount() == 0) return;
  // With a font material the faces carry it; a shape-wide one would hide it.
  RenderMesh(*mesh, info, m_fontMaterial ? nullptr : (material ? material : m_material.Get()));
}

DRenderShape* CTSimple3DFont::GetRenderShape() {
  if (!m_render.IsCurrent(m_transform)) BuildRenderShape();
  return &m_render.Mesh();
}

void CTSimple3DFont::BuildRenderShape() {
  DRenderShape& mesh = m_render.Mesh();
  qibo::shapemesh::Reset(mesh);
  const int normal = mesh.AddNormal(Vector3(0, 0, -1));
  int column = 0, line = 0;
  for (const char* c = m_text.c_str(); *c; ++c) {
    if (*c == '\n') {
      ++line;
      column = 0;
      continue;
    }
    AddGlyph(mesh, normal, column++, line, static_cast<unsigned char>(*c));
  }
  qibo::shapemesh::Finish(mesh, m_transform, qibo::shapemesh::kTwoSidedState);
  m_render.SetCurrent(m_transform);
}

void CTSimple3DFont::AddGlyph(DRenderShape& mesh, int normal, int column, int line, unsigned char code) {
  const int cell = static_cast<int>(code) - m_firstChar;
  if (code == ' ' || cell < 0 || cell >= m_columns * m_rows) return;
  namespace sm = qibo::shapemesh;
  const float u0 = static_cast<float>(cell % m_columns) / m_columns;
  const float u1 = static_cast<float>(cell % m_columns + 1) / m_columns;
  const float v0 = static_cast<float>(cell / m_columns) / m_rows;
  const float v1 = static_cast<float>(cell / m_columns + 1) / m_rows;
  const float left = m_x + m_charWidth * column, right = left + m_charWidth;
  const float bottom = m_y - m_charHeight * line, top = bottom + m_charHeight;
  const int first = sm::AddPoint(mesh, Vector3(left, bottom, 0), normal, u0, v1);
  sm::AddPoint(mesh, Vector3(right, bottom, 0), normal, u1, v1);
  sm::AddPoint(mesh, Vector3(right, top, 0), normal, u1, v0);
  sm::AddPoint(mesh, Vector3(left, top, 0), normal, u0, v0);
  CTMaterial* material = m_fontMaterial.Get();
  sm::AddTriangle(mesh, first, first + 2, first + 1, normal, false, material);
  sm::AddTriangle(mesh, first, first + 3, first + 2, normal, false, material);
}

// ---- Properties and persistence ----

void CTSimple3DFont::DoAddProperties() {
  CTShape::DoAddProperties();
  const ClassDesc* cd = CTSimple3DFont::_CD();
  AddProperty(DProperty(m_text, "Text"), cd);
  AddProperty(DProperty(m_charWidth, "CharWidth"), cd);
  AddProperty(DProperty(m_charHeight, "CharHeight"), cd);
  AddProperty(DProperty(m_x, "X"), cd);
  AddProperty(DProperty(m_y, "Y"), cd);
  AddPropertyRO(DProperty(m_file, "FontFile"), cd);
}

void CTSimple3DFont::OnPropertyChanged(DProperty& property) {
  m_sizeBinding.Apply(property, {&m_charWidth, &m_charHeight},
                      [this](float width, float height) { SetSize(width, height); });
  m_positionBinding.Apply(property, {&m_x, &m_y}, [this](float x, float y) { MoveTo(x, y); });
  if (property.ID() == &m_text) m_render.Invalidate();
  CTShape::OnPropertyChanged(property);
}

void CTSimple3DFont::WriteToStream(Stream* stream, uint32_t flags) {
  CTShape::WriteToStream(stream, flags);
  if (!(flags & 0x2)) return;
  stream->StartChunk(kChunkID);
  stream->WriteString(m_text.c_str());
  for (const float value : {m_charWidth, m_charHeight, m_x, m_y}) stream->WriteFloat(value);
  stream->WriteString(m_file.c_str());
  stream->EndChunk();
}

bool CTSimple3DFont::ProcessChunk(Stream* stream, uint32_t chunkID) {
  if (chunkID != kChunkID) return CTShape::ProcessChunk(stream, chunkID);
  SetText(stream->ReadString().c_str());
  const float width = stream->ReadFloat();
  SetSize(width, stream->ReadFloat());
  const float x = stream->ReadFloat();
  MoveTo(x, stream->ReadFloat());
  const QIBO_String file = stream->ReadString();
  // Data from a network peer never makes us open a file it names.
  const auto* chunked = dynamic_cast<const QIBO_Stream*>(stream);
  const bool trusted = !chunked || chunked->IsTrusted();
  if (trusted && !file.Empty() && !(file == m_file)) Load(file.c_str());
  return true;
}
