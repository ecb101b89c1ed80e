#pragma once

#include <vector>

#include "core/io/CT3DImport.h"
#include "core/object/Ref.h"

// Imports a 3D model with whichever registered 3D importer handles the
// file's extension, as CTBitmapIO does for pictures. Before each attempt the
// importer gets this object's import mask, scaling and root group; the
// objects of the successful import are listed here too.
class CTSceneIO : public CT3DImport {
  QIBO_CLASS(CTSceneIO)

 public:
  CTSceneIO();
  ~CTSceneIO() override;

  void RegisterClasses();
  int GetImporterCount() const { return static_cast<int>(m_importers.size()); }

 protected:
  bool DoImport(const char* file) override;

 private:
  std::vector<Ref<CT3DImport>> m_importers;
};
