#pragma once

#include <string>
#include <vector>

#include "plugins/d3d/D3DGuids.h"
#include "plugins/d3d/DDisplaySet.h"

class CTInterface;

// What the render device's settings page shows and edits, apart from any
// drawing: the page's own copy of the device's ten opening settings, the
// lists of its controls, which controls are enabled, and the writing back.
//
// Every change (a radio button, a list choice, a window size) runs Update,
// which brings the lists and the copy in line with each other: the display
// number falls back to 0 when there is no such display, the adapter and
// driver fall back to the first entry, the full-screen size becomes one of
// the display's own modes and the window size fits the display. So the
// values written are always ones the device can open with.
class DSettingsModel {
 public:
  enum Mode { kAuto = 0, kSimple = 1, kAdvanced = 2 };
  static constexpr int kMinWindowSide = 32;
  // The largest window side without modes to measure it by (the device's
  // own limit).
  static constexpr int kMaxWindowSide = 16384;

  // The page's copy of the settings; defaults as without a device.
  struct Settings {
    int configurationMode = kAuto;
    int displayNo = 0;
    bool fullScreen = false;
    int xRes = 640;
    int yRes = 480;
    int pixelDepth = 16;
    int width = 400;
    int height = 480;
    qibo::d3d::Guid adapter;
    qibo::d3d::Guid driver;
  };

  // Which of the lists and edits take input; the radio buttons always do.
  struct Enabling {
    bool display = false;
    bool adapter = false;
    bool driver = false;
    bool resolution = false;
    bool windowSize = false;
  };

  explicit DSettingsModel(DDisplaySet displays = {});

  // Copies the device's settings (its properties of those names) into the
  // page; a property the device lacks keeps the page's value.
  void Load(CTInterface* device);
  // Copies the page's values into the device's ten properties and writes
  // the device's properties to the settings store. False, writing
  // nothing, when the device lacks one of them.
  bool Apply(CTInterface* device);

  // The user's choices; each updates the page.
  void SetConfigurationMode(int mode);
  void SetFullScreen(bool on);
  void SelectDisplay(int index);
  void SelectAdapter(int index);
  void SelectDriver(int index);
  void SelectResolution(int index);
  void SetWindowSize(int width, int height);

  const Settings& GetSettings() const { return m_settings; }
  Enabling GetEnabling() const;

  // The lists' texts and their selected entries (-1: none).
  const std::vector<std::string>& GetDisplayItems() const { return m_displayItems; }  // "%d (%s)"
  const std::vector<std::string>& GetAdapterItems() const { return m_adapterItems; }
  const std::vector<std::string>& GetDriverItems() const { return m_driverItems; }
  // "%d x %d x %d" in Advanced mode, "%d x %d" otherwise, without repeats.
  const std::vector<std::string>& GetResolutionItems() const { return m_resolutionItems; }
  int GetSelectedDisplay() const { return m_settings.displayNo < DisplayCount() ? m_settings.displayNo : -1; }
  int GetSelectedAdapter() const { return m_selectedAdapter; }
  int GetSelectedDriver() const { return m_selectedDriver; }
  int GetSelectedResolution() const { return m_selectedResolution; }

  // Brings the lists, the selections and the copy in line (see above).
  void Update();

 private:
  int DisplayCount() const { return static_cast<int>(m_displays.displays.size()); }
  // The display whose modes the resolution list shows: the adapter's in
  // Advanced mode, the display number's otherwise; null without displays.
  const DDisplaySet::Display* ModeDisplay() const;
  void FillResolutions();
  void ClampWindowSize();

  DDisplaySet m_displays;
  Settings m_settings;
  std::vector<std::string> m_displayItems;
  std::vector<std::string> m_adapterItems;
  std::vector<std::string> m_driverItems;
  std::vector<std::string> m_resolutionItems;
  std::vector<DDisplaySet::Mode> m_resolutions;  // behind m_resolutionItems
  int m_selectedAdapter = -1;
  int m_selectedDriver = -1;
  int m_selectedResolution = -1;
};
