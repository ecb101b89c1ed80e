#include "core/devices/CTDevice.h"

#include <algorithm>

#include "core/devices/CTDeviceManager.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTDevice, CTLogged, .desc = "Abstract Device-Base", .isAbstract = true)

CTDevice::CTDevice() : CTLogged("Default device") {
  if (auto* manager = qibo::FindService<CTDeviceManager>()) manager->RegisterDevice(this);
}

CTDevice::~CTDevice() {
  if (m_started) {
    ErrorMsg("Device was not correctly stopped!");
    Stop();
  }
  DetachAll();
}

void CTDevice::DetachAll() {
  if (m_parent) m_parent->RemoveSubDevice(this);
  while (!m_subDevices.Empty()) RemoveSubDevice(m_subDevices.Back());
}

void CTDevice::Delete() {
  if (m_started) Stop();
  CTNamed::Delete();
}

void CTDevice::OnDelete(CTReferenced* dying) {
  if (dying && dying == m_parent) {
    m_parent->RemoveSubDevice(this);
  } else if (auto it = std::find(m_subDevices.begin(), m_subDevices.end(), dying); it != m_subDevices.end()) {
    RemoveSubDevice(*it);
  }
  CTLogged::OnDelete(dying);
}

void CTDevice::DoAddProperties() {
  CTLogged::DoAddProperties();
  AddPropertyRO(DProperty(m_deviceID, "DeviceID"), CTDevice::_CD());
  AddPropertyRO(DProperty(m_started, "Started"), CTDevice::_CD());
  AddProperty(DProperty(m_enabled, "Enabled"), CTDevice::_CD());
}

void CTDevice::OnPropertyChanged(DProperty& property) { CTLogged::OnPropertyChanged(property); }

bool CTDevice::StartDevice() { return NoError(); }

bool CTDevice::StopDevice() { return NoError(); }

bool CTDevice::Start() {
  InfoMsg("CTDevice::Start()", 4);
  if (m_started) return WarningMsg("Device.Start: Already started", 3);
  if (!m_enabled) return ErrorMsg("Cannot start: Device disabled");
  if (m_parent && !m_parent->IsStarted() && !m_parent->Start())
    return ErrorMsgF("Device.Start: Unable to start %s", m_parent->GetName());
  SetName(GetCD()->GetDesc().c_str());
  ApplyChanges();
  if (!StartDevice()) return false;
  ApplyChanges();
  m_started = true;
  InfoMsg("Device started", 1);
  if (m_parent) m_parent->OnMessage(kMsgDeviceStarted, this);
  return true;
}

bool CTDevice::Stop() {
  InfoMsg("CTDevice::Stop()", 4);
  if (!m_started) return WarningMsg("Device.Stop: Not started", 3);
  // By index: a child's stop runs the child's own code, which may change
  // the list.
  for (size_t i = 0; i < m_subDevices.Size(); ++i)
    if (!m_subDevices[i]->Stop()) return ErrorMsg("Device.Stop: Child Device.Stop failed");
  if (!StopDevice()) return false;
  InfoMsg("Device stopped", 1);
  m_started = false;
  SetName(GetCD()->GetDesc().c_str());
  if (m_parent) m_parent->OnMessage(kMsgDeviceStopped, this);
  return true;
}

bool CTDevice::Restart() {
  InfoMsg("CTDevice::Restart()", 4);
  if (!Stop()) return ErrorMsg("Device.Restart: Device.Stop failed");
  return Start();
}

bool CTDevice::Enable() {
  if (m_enabled) return true;
  InfoMsg("CTDevice::Enable()", 4);
  if (m_parent && !m_parent->IsEnabled() && !m_parent->Enable())
    return ErrorMsg("Could not enable parent device");
  m_enabled = true;
  return true;
}

bool CTDevice::Disable() {
  if (!m_enabled) return true;
  InfoMsg("CTDevice::Disable()", 4);
  for (size_t i = 0; i < m_subDevices.Size(); ++i)
    if (!m_subDevices[i]->Disable()) return ErrorMsg("Could not disable child device");
  m_enabled = false;
  if (m_started) return Stop();
  return NoError();
}

bool CTDevice::IsAncestorOrSelf(const CTDevice* device) const {
  for (const CTDevice* d = this; d; d = d->m_parent)
    if (d == device) return true;
  return false;
}

CTDevice* CTDevice::SetParent(CTDevice* const parent) {
  if (parent == m_parent) return m_parent;
  // This device must not end up above itself: Start would climb forever.
  if (parent && parent->IsAncestorOrSelf(this)) return m_parent;
  if (m_parent) m_parent->RemoveSubDevice(this);
  m_parent = parent;
  if (parent) parent->AddSubDevice(this);
  return m_parent;
}

void CTDevice::AddSubDevice(CTDevice* const device) {
  if (!device || device->m_parent != this) return;
  if (m_subDevices.Contains(device)) return;
  m_subDevices.Add(device);
  MakeRef(device);
}

void CTDevice::RemoveSubDevice(CTDevice* const device) {
  if (!m_subDevices.Remove(device)) return;
  BreakRef(device);
  // A child left with a pointer to us but no reference would dangle once we
  // are deleted.
  if (device->m_parent == this) device->m_parent = nullptr;
}

CTDevice* CTDevice::GetSubDeviceNo(int index) const {
  if (index < 0 || index >= GetSubDeviceCount()) return nullptr;
  return m_subDevices[static_cast<size_t>(index)];
}

void CTDevice::SetDeviceID(int id) {
  if (!m_started) m_deviceID = id;
}
