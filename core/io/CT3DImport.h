#pragma once

#include <cstdint>

#include "core/io/CTImport.h"
#include "core/object/StepArray.h"

class CTBasic;
class CTGroup;

// An importer of 3D models: creates scene objects below a root group and
// lists what it made. The import mask selects kinds of content (only its
// low 8 bits count); the scaling multiplies every coordinate read.
class CT3DImport : public CTImport {
  QIBO_CLASS(CT3DImport)

 public:
  explicit CT3DImport(const char* name = nullptr) : CTImport(name) {}

  // Also empties the list of imported objects.
  void SetDefaults() override;

  // The root is not referenced: the caller keeps it alive for the import.
  void SetRoot(CTGroup* root) { m_root = root; }
  CTGroup* GetRoot() const { return m_root; }
  void SetImportMask(uint32_t mask) { m_importMask = mask & 0xFF; }
  uint32_t GetImportMask() const { return m_importMask; }
  void SetScaling(const double& scaling) { m_scaling = scaling; }
  double GetScaling() const { return m_scaling; }

  int GetImportedObjectsCount() const { return m_imported.Count(); }
  // Null outside the list.
  CTBasic* GetImportedObjectNo(int i) const {
    return i >= 0 && i < m_imported.Count() ? m_imported[static_cast<size_t>(i)] : nullptr;
  }

 protected:
  // Lists an object the import made (not referenced: the root holds it).
  void AddImportedObject(CTBasic* object) {
    if (object) m_imported.Add(object);
  }

 private:
  uint32_t m_importMask = 255;
  double m_scaling = 1.0;
  CTGroup* m_root = nullptr;
  qibo::StepArray<CTBasic*> m_imported;
};
