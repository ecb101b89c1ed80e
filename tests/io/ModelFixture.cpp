#include "tests/io/ModelFixture.h"

#include <array>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/io/CTSceneIO.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/CTLogged.h"

namespace qibo::test {

void ModelFixture::SetUp() {
  ASSERT_TRUE(m_dir.Enter());
  qiBO_GetErrorsCount();  // the log runs from the start
  auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
  ASSERT_NE(plugIns, nullptr);
  plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_IO_PLUGIN_DIR);
  ASSERT_TRUE(qiBO_LoadPlugIn("qiboIO.plug"));
}

void ModelFixture::TearDown() {
  qiBO_Deinit();
  m_dir.Leave();
}

Ref<CTGroup> ModelFixture::Import(const std::string& file, uint32_t mask, double scaling) {
  Ref<CTGroup> root = qibo::Create<CTGroup>();
  Ref<CTSceneIO> io = qibo::Create<CTSceneIO>();
  io->SetRoot(root.Get());
  io->SetImportMask(mask);
  io->SetScaling(scaling);
  if (!io->Import(file.c_str())) return Ref<CTGroup>();
  return root;
}

int ModelFixture::CountLogged(const std::string& text) {
  int count = 0;
  for (int i = 0; i < qiBO_GetErrorsCount(); ++i)
    if (std::string(qiBO_GetErrorNo(i)->message).find(text) != std::string::npos) ++count;
  return count;
}

std::vector<std::string> ModelFixture::Errors() {
  std::vector<std::string> errors;
  for (int i = 0; i < qiBO_GetErrorsCount(); ++i)
    if ((qiBO_GetErrorNo(i)->code & kCodeSeverityMask) >= kCodeError)
      errors.push_back(qiBO_GetErrorNo(i)->message);
  return errors;
}

std::vector<std::array<Vector3, 3>> ModelFixture::WorldFaces(CTDrawable& drawable) {
  std::vector<std::array<Vector3, 3>> faces;
  DRenderShape* mesh = drawable.GetShape() ? drawable.GetShape()->GetRenderShape() : nullptr;
  if (!mesh) return faces;
  mesh->UpdateBases();
  for (int f = 0; f < mesh->GetFaceCount(); ++f) {
    const DFace& face = *mesh->GetFace(f);
    std::array<Vector3, 3> corners;
    for (int i = 0; i < 3; ++i) corners[i] = drawable.TransformToWorld(face.GetVector(mesh->GetBases(), i));
    faces.push_back(corners);
  }
  return faces;
}

void ExpectNear(const Vector3& actual, const Vector3& expected, const char* what) {
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NEAR(actual[axis], expected[axis], 1e-4) << what << " axis " << axis;
}

}  // namespace qibo::test
