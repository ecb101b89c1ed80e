#include "tools/qibo/ModelScene.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/io/CTBitmapIO.h"
#include "core/io/CTSceneIO.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Logging.h"
#include "core/persist/SmartFile.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "core/scene/CTLight.h"
#include "tools/qibo/Commands.h"

namespace qibo::tool {

namespace {

// The importer class a file's first bytes call for; null when they look
// like no model.
const char* ImporterByContent(const char* file) {
  SmartFile in;
  if (!in.Open(file, false)) return nullptr;
  char head[4096] = {};
  const size_t n = in.Read(head, 1, sizeof head - 1);
  if (n >= 6) {
    const unsigned id = static_cast<unsigned char>(head[0]) | static_cast<unsigned char>(head[1]) << 8;
    if (id == 0x4D4D || id == 0x3DAA || id == 0xC23D) return "CT3DSImport";
    if (memcmp(head, "qibo", 4) == 0) return "CTTreeStreamImport";
  }
  for (size_t i = 0; i < n; ++i)
    if (head[i] == '\0') return nullptr;
  return strcasestr(head, "Named Object") ? "CTASCImport" : nullptr;
}

bool HandledBy(const ClassDesc* group, const ClassDesc* exclude, const char* ext) {
  if (!ext) return false;
  for (Ref<CTImportExport>& io : qibo::CreateImportExportClasses(group, exclude))
    if (io->HandlesExtension(ext)) return true;
  return false;
}

}  // namespace

bool IsModelFile(const char* file) {
  const char* ext = qibo::FileExtension(file);
  if (HandledBy(CT3DImport::_CD(), CTSceneIO::_CD(), ext)) return true;
  if (HandledBy(CTBitmapImport::_CD(), CTBitmapIO::_CD(), ext)) return false;
  return ImporterByContent(file) != nullptr;
}

bool ImportModel(const char* verb, const char* file, CTGroup* root, std::string* format) {
  const int logged = qiBO_GetErrorsCount();
  const char* ext = qibo::FileExtension(file);
  Ref<CT3DImport> importer;
  if (HandledBy(CT3DImport::_CD(), CTSceneIO::_CD(), ext)) {
    // The first importer of the extension that reads the file.
    for (Ref<CTImportExport>& io : qibo::CreateImportExportClasses(CT3DImport::_CD(), CTSceneIO::_CD())) {
      auto* candidate = static_cast<CT3DImport*>(io.Get());
      if (!candidate->HandlesExtension(ext)) continue;
      candidate->SetRoot(root);
      if (candidate->Import(file)) {
        importer = Ref<CT3DImport>(candidate);
        break;
      }
    }
  } else if (const char* byContent = ImporterByContent(file)) {
    Ref<CT3DImport> candidate = qibo::CreateAs<CT3DImport>(qiBO_FindClassDescByName(byContent));
    if (candidate) {
      candidate->SetRoot(root);
      if (candidate->Import(file)) importer = candidate;
    }
  } else {
    fprintf(stderr, "qibo %s: %s: not a model this tool can read\n", verb, Printable(file).c_str());
    PrintLogSince(logged);
    return false;
  }
  if (!importer) {
    fprintf(stderr, "qibo %s: %s: the model could not be read\n", verb, Printable(file).c_str());
    PrintLogSince(logged);
    return false;
  }
  importer->SetRoot(nullptr);
  if (format) *format = importer->GetCD()->GetDesc().c_str();
  return true;
}

DSceneSummary Summarize(CTGroup* root) {
  DSceneSummary summary;
  std::set<CTMaterial*> materials;
  std::vector<CTEntity*> pending;
  for (int i = root ? root->NumChildren() - 1 : -1; i >= 0; --i) pending.push_back(root->GetChild(i));
  while (!pending.empty()) {
    CTEntity* entity = pending.back();
    pending.pop_back();
    if (auto* group = qibo::Cast<CTGroup>(entity)) {
      ++summary.groups;
      for (int i = group->NumChildren() - 1; i >= 0; --i) pending.push_back(group->GetChild(i));
      continue;
    }
    summary.lights += qibo::Cast<CTLight>(entity) != nullptr;
    summary.cameras += qibo::Cast<CTCamera>(entity) != nullptr;
    auto* drawable = qibo::Cast<CTDrawable>(entity);
    if (!drawable) continue;
    ++summary.drawables;
    if (drawable->GetMaterial()) materials.insert(drawable->GetMaterial());
    CTShape* shape = drawable->GetShape();
    DRenderShape* mesh = shape ? shape->GetRenderShape() : nullptr;
    if (!mesh) continue;
    if (shape->GetMaterial()) materials.insert(shape->GetMaterial());
    summary.faces += mesh->GetFaceCount();
    summary.vertices += mesh->GetVectorCount();
    for (int f = 0; f < mesh->GetFaceCount(); ++f)
      if (CTMaterial* material = mesh->GetFace(f)->GetMaterial()) materials.insert(material);
    drawable->UpdateWorldSpace();
    const DTransform& world = drawable->GetWorldTransform();
    for (int v = 0; v < mesh->GetVectorCount(); ++v) {
      const Vector3 p = world.TransformPoint(mesh->GetVectors()[v]);
      if (!summary.hasBounds) summary.low = summary.high = p;
      summary.hasBounds = true;
      for (int axis = 0; axis < 3; ++axis) {
        summary.low[axis] = std::min(summary.low[axis], p[axis]);
        summary.high[axis] = std::max(summary.high[axis], p[axis]);
      }
    }
  }
  for (CTMaterial* material : materials) summary.materials.emplace_back(material->GetName());
  std::sort(summary.materials.begin(), summary.materials.end());
  return summary;
}

}  // namespace qibo::tool
