#include "tests/render/RenderFixture.h"

#include "core/kernel/ClassApi.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"

QIBO_IMPLEMENT_CLASS(TestTarget, CTRenderTarget, .desc = "Test target")
QIBO_IMPLEMENT_CLASS(TestStage, CTPipelineStage, .isAbstract = true)
QIBO_IMPLEMENT_CLASS(TestLightStage, TestStage, .desc = "Test light")
QIBO_IMPLEMENT_CLASS(TestDrawCamera, TestStage, .desc = "Test draw camera")
QIBO_IMPLEMENT_CLASS(TestDrawLocalLight, TestStage, .desc = "Test draw local")
QIBO_IMPLEMENT_CLASS(TestDrawLocalLight2, TestStage, .desc = "Test draw local 2")
QIBO_IMPLEMENT_CLASS(TestTemporaryClone, TestStage, .desc = "Test temporary clone")
QIBO_IMPLEMENT_CLASS(TestMeshShape, CTShape)

bool TestTarget::ShowLFB(LFB* lfb, int x, int y) {
  s_journal.push_back("ShowLFB " + std::to_string(lfb->GetWidth()) + "x" + std::to_string(lfb->GetHeight()) +
                      " at " + std::to_string(x) + "," + std::to_string(y));
  return true;
}

bool TestTarget::Preload(CTTexture* texture) {
  return Note(std::string("Preload ") + texture->GetName(), IsVisible());
}

bool TestStage::DoProcess(DRenderPacket* packet) {
  const std::string name = GetCD()->GetName().c_str();
  if (name == s_failing) return false;
  if (GetSetMask() & qibo::state::kDrawnFilled) {
    const DRenderShape& shape = *packet->shape;
    s_draws.push_back(
        {name, &shape, shape.GetState(), packet->steps,
         std::vector<Vector3>(shape.GetVectors(), shape.GetVectors() + shape.GetVectorCount())});
  }
  return true;
}

bool TestTemporaryClone::DoProcess(DRenderPacket* packet) {
  if (!TestStage::DoProcess(packet)) return false;
  auto* clone = new DRenderShape;
  clone->CopyFrom(*packet->shape);
  clone->SetBaseShape(packet->shape, 0);
  if (packet->world) clone->Transform(*packet->world);
  packet->shape = clone;
  return true;
}

TestMeshShape::TestMeshShape() {
  m_mesh.AddVertex(Vector3(0, 0, 0));
  m_mesh.AddVertex(Vector3(1, 0, 0));
  m_mesh.AddVertex(Vector3(0, 1, 0));
  m_mesh.AddFace()->SetVertices(0, 1, 2);
  m_mesh.RecalcFaceNormals();
  m_mesh.SetState(qibo::state::kShared | qibo::state::kLocal);
}

Vector3 TestMeshShape::GetSupport(const Vector3& d) {
  const Vector3* corners = m_mesh.GetVectors();
  Vector3 best = corners[0];
  for (int i = 1; i < m_mesh.GetVectorCount(); ++i)
    if (corners[i].Dot(d) > best.Dot(d)) best = corners[i];
  return best;
}

namespace qibo::test {

namespace {

ClassDesc* const kTestClasses[] = {
    TestTarget::_CD(),          TestLightStage::_CD(),     TestDrawCamera::_CD(), TestDrawLocalLight::_CD(),
    TestDrawLocalLight2::_CD(), TestTemporaryClone::_CD(), TestMeshShape::_CD()};

}  // namespace

void RenderFixture::SetUp() {
  ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
  StartLog();
  for (ClassDesc* cd : kTestClasses) qiBO_RegisterClass(cd);
  TestTarget::s_journal.clear();
  TestTarget::s_refuseShow = false;
  TestTarget::s_refuseScene = false;
  TestStage::s_enabled.clear();
  TestStage::s_failing.clear();
  TestStage::s_draws.clear();
}

void RenderFixture::TearDown() {
  m_owned.clear();
  for (ClassDesc* cd : kTestClasses) qiBO_UnregisterClass(cd);
  EngineFixture::TearDown();
}

}  // namespace qibo::test
