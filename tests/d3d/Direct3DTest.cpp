#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/CTTextureManager.h"
#include "core/render/base/LFB.h"
#include "tests/d3d/D3DFixture.h"
#include "tests/support/Files.h"

namespace qibo::test {
namespace {

class Direct3DTest : public D3DFixture {};

// The set-up's attempts for a configuration: how many "ERROR!!" lines, with
// which step, and whether one attempt succeeds. A device that shows names
// its renderer in one line after them, which says whether attempts failed
// before it (and that the exact software device is a software renderer).
struct ShowCase {
  const char* name;
  std::vector<std::pair<const char*, const char*>> settings;
  bool shown;
  int width, height;  // when shown
  int errors;         // -1: the hardware attempts may fail on this machine
  const char* error;
};
const ShowCase kShowCases[] = {
    {"defaults", {}, true, 352, 278, -1, "ERROR!!: Unable to create Direct3D7 device"},
    {"window by number",
     {{"ConfigurationMode", "1"}, {"Width", "200"}, {"Height", "150"}},
     true,
     200,
     150,
     -1,
     "ERROR!!: Unable to create Direct3D7 device"},
    {"software exactly",
     {{"ConfigurationMode", "2"},
      {"Width", "64"},
      {"Height", "48"},
      {"D3DDriver", "605C66A47326CF11A31A00AA00B93356"}},
     true,
     64,
     48,
     0,
     ""},
    {"unknown device type",
     {{"ConfigurationMode", "2"}},
     false,
     0,
     0,
     1,
     "ERROR!!: Unable to create Direct3D7 device"},
    {"window refused",
     {{"ConfigurationMode", "1"}, {"Width", "0"}},
     false,
     0,
     0,
     3,
     "ERROR!!: Unable to create render-window"},
    {"full-screen mode refused",
     {{"FullScreen", "1"}},
     false,
     0,
     0,
     9,
     "ERROR!!: Unable to set display mode"},
    {"missing display",
     {{"FullScreen", "1"}, {"ConfigurationMode", "1"}, {"DisplayNo", "7"}},
     false,
     0,
     0,
     0,
     ""},
};

TEST_F(Direct3DTest, Show_TriesTheConfiguredAttemptsAndReportsEachFailure) {
  for (const ShowCase& c : kShowCases) {
    SCOPED_TRACE(c.name);
    CTRenderTarget* device = MakeDevice();
    ASSERT_NE(device, nullptr);
    for (const auto& [property, value] : c.settings) Set(device, property, value);
    bool shown = false;
    std::string last;
    const std::vector<std::string> errors = ShowCapturing(device, shown, &last);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(last.rfind("Renderer: ", 0) == 0, c.shown) << last;
    if (c.shown) {
      EXPECT_EQ(last.find(", after the attempts above failed") != std::string::npos, !errors.empty()) << last;
      if (c.errors == 0) {
        EXPECT_NE(last.find("(a software renderer)"), std::string::npos) << last;
      }
    }
    EXPECT_EQ(device->IsVisible(), c.shown);
    if (c.errors >= 0) {
      EXPECT_EQ(static_cast<int>(errors.size()), c.errors);
    }
    for (const std::string& line : errors) EXPECT_EQ(line, c.error);
    int width = 0, height = 0;
    EXPECT_EQ(device->GetResolution(width, height), c.shown);
    if (c.shown) {
      EXPECT_EQ(width, c.width);
      EXPECT_EQ(height, c.height);
      EXPECT_TRUE(device->Hide());
      EXPECT_FALSE(device->GetResolution(width, height));
    }
  }
}

// ShowLFB puts a picture into the back buffer and GrabLFB reads it back;
// rectangles outside the output give nothing.
TEST_F(Direct3DTest, ShowAndGrab_RoundTripPixelsAndRefuseOutsideRectangles) {
  CTRenderTarget* device = MakeDevice();
  Set(device, "UseWBuffer", "1");
  bool shown = false;
  ShowCapturing(device, shown);
  ASSERT_TRUE(shown);
  EXPECT_FALSE(device->GetPropertyByName("UseWBuffer"));  // no W buffer here: cleared, the Z buffer serves
  LFB picture(3, 2);
  const uint32_t colors[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF123456, 0xFFFFFFFF, 0xFF000000};
  for (int i = 0; i < 6; ++i) picture.SetPixel(i % 3, i / 3, colors[i]);
  EXPECT_TRUE(device->ShowLFB(&picture, 10, 20));
  std::unique_ptr<LFB> back(device->GrabLFB(10, 20, 3, 2));
  ASSERT_TRUE(back);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(back->GetPixel(i % 3, i / 3), colors[i]) << i;
  std::unique_ptr<LFB> whole(device->GrabLFBFullScreen());
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->GetWidth(), 352);
  EXPECT_EQ(whole->GetPixel(11, 21), colors[4]);
  for (auto rect : {std::vector<int>{-1, 0, 4, 4}, {350, 0, 4, 4}, {0, 0, 0, 5}, {0, 270, 4, 9}})
    EXPECT_EQ(device->GrabLFB(rect[0], rect[1], rect[2], rect[3]), nullptr);
  EXPECT_FALSE(device->ShowLFB(nullptr, 0, 0));

