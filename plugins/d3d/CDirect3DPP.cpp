#include "plugins/d3d/CDirect3DPP.h"

#include <string>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/kernel/StopSignals.h"
#include "core/object/Ref.h"
#include "plugins/d3d/CTDirect3D.h"
#include "plugins/d3d/D3DDeviceLookup.h"
#include "plugins/d3d/DPageWindow.h"
#include "plugins/d3d/DSettingsModel.h"
#include "plugins/d3d/DSettingsView.h"

namespace {

// How long the page sleeps waiting for input between frames.
constexpr int kIdleWaitMs = 50;

}  // namespace

DPropertyPage::Result CDirect3DPP::DoModal(CTNamed* object) {
  if (!DPageWindow::HasDisplay()) {
    qiBO_Error("The Direct3D settings page needs a display to be shown on", nullptr);
    return Result::kNotShown;
  }
  if (auto* device = qibo::Cast<CTDirect3D>(object)) {
    Ref<CTDirect3D> hold(device);
    return Run(*device);
  }
  if (CTDirect3D* device = qibo::d3d::FindRegisteredDirect3D()) {
    Ref<CTDirect3D> hold(device);
    return Run(*device);
  }
  // A device of the page's own, with the stored settings; the device
  // manager keeps it (and what the page set) for the program's later use.
  DevicePtr<CTDirect3D> device;
  if (auto* devices = qibo::GetService<CTDeviceManager>())
    device = qibo::Cast<CTDirect3D>(devices->GetDevice(CTDirect3D::_CD()->ID(), -1, true));
  if (device) return Run(*device);
  Ref<CTDirect3D> loose = qibo::Create<CTDirect3D>();
  if (!loose) return Result::kNotShown;
  loose->ReadProperties();
  return Run(*loose);
}

DPropertyPage::Result CDirect3DPP::Run(CTDirect3D& device) {
  DPageWindow window;
  std::string error;
  if (!window.Open(GetCaption(), DSettingsView::kWidth, DSettingsView::kHeight, error)) {
    device.ErrorMsgF("Settings page: %s", error.c_str());
    return Result::kNotShown;
  }
  DSettingsModel model(DDisplaySet::FromSdl());
  model.Load(&device);
  DSettingsView view;
  Result result = Result::kCancelled;
  while (!qibo::StopSignalReceived()) {
    const DPageWindow::Input input = window.PumpEvents(kIdleWaitMs);
    if (input != DPageWindow::Input::kNone) break;  // closed or Escape: cancelled
    window.NewFrame();
    const DSettingsView::Action action = view.Draw(model, device.IsVisible());
    window.Render();
    window.Present();
    if (action == DSettingsView::Action::kShoot) device.TakeSnapshot();
    if (action == DSettingsView::Action::kApply || action == DSettingsView::Action::kOk) {
      if (!model.Apply(&device)) device.ErrorMsg("Settings page: the settings could not be written");
      result = Result::kApplied;
    }
    if (action == DSettingsView::Action::kOk || action == DSettingsView::Action::kCancel) break;
  }
  return result;
}
