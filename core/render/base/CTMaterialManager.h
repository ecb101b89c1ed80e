#pragma once

#include "core/kernel/CTManager.h"

class CTMaterial;

// The material service: numbers materials with small ids (the lowest free
// one first), finds them by name and keeps the default material "Default"
// while it runs. The table holds a counted reference on each registered
// material.
class CTMaterialManager : public CTManager {
  QIBO_CLASS(CTMaterialManager)

 public:
  virtual int RegisterMaterial(CTMaterial* material) = 0;
  virtual void UnregisterMaterial(CTMaterial* material) = 0;
  virtual void RemoveAllMaterials() = 0;
  // The registered material of that name (existed = true), or a new one of
  // that name, registered (existed = false). existed may be null.
  virtual CTMaterial* CreateMaterial(const char* name, bool* existed) = 0;
  // The registered material of that name, any letter case, lowest id first.
  virtual CTMaterial* FindMaterial(const char* name) = 0;
  virtual CTMaterial* GetDefaultMaterial() = 0;
  // The table length, free entries included.
  virtual int GetMaterialCount() = 0;
  virtual CTMaterial* GetMaterial(int id) = 0;
};
