#include "demo/scenes/SceneKit.h"

#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTextureManager.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "demo/effects/CTTorus1.h"

namespace qibo::demo {

CTMaterial* SceneMaterial(const char* name, const char* texture, bool* created) {
  bool existed = false;
  CTMaterial* material = qiBO_CreateMaterial(name, &existed);
  if (created) *created = material && !existed;
  if (!material || existed) return material;
  material->SetColor(DColor{1.0f, 1.0f, 1.0f, 1.0f});
  if (texture)
    if (auto* textures = qibo::GetService<CTTextureManager>())
      material->SetTexture(textures->LoadTexture(texture));
  return material;
}

CTDrawable* AddDrawable(CTGroup* parent, const char* name, CTShape* shape, CTMaterial* material,
                        const Vector3& position) {
  Ref<CTDrawable> drawable = qibo::Create<CTDrawable>();
  if (!drawable || !parent) return nullptr;
  drawable->SetName(name);
  drawable->SetShape(shape);
  drawable->SetMaterial(material);
  drawable->MoveTo(position);
  drawable->SetParent(parent);
  return drawable.Get();
}

void TakeOverTorusUpdates(CTTorus1* torus) {
  if (torus) torus->RemoveUpdate(qibo::AsUpdate(&CTTorus1::Update));
}

}  // namespace qibo::demo
