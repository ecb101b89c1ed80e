#include "core/io/CT3DImport.h"

QIBO_IMPLEMENT_CLASS(CT3DImport, CTImport, .desc = "Abstract 3D Importer", .product = "qiBO IO",
                     .isAbstract = true)

void CT3DImport::SetDefaults() {
  CTImport::SetDefaults();
  m_imported.Clear();
}
