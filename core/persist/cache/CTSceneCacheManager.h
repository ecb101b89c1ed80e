#pragma once

#include "core/kernel/CTManager.h"

class CTGroup;

// The scene cache: loads each model file once, by its base name (no
// folder, no extension), into a hidden template group and hands out copies
// of the template's children on every request. Callers own the copies;
// the templates stay with the service until purged or cleared.
class CTSceneCacheManager : public CTManager {
  QIBO_CLASS(CTSceneCacheManager)

 public:
  explicit CTSceneCacheManager(const char* name = nullptr) : CTManager(name) {}

  // Releases every template used by no request since the last purge (and
  // every one whose import failed); the others start counting again.
  virtual void PurgeUnused() = 0;
  // Releases every template and sets the hit counter to 0.
  virtual void Clear() = 0;
  // Load of the file's name (its folder dropped) in the model folder.
  virtual bool LoadFromModelPath(CTGroup* parent, const char* file, float scale) = 0;
  // Copies of the model's objects below parent (null: only the template is
  // made). A file whose import failed fails again at once until its
  // template is purged. The scale applies when the file is imported.
  virtual bool Load(CTGroup* parent, const char* file, float scale) = 0;
  virtual void SetModelPath(const char* path) = 0;
};
