#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/persist/IniFile.h"
#include "plugins/d3d/D3DGuids.h"
#include "plugins/d3d/DSettingsModel.h"
#include "tests/d3d/D3DFixture.h"

namespace qibo::test {
namespace {

using Strings = std::vector<std::string>;
using Mode = DDisplaySet::Mode;

// Two displays as a system might list them: the first with one mode at two
// refresh rates (a repeat) and two depths of one size.
DDisplaySet FakeDisplays() {
  DDisplaySet set;
  set.displays.push_back({"Primary",
                          {{1920, 1080, 32},
                           {1920, 1080, 32},
                           {1920, 1080, 24},
                           {1280, 720, 32},
                           {800, 600, 16},
                           {800, 600, 32}}});
  set.displays.push_back({"Second", {{1024, 768, 32}, {640, 480, 32}}});
  return set;
}

d3d::Guid GuidOf(CTRenderTarget* device, const char* property) {
  d3d::Guid guid;
  std::memcpy(guid.bytes, device->GetPropertyByName(property).GetPtr(), 16);
  return guid;
}

// The page's model on the device of the render plug-in: its settings go in
// and out through the device's properties and the settings file.
class SettingsModelTest : public D3DFixture {};

}  // namespace

TEST_F(SettingsModelTest, ListsComeFromTheDisplaysWithoutRepeats) {
  DSettingsModel model(FakeDisplays());
  EXPECT_EQ(model.GetDisplayItems(), (Strings{"0 (Primary)", "1 (Second)"}));
  EXPECT_EQ(model.GetAdapterItems(), (Strings{"Primary", "Second"}));
  EXPECT_EQ(model.GetDriverItems().size(), 3u);
  const struct {
    const char* name;
    int mode;
    int display;  // chosen by number (Simple) or by adapter (Advanced)
    Strings resolutions;
  } cases[] = {
      {"simple, first display", DSettingsModel::kSimple, 0, {"1920 x 1080", "1280 x 720", "800 x 600"}},
      {"advanced, first adapter",
       DSettingsModel::kAdvanced,
       0,
       {"1920 x 1080 x 32", "1920 x 1080 x 24", "1280 x 720 x 32", "800 x 600 x 16", "800 x 600 x 32"}},
      {"simple, second display", DSettingsModel::kSimple, 1, {"1024 x 768", "640 x 480"}},
      {"advanced, second adapter", DSettingsModel::kAdvanced, 1, {"1024 x 768 x 32", "640 x 480 x 32"}},
      {"auto", DSettingsModel::kAuto, 0, {"1920 x 1080", "1280 x 720", "800 x 600"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    model.SetConfigurationMode(c.mode);
    model.SelectDisplay(c.display);
    model.SelectAdapter(c.display);
    EXPECT_EQ(model.GetResolutionItems(), c.resolutions);
    ASSERT_GE(model.GetSelectedResolution(), 0);
    EXPECT_EQ(
        model.GetResolutionItems()[static_cast<size_t>(model.GetSelectedResolution())].rfind(
            std::to_string(model.GetSettings().xRes) + " x " + std::to_string(model.GetSettings().yRes), 0),
        0u);
  }
}

// What the device held, and what the page makes of it: every value ends up
// one the device can open with.
TEST_F(SettingsModelTest, LoadedValuesAreBroughtInLineWithTheDisplays) {
  const struct {
    const char* name;
    std::vector<std::pair<const char*, const char*>> device;  // properties set before loading
    bool displays;
    int displayNo, xRes, yRes, depth, width, height;
    int adapter, driver;  // selected entries
  } cases[] = {
      {"defaults: 640 x 480 is no mode of the first display, 800 x 600 is nearest",
       {},
       true,
       0,
       800,
       600,
       16,
       400,
       480,
       0,
       0},
      {"a display that is not there",
       {{"DisplayNo", "5"}, {"ConfigurationMode", "1"}},
       true,
       0,
       800,
       600,
       16,
       400,
       480,
       0,
       0},
      {"a window larger than the display, and one too small",
       {{"Width", "5000"}, {"Height", "3"}},
       true,
       0,
       800,
       600,
       16,
       1920,
       DSettingsModel::kMinWindowSide,
       0,
       0},
      {"advanced: the adapter's own modes, depth included",
       {{"ConfigurationMode", "2"},
        {"DDrawAdapter", "5144535001"},
        {"XRes", "1000"},
        {"YRes", "700"},
        {"PixelDepth", "24"}},
       true,
       0,
       1024,
       768,
       32,
       400,
       480,
       1,
       0},
      {"advanced: an exact mode and the software driver",
       {{"ConfigurationMode", "2"},
        {"XRes", "1920"},
        {"YRes", "1080"},
        {"PixelDepth", "24"},
        {"D3DDriver", "605c66a47326cf11a31a00aa00b93356"}},
       true,
       0,
       1920,
       1080,
       24,
       400,
       480,
       0,
       2},
      {"no displays: sizes are kept within the device's limits",
       {{"XRes", "123"}, {"Width", "100000"}},
       false,
       0,
       123,
       480,
       16,
       DSettingsModel::kMaxWindowSide,
       480,
       -1,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CTRenderTarget* device = MakeDevice();
    ASSERT_NE(device, nullptr);
    for (const auto& [property, value] : c.device) Set(device, property, value);
    DSettingsModel model(c.displays ? FakeDisplays() : DDisplaySet{});
    model.Load(device);
    const DSettingsModel::Settings& s = model.GetSettings();
    EXPECT_EQ(s.displayNo, c.displayNo);
    EXPECT_EQ(s.xRes, c.xRes);
    EXPECT_EQ(s.yRes, c.yRes);
    EXPECT_EQ(s.pixelDepth, c.depth);
    EXPECT_EQ(s.width, c.width);
    EXPECT_EQ(s.height, c.height);
    EXPECT_EQ(model.GetSelectedAdapter(), c.adapter);
    EXPECT_EQ(model.GetSelectedDriver(), c.driver);
    if (c.adapter >= 0) {
      EXPECT_EQ(s.adapter, d3d::AdapterGuid(c.adapter));
    }
    const DDeviceType types[] = {DDeviceType::kTnLHal, DDeviceType::kHal, DDeviceType::kRgb};
    EXPECT_EQ(s.driver, d3d::DeviceTypeGuid(types[c.driver]));
  }
}

TEST_F(SettingsModelTest, ControlsAreEnabledByConfigurationMode) {
  const struct {
    int mode;
    bool fullScreen;
    bool display, adapter, driver, resolution, windowSize;
  } cases[] = {
      {DSettingsModel::kAuto, false, false, false, false, false, false},
      {DSettingsModel::kAuto, true, false, false, false, false, false},
      {DSettingsModel::kSimple, false, true, false, false, false, true},
      {DSettingsModel::kSimple, true, true, false, false, true, false},
      {DSettingsModel::kAdvanced, false, false, false, true, false, true},
      {DSettingsModel::kAdvanced, true, false, true, true, true, false},
  };
  DSettingsModel model(FakeDisplays());
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << (c.fullScreen ? " full screen" : " windowed"));
    model.SetConfigurationMode(c.mode);
    model.SetFullScreen(c.fullScreen);
    const DSettingsModel::Enabling on = model.GetEnabling();
    EXPECT_EQ(on.display, c.display);
    EXPECT_EQ(on.adapter, c.adapter);
    EXPECT_EQ(on.driver, c.driver);
    EXPECT_EQ(on.resolution, c.resolution);
    EXPECT_EQ(on.windowSize, c.windowSize);
  }
}

// OK and Apply: the ten opening settings go into the device's properties
// and from there into the settings file, where a new device reads them.
TEST_F(SettingsModelTest, ApplyWritesTheTenSettingsToTheDeviceAndTheSettingsFile) {
  CTRenderTarget* device = MakeDevice();
  ASSERT_NE(device, nullptr);
  DSettingsModel model(FakeDisplays());
  model.Load(device);
  model.SetConfigurationMode(DSettingsModel::kAdvanced);
  model.SetFullScreen(true);
  model.SelectAdapter(1);
  model.SelectDriver(2);
  model.SelectResolution(1);       // 640 x 480 x 32 of the second display
  model.SetWindowSize(500, 9000);  // the height is cut to the first display's 1080
  ASSERT_TRUE(model.Apply(device));

  const struct {
    const char* key;
    int value;
  } expected[] = {{"ConfigurationMode", 2}, {"DisplayNo", 0}, {"FullScreen", 1}, {"XRes", 640}, {"YRes", 480},
                  {"PixelDepth", 32},       {"Width", 500},   {"Height", 1080}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.key);
    EXPECT_EQ(device->GetPropertyByName(e.key).ToInt(), e.value);
    EXPECT_EQ(qibo::IniGetInt(".\\qibo.ini", "CTDirect3D", e.key, -1), e.value);
  }
  const d3d::Guid adapter = d3d::AdapterGuid(1);
  const d3d::Guid driver = d3d::DeviceTypeGuid(DDeviceType::kRgb);
  EXPECT_EQ(GuidOf(device, "DDrawAdapter"), adapter);
  EXPECT_EQ(GuidOf(device, "D3DDriver"), driver);
  d3d::Guid stored;
  ASSERT_TRUE(qibo::IniGetStruct(".\\qibo.ini", "CTDirect3D", "DDrawAdapter", stored.bytes, 16));
  EXPECT_EQ(stored, adapter);
  ASSERT_TRUE(qibo::IniGetStruct(".\\qibo.ini", "CTDirect3D", "D3DDriver", stored.bytes, 16));
  EXPECT_EQ(stored, driver);

  // A new device starts from what was written.
  CTRenderTarget* next = MakeDevice();
  next->ReadProperties();
  DSettingsModel reread(FakeDisplays());
  reread.Load(next);
  EXPECT_EQ(reread.GetSettings().xRes, 640);
  EXPECT_EQ(reread.GetSelectedAdapter(), 1);
  EXPECT_EQ(reread.GetSelectedDriver(), 2);

  // An object without the device's settings gets nothing written.
  Ref<CTInterface> other = qibo::Create<CTInterface>();
  EXPECT_FALSE(model.Apply(other.Get()));
}

}  // namespace qibo::test
