#include "core/io/CTBitmapIO.h"

#include "core/render/base/CTTexture.h"

QIBO_IMPLEMENT_CLASS(CTBitmapIO, CTBitmapImport, .desc = "Bitmap importer")

CTBitmapIO::CTBitmapIO() : CTBitmapImport("BitmapIO") { RegisterClasses(); }

CTBitmapIO::~CTBitmapIO() = default;

void CTBitmapIO::RegisterClasses() {
  ClearExtensions();
  m_importers.clear();
  for (Ref<CTImportExport>& made :
       qibo::CreateImportExportClasses(CTBitmapImport::_CD(), CTBitmapIO::_CD())) {
    auto* importer = static_cast<CTBitmapImport*>(made.Get());
    for (int i = 0; i < importer->GetExtensionCount(); ++i) AddExtension(importer->GetExtensionNo(i).c_str());
    m_importers.emplace_back(importer);
  }
}

bool CTBitmapIO::DoImport(const char* file) {
  const char* ext = qibo::FileExtension(file);
  if (!ext) return false;
  if (!HandlesExtension(ext))
    return WarningMsg((QIBO_String("Unknown file format: ") + file).c_str(), 0) && false;
  for (const Ref<CTBitmapImport>& importer : m_importers) {
    if (!importer->HandlesExtension(ext) || !importer->Import(file) || !importer->GetTexture()) continue;
    SetTexture(importer->GetTexture());
    return true;
  }
  return WarningMsg((QIBO_String("Failed to import: ") + file).c_str(), 0) && false;
}
