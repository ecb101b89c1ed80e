#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <imgui.h>

#include <algorithm>
#include <memory>
#include <string>

#include "core/kernel/CTPropertyPageManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/DPropertyPage.h"
#include "core/kernel/Kernel.h"
#include "core/render/base/LFB.h"
#include "plugins/d3d/DPageWindow.h"
#include "plugins/d3d/DSettingsModel.h"
#include "plugins/d3d/DSettingsView.h"
#include "tests/d3d/D3DFixture.h"

namespace qibo::test {
namespace {

const char* const kTexts[] = {
    "Display No.", "DDraw Adapter", "D3D Driver", "Display mode", "Fullscreen",
    "Windowed",    "Resolution",    "Width",      "Height",       "Configuration mode",
    "Auto",        "Simple",        "Advanced",   "Shoot",        "OK",
    "Cancel",      "Apply"};

DDisplaySet OneDisplay() {
  DDisplaySet set;
  set.displays.push_back({"Screen", {{1280, 1024, 32}, {1024, 768, 32}}});
  return set;
}

// The brightest grey level (the largest channel) inside a control's box.
int Brightest(const LFB& picture, const DSettingsView::Placed& placed) {
  int brightest = 0;
  for (int y = static_cast<int>(placed.top); y < static_cast<int>(placed.bottom); ++y)
    for (int x = static_cast<int>(placed.left); x < static_cast<int>(placed.right); ++x) {
      const uint32_t p = picture.GetPixel(x, y);
      brightest = std::max({brightest, static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                            static_cast<int>(p & 0xFF)});
    }
  return brightest;
}

// The real page drawn off screen (SDL's offscreen driver and Mesa) into a
// window of its own, and read back.
class SettingsPageTest : public D3DFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(D3DFixture::SetUp());
    std::string error;
    ASSERT_TRUE(m_window.Open("Direct3D", DSettingsView::kWidth, DSettingsView::kHeight, error)) << error;
  }
  void TearDown() override {
    m_window.Close();
    D3DFixture::TearDown();
  }

  // One frame with the mouse at (x, y), its left button as given (x < 0:
  // no mouse); what the page asked for.
  DSettingsView::Action Frame(bool canShoot = false, float x = -1.0f, float y = -1.0f, bool down = false) {
    m_window.PumpEvents(0);
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = x < 0 ? ImVec2(-FLT_MAX, -FLT_MAX) : ImVec2(x, y);
    io.MouseDown[0] = down;
    ImGui::NewFrame();
    const DSettingsView::Action action = m_view.Draw(m_model, canShoot);
    m_window.Render();
    return action;
  }
  // Moves onto the control with the text, presses and releases.
  DSettingsView::Action Click(const char* text, bool canShoot = false) {
    const DSettingsView::Placed* placed = m_view.Find(text);
    EXPECT_NE(placed, nullptr) << text;
    if (!placed) return DSettingsView::Action::kNone;
    const float x = (placed->left + placed->right) / 2, y = (placed->top + placed->bottom) / 2;
    DSettingsView::Action action = Frame(canShoot, x, y, false);
    if (action == DSettingsView::Action::kNone) action = Frame(canShoot, x, y, true);
    if (action == DSettingsView::Action::kNone) action = Frame(canShoot, x, y, false);
    return action;
  }

  DPageWindow m_window;
  DSettingsModel m_model{OneDisplay()};
  DSettingsView m_view;
};

}  // namespace

// Every control is drawn with its text, inside the page and clear of the
// others; the labels of disabled controls are dimmer than the others.
TEST_F(SettingsPageTest, OneFrameShowsEveryLabelReadBackFromTheScreen) {
  m_model.SetConfigurationMode(DSettingsModel::kSimple);  // display list on, adapter and driver off
  Frame();
  Frame();  // the second frame, once the font is on the GPU and the layout settled
  std::unique_ptr<LFB> picture = m_window.ReadPixels();
  ASSERT_TRUE(picture);
  ASSERT_EQ(picture->GetWidth(), DSettingsView::kWidth);
  ASSERT_EQ(picture->GetHeight(), DSettingsView::kHeight);
  ASSERT_EQ(m_view.GetPlaced().size(), std::size(kTexts));
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    const DSettingsView::Placed* placed = m_view.Find(text);
    ASSERT_NE(placed, nullptr);
    EXPECT_GE(placed->left, 0.0f);
    EXPECT_GE(placed->top, 0.0f);
    EXPECT_LE(placed->right, static_cast<float>(DSettingsView::kWidth));
    EXPECT_LE(placed->bottom, static_cast<float>(DSettingsView::kHeight));
    for (const DSettingsView::Placed& other : m_view.GetPlaced()) {
      const bool overlap = &other != placed && other.left < placed->right && placed->left < other.right &&
                           other.top < placed->bottom && placed->top < other.bottom;
      EXPECT_FALSE(overlap) << "overlaps " << other.text;
    }
    const bool dim = std::string(text) == "DDraw Adapter" || std::string(text) == "D3D Driver" ||
                     std::string(text) == "Resolution" || std::string(text) == "Shoot";
    const int brightest = Brightest(*picture, *placed);
    if (dim) {
      EXPECT_GT(brightest, 90);
      EXPECT_LT(brightest, 200);
    } else {
      EXPECT_GT(brightest, 220);
    }
  }
  // Between the lists and the groups the page is bare.
  DSettingsView::Placed gap{"", 20, 92, 100, 98};
  EXPECT_LT(Brightest(*picture, gap), 60);
}

