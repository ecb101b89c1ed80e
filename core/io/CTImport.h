#pragma once

#include "core/io/CTImportExport.h"

// An importer: reads one file per Import call into its result.
class CTImport : public CTImportExport {
  QIBO_CLASS(CTImport)

 public:
  explicit CTImport(const char* name = nullptr) : CTImportExport(name) {}

  // Forgets the last result, then DoImport. Success clears the error flag;
  // a failure that logged nothing of its own is reported as
  // "Failed to import file: " + file.
  bool Import(const char* file);

 protected:
  virtual bool DoImport(const char* file) = 0;
};
