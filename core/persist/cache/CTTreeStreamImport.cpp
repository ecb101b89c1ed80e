#include "core/persist/cache/CTTreeStreamImport.h"

#include "core/object/QIBO_String.h"
#include "core/persist/FileStream.h"
#include "core/scene/CTGroup.h"

QIBO_IMPLEMENT_CLASS(CTTreeStreamImport, CT3DImport, .desc = "Tree-stream loader", .product = "qiBO IO")

// "qbo" is the extension the engine's tools give saved scenes.
CTTreeStreamImport::CTTreeStreamImport() : CT3DImport("Tree-Stream Importer") {
  for (const char* ext : {"tree.stream", "tre", "qbo"}) AddExtension(ext);
}

bool CTTreeStreamImport::DoImport(const char* file) {
  CTGroup* root = GetRoot();
  if (!root) return ErrorMsg("No group to import into");
  FileStream stream;
  if (!stream.Read(file)) return ErrorMsg((QIBO_String("File not found: ") + file).c_str());
  const double scaling = GetScaling();
  for (int i = 0; i < stream.GetObjectCount(); ++i) {
    auto* entity = qibo::Cast<CTEntity>(stream.GetObjectNo(i));
    if (!entity || !entity->IsRoot() || entity == root) continue;
    auto* group = qibo::Cast<CTGroup>(entity);
    if (group && root->FindParent(group)) continue;  // never below itself
    entity->SetParent(root);
    if (scaling != 1.0) entity->ScaleBy(scaling);
    AddImportedObject(entity);
  }
  return true;
}
