#include "core/persist/cache/DefSceneCacheManager.h"

#include <algorithm>
#include <cstring>

#include "core/persist/FileSearch.h"

QIBO_IMPLEMENT_CLASS(DefSceneCacheManager, CTSceneCacheManager, .desc = "Scene cache manager",
                     .product = "qiBO DefMgr")
static_assert(qibo::ClassId("DefSceneCacheManager") == 0x07F8AB48);

namespace {

// The file part of file without its extension.
QIBO_String BaseName(const char* file) {
  QIBO_String base = qibo::FilePart(file);
  if (char* dot = strrchr(base.Buffer(), '.')) *dot = '\0';
  return base;
}

}  // namespace

DefSceneCacheManager::~DefSceneCacheManager() { m_templates.clear(); }

void DefSceneCacheManager::DoAddProperties() {
  CTSceneCacheManager::DoAddProperties();
  const ClassDesc* cd = DefSceneCacheManager::_CD();
  AddProperty(DProperty(m_enableCache, "EnableCache"), cd);
  AddProperty(DProperty(m_modelPath, "ModelPath"), cd);
  AddPropertyRO(DProperty(qibo::AsDWord(m_hits), "Number of hits"), cd);
}

bool DefSceneCacheManager::DoStart() {
  m_hits = 0;
  return true;
}

bool DefSceneCacheManager::DoStop() {
  m_importer.Reset();
  return true;
}

DefSceneCacheManager::Template* DefSceneCacheManager::Find(const char* baseName) {
  for (Template& entry : m_templates)
    if (entry.group->GetName() && qibo::EqualsIC(entry.group->GetName(), baseName)) return &entry;
  return nullptr;
}

const DefSceneCacheManager::Template* DefSceneCacheManager::Find(const char* baseName) const {
  return const_cast<DefSceneCacheManager*>(this)->Find(baseName);
}

CTGroup* DefSceneCacheManager::FindTemplate(const char* baseName) const {
  const Template* entry = baseName ? Find(baseName) : nullptr;
  return entry ? entry->group.Get() : nullptr;
}

int DefSceneCacheManager::GetUseCount(const char* baseName) const {
  const Template* entry = baseName ? Find(baseName) : nullptr;
  return entry ? entry->uses : 0;
}

void DefSceneCacheManager::PurgeUnused() {
  // Order kept; a template still in use starts counting again.
  std::erase_if(m_templates, [](const Template& entry) { return entry.uses < 1; });
  for (Template& entry : m_templates) entry.uses = 0;
}

void DefSceneCacheManager::Clear() {
  m_hits = 0;
  m_templates.clear();
}

bool DefSceneCacheManager::LoadFromModelPath(CTGroup* parent, const char* file, float scale) {
  if (!file) return false;
  const QIBO_String path = m_modelPath + qibo::FilePart(file);
  return Load(parent, path.c_str(), scale);
}

void DefSceneCacheManager::HandOut(CTGroup& group, CTGroup* parent) {
  // A copy starts as a sibling of its original: take the children first.
  std::vector<CTEntity*> children;
  for (int i = 0; i < group.NumChildren(); ++i) children.push_back(group.GetChild(i));
  for (CTEntity* child : children) {
    Ref<CTEntity> copy(child->Copy());
    if (copy) copy->SetParent(parent);
  }
}

bool DefSceneCacheManager::Load(CTGroup* parent, const char* file, float scale) {
  if (!file || !*file) return false;
  QIBO_String name = file;
  for (char* c = name.Buffer(); *c; ++c)
    if (*c == '/') *c = '\\';
  const QIBO_String base = BaseName(name.c_str());
  if (m_enableCache) {
    if (Template* entry = Find(base.c_str())) {
      if (entry->uses < 0) return false;
      ++m_hits;
      if (parent) {
        ++entry->uses;
        HandOut(*entry->group, parent);
      }
      return true;
    }
  }
  if (!m_importer) m_importer = qibo::Create<CTSceneIO>();
  if (!m_importer) return false;
  m_importer->SetScaling(scale);
  if (!m_enableCache) {
    m_importer->SetRoot(parent);
    const bool imported = m_importer->Import(name.c_str());
    m_importer->SetRoot(nullptr);
    return imported;
  }
  Ref<CTGroup> group = qibo::Create<CTGroup>();
  if (!group) return false;
  group->SetName(base.c_str());
  m_templates.push_back({group, 0});
  m_importer->SetRoot(group.Get());
  const bool imported = m_importer->Import(name.c_str());
  m_importer->SetRoot(nullptr);
  // The vector may have moved while importing: find the entry again.
  Template* entry = Find(base.c_str());
  if (!entry) return false;
  if (!imported) {
    entry->uses = -1;
    return false;
  }
  if (parent) {
    entry->uses = 1;
    HandOut(*entry->group, parent);
  }
  return true;
}
