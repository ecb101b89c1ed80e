#pragma once

#include <cstdint>
#include <vector>

#include "core/io/CTSceneIO.h"
#include "core/object/QIBO_String.h"
#include "core/object/Ref.h"
#include "core/persist/cache/CTSceneCacheManager.h"
#include "core/scene/CTGroup.h"

// The default scene cache. Settings: "EnableCache" (true; false imports
// every request straight below the caller's group), "ModelPath"
// (".\streams\", the folder of LoadFromModelPath) and "Number of hits"
// (read-only: requests served from a template since the service started).
//
// Each template keeps a use count: the requests with a parent since the
// last purge, or -1 once its import failed. Templates are found by base
// name, so two files of the same name in different folders share one.
class DefSceneCacheManager : public CTSceneCacheManager {
  QIBO_CLASS(DefSceneCacheManager)

 public:
  DefSceneCacheManager() = default;
  ~DefSceneCacheManager() override;

  void DoAddProperties() override;

  void PurgeUnused() override;
  void Clear() override;
  bool LoadFromModelPath(CTGroup* parent, const char* file, float scale) override;
  bool Load(CTGroup* parent, const char* file, float scale) override;
  void SetModelPath(const char* path) override { m_modelPath = path ? path : ""; }

  bool IsCacheEnabled() const { return m_enableCache; }
  void EnableCache(bool on) { m_enableCache = on; }
  const char* GetModelPath() const { return m_modelPath.c_str(); }
  uint32_t GetHits() const { return m_hits; }
  int GetTemplateCount() const { return static_cast<int>(m_templates.size()); }
  // The template of that base name (any letter case), or null.
  CTGroup* FindTemplate(const char* baseName) const;
  // The use count of that template; 0 when there is none.
  int GetUseCount(const char* baseName) const;

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  struct Template {
    Ref<CTGroup> group;
    int uses = 0;
  };
  Template* Find(const char* baseName);
  const Template* Find(const char* baseName) const;
  // A copy of each of the template's children, attached to parent in order.
  static void HandOut(CTGroup& group, CTGroup* parent);

  std::vector<Template> m_templates;
  Ref<CTSceneIO> m_importer;
  bool m_enableCache = true;
  QIBO_String m_modelPath = ".\\streams\\";
  uint32_t m_hits = 0;
};
