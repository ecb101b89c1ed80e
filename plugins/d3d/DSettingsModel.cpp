#include "plugins/d3d/DSettingsModel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/object/CTInterface.h"

using qibo::d3d::Guid;

namespace {

// The device types each adapter offers, in the order of the device's
// fallback chain, with the names the driver list shows.
struct DriverEntry {
  DDeviceType type;
  const char* name;
};
constexpr DriverEntry kDrivers[] = {
    {DDeviceType::kTnLHal, "Hardware OpenGL, accelerated"},
    {DDeviceType::kHal, "Hardware OpenGL"},
    {DDeviceType::kRgb, "Software OpenGL (Mesa llvmpipe)"},
};

// The integer and raw properties the page reads and writes.
constexpr const char* kIntProperties[] = {"ConfigurationMode", "DisplayNo", "FullScreen", "XRes", "YRes",
                                          "PixelDepth",        "Width",     "Height"};
constexpr const char* kGuidProperties[] = {"DDrawAdapter", "D3DDriver"};

std::string Format(const char* format, int a, int b, int c = 0) {
  char text[64];
  std::snprintf(text, sizeof(text), format, a, b, c);
  return text;
}

bool HasProperty(CTInterface* device, const char* name, bool raw) {
  const DProperty& p = device->GetPropertyByName(name);
  if (&p == &DProperty::Null()) return false;
  return !raw || (p.GetType() == ptUnknownData && p.GetSize() == 16 && p.GetPtr());
}

void WriteGuid(DProperty& property, const Guid& guid) {
  if (std::memcmp(property.GetPtr(), guid.bytes, 16) == 0) return;
  std::memcpy(property.GetPtr(), guid.bytes, 16);
  property.SetChanged(true);
}

}  // namespace

DSettingsModel::DSettingsModel(DDisplaySet displays) : m_displays(std::move(displays)) {
  for (const DriverEntry& driver : kDrivers) m_driverItems.emplace_back(driver.name);
  for (int i = 0; i < DisplayCount(); ++i) {
    const std::string& name = m_displays.displays[static_cast<size_t>(i)].name;
    char text[320];
    std::snprintf(text, sizeof(text), "%d (%s)", i, name.c_str());
    m_displayItems.emplace_back(text);
    m_adapterItems.push_back(name);
  }
  Update();
}

void DSettingsModel::Load(CTInterface* device) {
  if (!device) return;
  device->MakeProperties();
  int* const targets[] = {&m_settings.configurationMode,
                          &m_settings.displayNo,
                          nullptr,
                          &m_settings.xRes,
                          &m_settings.yRes,
                          &m_settings.pixelDepth,
                          &m_settings.width,
                          &m_settings.height};
  for (size_t i = 0; i < std::size(kIntProperties); ++i) {
    if (!HasProperty(device, kIntProperties[i], false)) continue;
    const int value = device->GetPropertyByName(kIntProperties[i]).ToInt();
    if (targets[i])
      *targets[i] = value;
    else
      m_settings.fullScreen = value != 0;
  }
  Guid* const guids[] = {&m_settings.adapter, &m_settings.driver};
  for (size_t i = 0; i < std::size(kGuidProperties); ++i)
    if (HasProperty(device, kGuidProperties[i], true))
      std::memcpy(guids[i]->bytes, device->GetPropertyByName(kGuidProperties[i]).GetPtr(), 16);
  Update();
}

bool DSettingsModel::Apply(CTInterface* device) {
  if (!device) return false;
  device->MakeProperties();
  for (const char* name : kIntProperties)
    if (!HasProperty(device, name, false)) return false;
  for (const char* name : kGuidProperties)
    if (!HasProperty(device, name, true)) return false;
  Update();
  const int values[] = {m_settings.configurationMode,
                        m_settings.displayNo,
                        m_settings.fullScreen ? 1 : 0,
                        m_settings.xRes,
                        m_settings.yRes,
                        m_settings.pixelDepth,
                        m_settings.width,
                        m_settings.height};
  for (size_t i = 0; i < std::size(kIntProperties); ++i)
    device->GetPropertyByName(kIntProperties[i]).FromInt(values[i]);
  WriteGuid(device->GetPropertyByName("DDrawAdapter"), m_settings.adapter);
  WriteGuid(device->GetPropertyByName("D3DDriver"), m_settings.driver);
  device->ApplyChanges();
  device->WriteProperties();
  return true;
}

void DSettingsModel::SetConfigurationMode(int mode) {
  m_settings.configurationMode = std::clamp(mode, static_cast<int>(kAuto), static_cast<int>(kAdvanced));
  Update();
}

void DSettingsModel::SetFullScreen(bool on) {
  m_settings.fullScreen = on;
  Update();
}

void DSettingsModel::SelectDisplay(int index) {
  if (index >= 0 && index < DisplayCount()) m_settings.displayNo = index;
  Update();
}

void DSettingsModel::SelectAdapter(int index) {
  if (index >= 0 && index < DisplayCount()) m_settings.adapter = qibo::d3d::AdapterGuid(index);
  Update();
}

void DSettingsModel::SelectDriver(int index) {
  if (index >= 0 && index < static_cast<int>(std::size(kDrivers)))
    m_settings.driver = qibo::d3d::DeviceTypeGuid(kDrivers[index].type);
  Update();
}

