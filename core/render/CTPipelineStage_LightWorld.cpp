#include "core/render/CTPipelineStage_LightWorld.h"

#include <cmath>

#include "core/geometry/DRenderShape.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTMaterialManager.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTLight.h"

QIBO_IMPLEMENT_CLASS(CTPipelineStage_LightWorld, CTPipelineStage, .desc = "LightWorld", .url = "qibo_stages",
                     .product = "qiBO Stages")

using namespace qibo::state;

namespace {

CTLight* LightOf(const DRenderContext* context) {
  return context && context->environment ? qibo::Cast<CTLight>(context->environment->GetLight()) : nullptr;
}

Vector3 Times(const Vector3& a, const Vector3& b) { return Vector3(a.x * b.x, a.y * b.y, a.z * b.z); }

// The colours one material and one light give every vertex.
struct Lighting {
  Vector3 base;      // emissive and ambient
  Vector3 diffuse;   // light x material, times the cosine
  Vector3 specular;  // light x material, times the highlight
  float power = 1.0f;
  float alpha = 255.0f;
  bool useDiffuse = false;
  bool useSpecular = false;
};

Lighting Prepare(const CTMaterial& m, const CTLight& light, const CTEnvironment& environment) {
  Lighting l;
  if (m.m_useEmissive) l.base = m.m_emissive;
  if (m.m_useAmbient) l.base = l.base + Times(environment.GetAmbientColor(), m.m_ambient);
  l.diffuse = Times(light.GetColor(), m.m_diffuse);
  l.specular = Times(light.GetColor(), m.m_specular);
  l.power = light.GetValue() != 0.0 ? static_cast<float>(m.m_power / light.GetValue()) : 0.0f;
  l.alpha = static_cast<float>(m.m_alpha * 255.0);
  l.useDiffuse = m.m_useDiffuse;
  l.useSpecular = m.m_useSpecular;
  return l;
}

}  // namespace

CTPipelineStage_LightWorld::CTPipelineStage_LightWorld() : CTPipelineStage(kShared | kLit, kWorld, 0, kLit) {}

bool CTPipelineStage_LightWorld::HandlesContext(DRenderContext* context) const {
  return context && context->camera && LightOf(context);
}

void CTPipelineStage_LightWorld::PrepareContext(DRenderContext* context) {
  CTLight* light = LightOf(context);
  if (!light || !context->camera) return;
  light->UpdateWorldSpace();
  context->camera->UpdateWorldSpace();
  const Vector3 sum = context->camera->GetWorldDirection() + light->GetWorldDirection();
  const float length = sum.Length();
  // Eye and light facing each other leave no half vector: no highlight.
  m_half = length > 1e-5f ? sum * (-1.0f / length) : Vector3();
}

bool CTPipelineStage_LightWorld::DoProcess(DRenderPacket* packet) {
  DRenderShape& shape = *packet->shape;
  CTLight* light = LightOf(packet->stageContext);
  if (!light) return false;  // a route cached in a context that had a light
  CTMaterial* material = shape.GetMaterial() ? shape.GetMaterial() : shape.GetDefaultMaterial();
  if (!material) {
    if (CTMaterialManager* materials = packet->stageContext->PrepareMaterials())
      shape.SetDefaultMaterial(materials->GetDefaultMaterial());
    material = shape.GetDefaultMaterial();
  }
  if (!material) return false;
  const Lighting l = Prepare(*material, *light, *packet->stageContext->environment);
  const Vector3 toLight = light->GetWorldDirection() * -1.0f;
  const Vector3* normals = shape.GetNormals();
  const int normalCount = shape.GetNormalCount();
  DVertex* vertices = shape.GetVertices();
  for (int i = 0, count = shape.GetVertexCount(); i < count; ++i) {
    DVertex& v = vertices[i];
    Vector3 colour = l.base;
    if (v.normal >= 0 && v.normal < normalCount) {
      const Vector3& n = normals[v.normal];
      const float d = toLight.Dot(n);
      if (d > 0.0f) {
        if (l.useDiffuse) colour = colour + l.diffuse * d;
        const float s = m_half.Dot(n);
        if (l.useSpecular && s > 0.0f) colour = colour + l.specular * std::pow(s, l.power);
      }
    }
    v.r = colour.x;
    v.g = colour.y;
    v.b = colour.z;
    v.a = l.alpha;
  }
  shape.Touch();
  return true;
}