  // Preloading makes the device texture of a texture with pixels.
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  EXPECT_FALSE(device->Preload(texture.Get()));
  texture->SetData(std::make_unique<LFB>(8, 8));
  EXPECT_TRUE(device->Preload(texture.Get()));
  EXPECT_FALSE(device->Preload(nullptr));
}

// A device started for a display number takes that display, or refuses a
// number beyond the displays there are.
TEST_F(Direct3DTest, Start_TakesTheDisplayOfItsDeviceNumber) {
  CTRenderTarget* device = MakeDevice();
  device->SetDeviceID(7);
  EXPECT_FALSE(device->Start());
  EXPECT_EQ(CountLogged("Invalid display number"), 1);
  device->SetDeviceID(0);
  Set(device, "DisplayNo", "3");
  EXPECT_TRUE(device->Start());
  EXPECT_EQ(device->GetPropertyByName("DisplayNo").ToInt(), 0);
  EXPECT_TRUE(device->Stop());
}

// Window events reach the device through the message pump: Escape and
// closing the window hide it; F12 grabs the picture and asks for the Targa
// exporter by name, which is not there yet.
TEST_F(Direct3DTest, MessagePump_EscapeAndCloseHideTheDeviceAndF12AsksForTheExporter) {
  enum class Action { kEscape, kClose, kF12 };
  for (Action action : {Action::kEscape, Action::kClose, Action::kF12}) {
    CTRenderTarget* device = MakeDevice();
    bool shown = false;
    ShowCapturing(device, shown);
    ASSERT_TRUE(shown);
    SDL_Event event{};
    if (action == Action::kClose) {
      event.type = SDL_WINDOWEVENT;
      event.window.event = SDL_WINDOWEVENT_CLOSE;
      event.window.windowID = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
    } else {
      event.type = SDL_KEYDOWN;
      event.key.keysym.sym = action == Action::kEscape ? SDLK_ESCAPE : SDLK_F12;
    }
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    const int exporterErrors = CountLogged("CTTargaExport");
    qiBO_DoFrame();
    EXPECT_EQ(device->IsVisible(), action == Action::kF12);
    EXPECT_EQ(CountLogged("CTTargaExport") - exporterErrors, action == Action::kF12 ? 1 : 0);
    if (action == Action::kF12) {
      // The grab went into the snapshot texture before the exporter was asked for.
      auto* textures = qibo::GetService<CTTextureManager>();
      CTTexture* snapshot = textures ? textures->FindTexture("Snapshot texture") : nullptr;
      ASSERT_TRUE(snapshot && snapshot->GetData());
      EXPECT_EQ(snapshot->GetData()->GetWidth(), 352);
      EXPECT_EQ(snapshot->GetData()->GetHeight(), 278);
    }
    device->Hide();
  }
}

// The statistics line is drawn over the picture at Present, in magenta.
TEST_F(Direct3DTest, Present_DrawsTheStatisticsLineOnlyWhenAsked) {
  for (bool statistics : {false, true}) {
    CTRenderTarget* device = MakeDevice();
    Set(device, "ShowStatistics", statistics ? "1" : "0");
    bool shown = false;
    ShowCapturing(device, shown);
    ASSERT_TRUE(shown);
    device->Present();
    std::unique_ptr<LFB> line(device->GrabLFB(0, 0, 120, 9));
    ASSERT_TRUE(line);
    int magenta = 0;
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 120; ++x) magenta += line->GetPixel(x, y) == 0xFFFF50FF ? 1 : 0;
    EXPECT_EQ(magenta > 20, statistics);
    device->Hide();
  }
}

}  // namespace
}  // namespace qibo::test

namespace qibo::test {
namespace {

// With the picture plug-in loaded, F12 saves real Targa files, numbered from
// the first free name on.
TEST_F(Direct3DTest, Snapshot_SavesNumberedTargaFiles) {
  auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
  ASSERT_NE(plugIns, nullptr);
  plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_IO_PLUGIN_DIR);
  ASSERT_TRUE(qiBO_LoadPlugIn("qiboIO.plug"));
  CTRenderTarget* device = MakeDevice();
  bool shown = false;
  ShowCapturing(device, shown);
  ASSERT_TRUE(shown);
  for (int i = 0; i < 2; ++i) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = SDLK_F12;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    qiBO_DoFrame();
  }
  for (const char* name : {"snap_001.tga", "snap_002.tga"}) {
    const std::string bytes = GetFile(name);
    // An 18-byte header, then 352 x 278 pixels.
    EXPECT_GE(bytes.size(), 18u + 352u * 278u * 3u) << name;
  }
  device->Hide();
}

}  // namespace
}  // namespace qibo::test
