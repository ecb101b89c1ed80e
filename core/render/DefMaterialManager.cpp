#include "core/render/DefMaterialManager.h"

#include "core/object/QIBO_String.h"

QIBO_IMPLEMENT_CLASS(DefMaterialManager, CTMaterialManager, .desc = "Material manager",
                     .product = "qiBO DefMgr")

DefMaterialManager::~DefMaterialManager() { RemoveAllMaterials(); }

bool DefMaterialManager::DoStart() {
  m_default = qibo::Create<CTMaterial>();
  if (!m_default) return ErrorMsg("Cannot create the default material");
  m_default->SetName("Default");
  RegisterMaterial(m_default.Get());
  return true;
}

bool DefMaterialManager::DoStop() {
  RemoveAllMaterials();
  m_default.Reset();
  return true;
}

int DefMaterialManager::RegisterMaterial(CTMaterial* material) {
  if (!material) return -1;
  if (material->GetMatID() != -1) return material->GetMatID();
  int id = m_table.IndexOf(nullptr);
  if (id < 0) {
    id = m_table.Count();
    m_table.Add(nullptr);
  }
  m_table[static_cast<size_t>(id)] = material;
  material->SetMatID(id);
  material->AddRef(nullptr);
  return id;
}

void DefMaterialManager::UnregisterMaterial(CTMaterial* material) {
  if (!material) return;
  const int id = material->GetMatID();
  if (id < 0 || id >= m_table.Count() || m_table[static_cast<size_t>(id)] != material) return;
  m_table[static_cast<size_t>(id)] = nullptr;
  material->SetMatID(-1);
  material->RemoveRef(nullptr);
}

void DefMaterialManager::RemoveAllMaterials() {
  // Unregistering may delete a material whose destructor looks here again:
  // take each out of the table before letting it go.
  while (!m_table.Empty()) {
    CTMaterial* material = m_table.RemoveAt(m_table.Size() - 1, true);
    if (!material) continue;
    material->SetMatID(-1);
    material->RemoveRef(nullptr);
  }
  m_table.Clear();
}

CTMaterial* DefMaterialManager::CreateMaterial(const char* name, bool* existed) {
  if (CTMaterial* found = FindMaterial(name)) {
    if (existed) *existed = true;
    return found;
  }
  if (existed) *existed = false;
  Ref<CTMaterial> material = qibo::Create<CTMaterial>();
  if (!material) return nullptr;
  material->SetName(name);
  material->RegisterWithService();
  if (material->GetMatID() < 0) RegisterMaterial(material.Get());
  return material.Get();
}

CTMaterial* DefMaterialManager::FindMaterial(const char* name) {
  if (!name) return nullptr;
  for (CTMaterial* material : m_table)
    if (material && qibo::EqualsIC(material->GetName(), name)) return material;
  return nullptr;
}

CTMaterial* DefMaterialManager::GetMaterial(int id) {
  return id >= 0 && id < m_table.Count() ? m_table[static_cast<size_t>(id)] : nullptr;
}
