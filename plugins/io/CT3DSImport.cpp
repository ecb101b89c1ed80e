#include "plugins/io/CT3DSImport.h"

QIBO_IMPLEMENT_CLASS(CT3DSImport, CT3DImport, .desc = "3D Studio importer", .url = "qiboIO.plug",
                     .product = "qiBO IO")

CT3DSImport::CT3DSImport() : DModelImport("3DS Importer") {
  for (const char* ext : {"3ds", "prj", "mli"}) AddExtension(ext);
}

bool CT3DSImport::DoImport(const char* file) { return ImportWith(file, {qibo::io::Read3DS, true}); }
