#include "demo/effects/CTFilmGrain.h"

#include <cstdlib>

#include "core/geometry/ShapeKit.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTDrawable.h"
#include "demo/effects/CTNoisyTexture.h"

QIBO_IMPLEMENT_CLASS(CTFilmGrainQuad, CTShape, .desc = "Film grain quad", .product = "Quarndelion")
QIBO_IMPLEMENT_CLASS(CTFilmGrain, CTNamed, .desc = "Film grain overlay", .product = "Quarndelion")

CTFilmGrainQuad::CTFilmGrainQuad(const char* name) : CTShape(name) {
  DRenderShape& mesh = m_quad;
  const Vector3 corners[4] = {
      {-1.0f, -1.0f, 0.0f}, {-1.0f, 1.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {1.0f, -1.0f, 0.0f}};
  for (const Vector3& corner : corners) qibo::shapemesh::AddPoint(mesh, corner, 0, 0.0f, 0.0f);
  qibo::shapemesh::AddTriangle(mesh, 0, 1, 2, -1, false);
  qibo::shapemesh::AddTriangle(mesh, 0, 2, 3, -1, false);
  qibo::shapemesh::SetPresenceFlags(mesh);
  mesh.SetState(kQuadState);
  Jump();
}

void CTFilmGrainQuad::Jump() {
  if (m_quad.GetVertexCount() != 4) return;
  // Offsets of whole texels of the 256-texel noise: the fraction of
  // rand() / 256, which places the repeating texture exactly as the full
  // quotient would without losing the fraction to float precision.
  const float du = static_cast<float>(std::rand() & 0xFF) / 256.0f;
  const float dv = static_cast<float>(std::rand() & 0xFF) / 256.0f;
  const float uv[4][2] = {{du, dv}, {du, dv + 2.0f}, {du + 2.0f, dv + 2.0f}, {du + 2.0f, dv}};
  DVertex* vertices = m_quad.GetVertices();
  for (int i = 0; i < 4; ++i) {
    vertices[i].u = uv[i][0];
    vertices[i].v = uv[i][1];
  }
  m_quad.Touch();
}

void CTFilmGrainQuad::Render(const RenderInfo_t& info, CTMaterial* material) {
  Jump();
  RenderMesh(m_quad, info, material ? material : m_material.Get());
}

Vector3 CTFilmGrainQuad::GetSupport(const Vector3& d) {
  return {d.x < 0.0f ? -1.0f : 1.0f, d.y < 0.0f ? -1.0f : 1.0f, 0.0f};
}

CTFilmGrain::CTFilmGrain(const char* name) : CTNamed(name) {}

// Only a running engine is asked: an overlay released after the engine shut
// down (which empties the list) must not start it again.
CTFilmGrain::~CTFilmGrain() {
  if (!m_shown) return;
  if (auto* engine = qibo::FindService<CTEngineManager>()) engine->RemoveDrawable(m_drawable.Get());
}

bool CTFilmGrain::Build() {
  if (IsBuilt()) return true;
  bool existed = false;
  CTMaterial* material = qiBO_CreateMaterial("NoiseMat", &existed);
  if (!material) {
    qiBO_Warning("Film grain: no material service", this);
    return false;
  }
  if (!existed) {
    Ref<CTNoisyTexture> noise = qibo::Create<CTNoisyTexture>();
    if (noise && noise->Generate(kNoiseSize, kNoiseSize)) material->SetTexture(noise.Get());
    material->SetColor(DColor{1.0f, 1.0f, 1.0f, 1.0f});
    material->m_useVertexColor = true;
    material->SetAlpha(0.1f);
  }
  Ref<CTFilmGrainQuad> quad = qibo::Create<CTFilmGrainQuad>();
  Ref<CTDrawable> drawable = qibo::Create<CTDrawable>();
  if (!quad || !drawable) return false;
  drawable->SetName("Film grain");
  drawable->SetShape(quad.Get());
  drawable->SetMaterial(material);
  m_material = material;
  m_quad = std::move(quad);
  m_drawable = std::move(drawable);
  return true;
}

bool CTFilmGrain::Show() {
  if (m_shown) return true;
  if (!Build()) return false;
  qiBO_AddDrawable(m_drawable.Get());
  m_shown = true;
  return true;
}

void CTFilmGrain::Hide() {
  if (!m_shown) return;
  qiBO_RemoveDrawable(m_drawable.Get());
  m_shown = false;
}