void DSettingsModel::SelectResolution(int index) {
  if (index >= 0 && index < static_cast<int>(m_resolutions.size())) {
    const DDisplaySet::Mode& mode = m_resolutions[static_cast<size_t>(index)];
    m_settings.xRes = mode.width;
    m_settings.yRes = mode.height;
    if (m_settings.configurationMode == kAdvanced) m_settings.pixelDepth = mode.bits;
  }
  Update();
}

void DSettingsModel::SetWindowSize(int width, int height) {
  m_settings.width = width;
  m_settings.height = height;
  Update();
}

DSettingsModel::Enabling DSettingsModel::GetEnabling() const {
  Enabling on;
  const bool full = m_settings.fullScreen;
  switch (m_settings.configurationMode) {
    case kSimple:
      on.display = true;
      on.resolution = full;
      on.windowSize = !full;
      break;
    case kAdvanced:
      on.adapter = full;  // the adapter only chooses the full-screen display
      on.driver = true;
      on.resolution = full;
      on.windowSize = !full;
      break;
    default:  // Auto: the device chooses everything itself
      break;
  }
  return on;
}

const DDisplaySet::Display* DSettingsModel::ModeDisplay() const {
  const int display = m_settings.configurationMode == kAdvanced
                          ? (m_selectedAdapter >= 0 ? m_selectedAdapter : 0)
                          : m_settings.displayNo;
  if (display < 0 || display >= DisplayCount()) return nullptr;
  return &m_displays.displays[static_cast<size_t>(display)];
}

void DSettingsModel::Update() {
  Settings& s = m_settings;
  s.configurationMode = std::clamp(s.configurationMode, static_cast<int>(kAuto), static_cast<int>(kAdvanced));
  if (s.displayNo < 0 || s.displayNo >= DisplayCount()) s.displayNo = 0;

  // The adapter whose identifier the page holds, else the first.
  m_selectedAdapter = -1;
  for (int i = 0; i < DisplayCount(); ++i)
    if (qibo::d3d::AdapterGuid(i) == s.adapter) m_selectedAdapter = i;
  if (m_selectedAdapter < 0 && DisplayCount() > 0) {
    m_selectedAdapter = 0;
    s.adapter = qibo::d3d::AdapterGuid(0);
  }

  // The driver likewise among the device types.
  m_selectedDriver = -1;
  for (size_t i = 0; i < std::size(kDrivers); ++i)
    if (qibo::d3d::DeviceTypeGuid(kDrivers[i].type) == s.driver) m_selectedDriver = static_cast<int>(i);
  if (m_selectedDriver < 0) {
    m_selectedDriver = 0;
    s.driver = qibo::d3d::DeviceTypeGuid(kDrivers[0].type);
  }

  FillResolutions();
  ClampWindowSize();
}

void DSettingsModel::FillResolutions() {
  Settings& s = m_settings;
  const bool advanced = s.configurationMode == kAdvanced;
  m_resolutions.clear();
  m_resolutionItems.clear();
  m_selectedResolution = -1;
  const DDisplaySet::Display* display = ModeDisplay();
  if (!display) return;
  for (const DDisplaySet::Mode& mode : display->modes) {
    const bool repeat =
        std::any_of(m_resolutions.begin(), m_resolutions.end(), [&](const DDisplaySet::Mode& m) {
          return m.width == mode.width && m.height == mode.height && (!advanced || m.bits == mode.bits);
        });
    if (repeat) continue;
    m_resolutions.push_back(mode);
    m_resolutionItems.push_back(advanced ? Format("%d x %d x %d", mode.width, mode.height, mode.bits)
                                         : Format("%d x %d", mode.width, mode.height));
  }
  if (m_resolutions.empty()) return;
  // The page's size, else the mode nearest to it: the device opens full
  // screen only in a mode the display has.
  long best = -1;
  for (size_t i = 0; i < m_resolutions.size(); ++i) {
    const DDisplaySet::Mode& m = m_resolutions[i];
    const long distance = std::labs(static_cast<long>(m.width) - s.xRes) +
                          std::labs(static_cast<long>(m.height) - s.yRes) +
                          (advanced ? std::labs(static_cast<long>(m.bits) - s.pixelDepth) : 0);
    if (best < 0 || distance < best) {
      best = distance;
      m_selectedResolution = static_cast<int>(i);
    }
  }
  const DDisplaySet::Mode& chosen = m_resolutions[static_cast<size_t>(m_selectedResolution)];
  s.xRes = chosen.width;
  s.yRes = chosen.height;
  if (advanced) s.pixelDepth = chosen.bits;
}

void DSettingsModel::ClampWindowSize() {
  // The device opens its window on the primary display; it fits there: no
  // side beyond the display's largest mode.
  int maxWidth = kMaxWindowSide;
  int maxHeight = kMaxWindowSide;
  const DDisplaySet::Display* display = DisplayCount() > 0 ? &m_displays.displays[0] : nullptr;
  if (display && !display->modes.empty()) {
    maxWidth = maxHeight = kMinWindowSide;
    for (const DDisplaySet::Mode& mode : display->modes) {
      maxWidth = std::max(maxWidth, mode.width);
      maxHeight = std::max(maxHeight, mode.height);
    }
  }
  m_settings.width = std::clamp(m_settings.width, kMinWindowSide, maxWidth);
  m_settings.height = std::clamp(m_settings.height, kMinWindowSide, maxHeight);
}
