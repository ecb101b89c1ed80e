#include "tests/d3d/D3DFixture.h"

#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/render/base/CTRenderPipelineManager.h"
#include "core/render/base/LFB.h"
#include "core/render/base/RenderInfo.h"

QIBO_IMPLEMENT_CLASS(D3DTestTriangle, CTShape)

D3DTestTriangle::D3DTestTriangle() {
  m_mesh.AddVertex(Vector3(-2, -2, 0));
  m_mesh.AddVertex(Vector3(0, 2, 0));
  m_mesh.AddVertex(Vector3(2, -2, 0));
  const float uv[3][2] = {{0, 1}, {0.5f, 0}, {1, 1}};
  for (int i = 0; i < 3; ++i) {
    DVertex& v = m_mesh.GetVertices()[i];
    v.r = v.g = v.b = 1.0f;
    v.u = uv[i][0];
    v.v = uv[i][1];
  }
  m_mesh.AddFace()->SetVertices(0, 1, 2);
  m_mesh.RecalcFaceNormals();
  m_mesh.BuildEdges();
  m_mesh.SetState(qibo::state::kShared | qibo::state::kLocal);
}

void D3DTestTriangle::Render(const RenderInfo_t& info, CTMaterial* material) {
  if (m_target == qibo::state::kDrawnFilled) {
    RenderMesh(m_mesh, info, material);
    return;
  }
  CTRenderPipelineManager* pipeline = info.context ? info.context->pipeline.Get() : nullptr;
  if (!pipeline) return;
  m_mesh.SetMaterial(material);
  pipeline->RenderShape(&m_mesh, info, m_target);
}

Vector3 D3DTestTriangle::GetSupport(const Vector3& d) {
  const Vector3* corners = m_mesh.GetVectors();
  Vector3 best = corners[0];
  for (int i = 1; i < m_mesh.GetVectorCount(); ++i)
    if (corners[i].Dot(d) > best.Dot(d)) best = corners[i];
  return best;
}

void D3DTestTriangle::Flip() {
  m_mesh.GetFace(0)->Flip();
  m_mesh.RecalcFaceNormals();
}

namespace qibo::test {

namespace {

// Mesa's EGL and DRI drivers keep allocations in their own globals; each
// show loads them and each hide unloads them again, after which the leak
// checker finds those blocks unreachable in "<unknown module>" (so no
// suppression can name them). Loaded once more here and never unloaded,
// they stay mapped and their blocks reachable. Missing files are skipped.
void PinGlDrivers() {
  for (const char* name : {"libEGL_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(name, RTLD_NOW | RTLD_NODELETE);
}

}  // namespace

void D3DFixture::SetUp() {
  ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
  PinGlDrivers();
  StartLog();
  auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
  ASSERT_NE(plugIns, nullptr);
  plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_PLUGIN_DIR);
  ASSERT_TRUE(qiBO_LoadPlugIn("RasterDev.plug"));
}

CTRenderTarget* D3DFixture::MakeDevice() {
  Ref<CTRenderTarget> device(qibo::Cast<CTRenderTarget>(qiBO_CreateClassByName("CTDirect3D")));
  if (!device) return nullptr;
  m_owned.emplace_back(device.Get());
  return device.Get();
}

void D3DFixture::Set(CTRenderTarget* device, const char* property, const char* value) {
  DProperty& p = device->GetPropertyByName(property);
  ASSERT_NE(&p, &DProperty::Null()) << property;
  if (p.GetType() != ptUnknownData) {
    p.FromString(value);
    return;
  }
  // Raw values (the GUIDs) as hex pairs.
  auto* bytes = static_cast<uint8_t*>(p.GetPtr());
  const std::string text = value;
  for (int i = 0; i < p.GetSize() && static_cast<size_t>(2 * i + 1) < text.size(); ++i)
    bytes[i] = static_cast<uint8_t>(std::stoi(text.substr(static_cast<size_t>(2 * i), 2), nullptr, 16));
}

std::vector<std::string> D3DFixture::ShowCapturing(CTRenderTarget* device, bool& shown, std::string* last) {
  ::testing::internal::CaptureStdout();
  shown = device->Show();
  std::istringstream out(::testing::internal::GetCapturedStdout());
  std::vector<std::string> errors;
  if (last) last->clear();
  for (std::string line; std::getline(out, line);) {
    if (line.rfind("ERROR!!: ", 0) == 0) errors.push_back(line);
    if (last) *last = line;
  }
  return errors;
}

uint32_t D3DFixture::PixelAt(CTRenderTarget* device, int x, int y) {
  std::unique_ptr<LFB> picture(device->GrabLFB(x, y, 1, 1));
  return picture ? picture->GetPixel(0, 0) : 0;
}

void ExpectColor(uint32_t argb, int r, int g, int b, int tolerance, const char* what) {
  const int got[3] = {static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                      static_cast<int>(argb & 0xFF)};
  const int want[3] = {r, g, b};
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(got[i], want[i], tolerance) << what << " channel " << i << " of 0x" << std::hex << argb;
}

}  // namespace qibo::test
