#pragma once

#include "core/object/Ref.h"
#include "core/object/StepArray.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTMaterialManager.h"

class DefMaterialManager : public CTMaterialManager {
  QIBO_CLASS(DefMaterialManager)

 public:
  ~DefMaterialManager() override;

  int RegisterMaterial(CTMaterial* material) override;
  void UnregisterMaterial(CTMaterial* material) override;
  void RemoveAllMaterials() override;
  CTMaterial* CreateMaterial(const char* name, bool* existed) override;
  CTMaterial* FindMaterial(const char* name) override;
  CTMaterial* GetDefaultMaterial() override { return m_default.Get(); }
  int GetMaterialCount() override { return m_table.Count(); }
  CTMaterial* GetMaterial(int id) override;

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  Ref<CTMaterial> m_default;
  qibo::StepArray<CTMaterial*> m_table;  // by id; null where free; each counted
};
