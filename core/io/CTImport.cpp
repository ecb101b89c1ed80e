#include "core/io/CTImport.h"

QIBO_IMPLEMENT_CLASS(CTImport, CTImportExport, .desc = "Abstract Importer", .product = "qiBO IO",
                     .isAbstract = true)

bool CTImport::Import(const char* file) {
  SetSuccess(false);
  SetDefaults();
  // A failure of an earlier import must not hide the report of this one.
  NoError();
  const bool success = file && *file && DoImport(file);
  SetSuccess(success);
  if (success) return NoError();
  if (!HasError()) ErrorMsg((QIBO_String("Failed to import file: ") + (file ? file : "")).c_str());
  return false;
}
