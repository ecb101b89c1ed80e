#include "core/io/CTSceneIO.h"

QIBO_IMPLEMENT_CLASS(CTSceneIO, CT3DImport, .desc = "Scene importer")

CTSceneIO::CTSceneIO() : CT3DImport("SceneIO") { RegisterClasses(); }

CTSceneIO::~CTSceneIO() = default;

void CTSceneIO::RegisterClasses() {
  ClearExtensions();
  m_importers.clear();
  for (Ref<CTImportExport>& made : qibo::CreateImportExportClasses(CT3DImport::_CD(), CTSceneIO::_CD())) {
    auto* importer = static_cast<CT3DImport*>(made.Get());
    for (int i = 0; i < importer->GetExtensionCount(); ++i) AddExtension(importer->GetExtensionNo(i).c_str());
    m_importers.emplace_back(importer);
  }
}

bool CTSceneIO::DoImport(const char* file) {
  const char* ext = qibo::FileExtension(file);
  if (!ext) return false;
  if (!HandlesExtension(ext))
    return WarningMsg((QIBO_String("Unknown file format: ") + file).c_str(), 0) && false;
  for (const Ref<CT3DImport>& importer : m_importers) {
    if (!importer->HandlesExtension(ext)) continue;
    importer->SetImportMask(GetImportMask());
    importer->SetScaling(GetScaling());
    importer->SetRoot(GetRoot());
    if (!importer->Import(file)) continue;
    for (int i = 0; i < importer->GetImportedObjectsCount(); ++i)
      AddImportedObject(importer->GetImportedObjectNo(i));
    return true;
  }
  return WarningMsg((QIBO_String("Failed to import: ") + file).c_str(), 0) && false;
}
