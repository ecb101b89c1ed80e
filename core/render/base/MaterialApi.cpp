#include "core/render/base/MaterialApi.h"

#include "core/kernel/ServiceCache.h"
#include "core/render/base/CTMaterialManager.h"

namespace {

CTMaterialManager* Materials() {
  return static_cast<CTMaterialManager*>(
      qibo::GetCachedService(qibo::CachedService::Material, CTMaterialManager::_CD()->ID()));
}

}  // namespace

CTMaterial* qiBO_CreateMaterial(const char* name, bool* existed) {
  CTMaterialManager* materials = Materials();
  return materials ? materials->CreateMaterial(name, existed) : nullptr;
}

CTMaterial* qiBO_FindMaterial(const char* name) {
  CTMaterialManager* materials = Materials();
  return materials ? materials->FindMaterial(name) : nullptr;
}

CTMaterial* qiBO_GetDefaultMaterial() {
  CTMaterialManager* materials = Materials();
  return materials ? materials->GetDefaultMaterial() : nullptr;
}
