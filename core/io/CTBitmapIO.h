#pragma once

#include <vector>

#include "core/io/CTBitmapImport.h"
#include "core/object/Ref.h"

// Imports a picture with whichever registered bitmap importer handles the
// file's extension. Its extension list is the union of theirs, in
// registration order. Importers registered after construction (a plug-in
// loaded later) are seen once RegisterClasses runs again.
class CTBitmapIO : public CTBitmapImport {
  QIBO_CLASS(CTBitmapIO)

 public:
  CTBitmapIO();
  ~CTBitmapIO() override;

  // Releases the importers, then makes one of every registered bitmap
  // importer class (other than the aggregates) and takes their extensions.
  void RegisterClasses();
  int GetImporterCount() const { return static_cast<int>(m_importers.size()); }

 protected:
  // By the extension after the last "." of the file part (case ignored):
  // each importer that handles it is tried in turn; the first success gives
  // the texture. "Unknown file format: " / "Failed to import: " + file
  // (warnings, level 0) when none handles it / none succeeds.
  bool DoImport(const char* file) override;

 private:
  std::vector<Ref<CTBitmapImport>> m_importers;
};