// Clicks reach the model; disabled controls take none.
TEST_F(SettingsPageTest, ClicksChooseModesAndTheButtonsAnswer) {
  Frame();
  m_model.SetFullScreen(true);
  EXPECT_EQ(Click("Windowed"), DSettingsView::Action::kNone);
  EXPECT_FALSE(m_model.GetSettings().fullScreen);
  EXPECT_EQ(Click("Fullscreen"), DSettingsView::Action::kNone);
  EXPECT_TRUE(m_model.GetSettings().fullScreen);
  EXPECT_EQ(Click("Advanced"), DSettingsView::Action::kNone);
  EXPECT_EQ(m_model.GetSettings().configurationMode, DSettingsModel::kAdvanced);
  EXPECT_EQ(Click("Simple"), DSettingsView::Action::kNone);
  EXPECT_EQ(m_model.GetSettings().configurationMode, DSettingsModel::kSimple);
  const struct {
    const char* text;
    bool canShoot;
    DSettingsView::Action action;
  } buttons[] = {{"Shoot", false, DSettingsView::Action::kNone},
                 {"Shoot", true, DSettingsView::Action::kShoot},
                 {"OK", false, DSettingsView::Action::kOk},
                 {"Cancel", false, DSettingsView::Action::kCancel},
                 {"Apply", false, DSettingsView::Action::kApply}};
  for (const auto& b : buttons) {
    SCOPED_TRACE(b.text);
    Frame(b.canShoot);
    EXPECT_EQ(Click(b.text, b.canShoot), b.action);
  }
}

// The plug-in's four exports keep their contracts; the host finds the page,
// which is not shown without a display a user could see.
TEST_F(SettingsPageTest, ExportsOfferTheDirect3DPageWhichNeedsADisplay) {
  void* plugIn = dlopen(QIBO_PLUGIN_DIR "RasterDev.plug", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(plugIn, nullptr);
  auto init = reinterpret_cast<InitPropertyPageLibFn>(dlsym(plugIn, "qiBO_InitPropertyPageLib"));
  auto classId = reinterpret_cast<GetPropertyPageClassIDFn>(dlsym(plugIn, "qiBO_GetPropertyPageClassID"));
  auto create = reinterpret_cast<CreatePropertyPageFn>(dlsym(plugIn, "qiBO_CreatePropertyPage"));
  auto destroy = reinterpret_cast<DeletePropertyPageFn>(dlsym(plugIn, "qiBO_DeletePropertyPage"));
  ASSERT_TRUE(init && classId && create && destroy);
  EXPECT_EQ(init(), 1);
  ClassDesc* direct3d = qiBO_FindClassDescByName("CTDirect3D");
  ASSERT_NE(direct3d, nullptr);
  EXPECT_EQ(classId(0), direct3d->ID());
  EXPECT_EQ(classId(1), 0u);
  EXPECT_EQ(create(1), nullptr);
  destroy(nullptr);
  DPropertyPage* page = create(0);
  ASSERT_NE(page, nullptr);
  EXPECT_STREQ(page->GetCaption(), "Direct3D");
  EXPECT_EQ(page->DoModal(nullptr), DPropertyPage::Result::kNotShown);
  destroy(page);
  EXPECT_FALSE(qiBO_ShowPropertyPage(qibo::GetService<CTServiceManager>()));
  EXPECT_EQ(CountLogged("needs a display"), 2);
  dlclose(plugIn);
}

}  // namespace qibo::test
