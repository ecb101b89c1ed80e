#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/LFB.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "demo/scenes/CTFader.h"
#include "tests/demo/scenes/DemoSceneFixture.h"

namespace qibo::test::scenes {
namespace {

// The render device's plug-in, built beside the test programs.
std::string PlugInFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string() + "/";
}

// The veil drawn by the real render device (OpenGL, offscreen): a camera
// looks at nothing, so the view shows the clear colour wherever the veil
// does not cover it.
class FaderRenderTest : public DemoSceneFixture {
 protected:
  void SetUp() override {
    DemoSceneFixture::SetUp();
    if (!std::filesystem::exists(PlugInFolder() + "RasterDev.plug"))
      GTEST_SKIP() << "RasterDev.plug not built";
    // Mesa's drivers stay loaded, so that the leak checker can reach their
    // blocks after the device lets go of them (as the device's own tests do).
    for (const char* name : {"libEGL_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
      dlopen(name, RTLD_NOW | RTLD_NODELETE);
    auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
    ASSERT_NE(plugIns, nullptr);
    plugIns->GetPropertyByName("PlugInPath").FromString(PlugInFolder().c_str());
    ASSERT_TRUE(qiBO_LoadPlugIn("RasterDev.plug"));
    Engine()->GetDefaultEnvironment()->SetFogColor(kClear);
    auto* world = Make<CTGroup>();
    auto* camera = Make<CTCamera>();
    camera->SetParent(world);
    m_spectator = Make<CTBasicSpectator>();
    m_spectator->SetCamera(camera);
    m_spectator->Enable();
    m_spectator->RegisterWithService();
  }
  void TearDown() override {
    if (m_spectator) m_spectator->UnregisterWithService();
    DemoSceneFixture::TearDown();
  }

  static constexpr uint32_t kClear = 0x203040;
  CTBasicSpectator* m_spectator = nullptr;
};

TEST_F(FaderRenderTest, Veil_CoversTheWholeViewWithItsColourAtItsLevel) {
  CTFader* fader = Make<CTFader>();
  fader->Activate();
  struct Case {
    DColor color;
    float level;
    uint32_t expected;  // 0xRRGGBB
  };
  const Case cases[] = {
      {{1, 1, 1, 1}, 1.0f, 0xFFFFFF},
      {{1, 0, 0, 1}, 1.0f, 0xFF0000},
      {{1, 1, 1, 1}, 0.5f, 0x8F979F},  // half way from the clear colour to white
      {{1, 1, 1, 1}, 0.0f, kClear},    // nothing drawn
  };
  for (const Case& c : cases) {
    fader->SetColor(c.color);
    fader->SetLevel(c.level);
    for (int i = 0; i < 3; ++i) qiBO_DoFrame();
    CTRenderTarget* device = m_spectator->GetVideoDevice();
    ASSERT_NE(device, nullptr);
    std::unique_ptr<LFB> view(device->GrabLFBFullScreen());
    ASSERT_TRUE(view);
    const int w = view->GetWidth(), h = view->GetHeight();
    // The corners and edges, but the top right, where the device draws its logo over everything.
    const int points[][2] = {{w / 2, h / 2}, {0, 0}, {w - 1, h / 2}, {0, h - 1}, {w - 1, h - 1}};
    for (const auto& p : points) {
      const uint32_t pixel = view->GetPixel(p[0], p[1]);
      for (int shift : {16, 8, 0})
        EXPECT_NEAR(static_cast<int>((pixel >> shift) & 0xFF), static_cast<int>((c.expected >> shift) & 0xFF),
                    2)
            << "level " << c.level << " at " << p[0] << "," << p[1] << " pixel 0x" << std::hex << pixel;
    }
  }
}

}  // namespace
}  // namespace qibo::test::scenes
