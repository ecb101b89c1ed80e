#include "core/devices/DefDeviceManager.h"

#include "core/devices/CTDevice.h"
#include "core/kernel/CTClassManager.h"
#include "core/kernel/Kernel.h"
#include "core/object/Random.h"

QIBO_IMPLEMENT_CLASS(DefDeviceManager, CTDeviceManager, .desc = "Device manager", .product = "qiBO DefMgr")

DefDeviceManager::~DefDeviceManager() {
  while (!m_registry.Empty()) RemoveEntry(m_registry.Count() - 1);
}

void DefDeviceManager::OnDelete(CTReferenced* dying) {
  // Deleted by someone else: its references died with it, so only the
  // entry goes.
  for (size_t i = 0; i < m_registry.Size(); ++i) {
    if (static_cast<CTReferenced*>(m_registry[i].device.Get()) == dying) {
      Entry gone = m_registry.RemoveAt(i, true);
      (void)gone.device.Release();
      break;
    }
  }
  CTDeviceManager::OnDelete(dying);
}

CTDevice* DefDeviceManager::GetDeviceNo(int index) {
  if (index < 0 || index >= GetDeviceCount()) return nullptr;
  return m_registry[static_cast<size_t>(index)].device.Get();
}

int DefDeviceManager::GetUseCount(int index) const {
  if (index < 0 || index >= m_registry.Count()) return -1;
  return m_registry[static_cast<size_t>(index)].useCount;
}

bool DefDeviceManager::IsExclusive(int index) const {
  if (index < 0 || index >= m_registry.Count()) return false;
  return m_registry[static_cast<size_t>(index)].exclusive;
}

CTClassManager* DefDeviceManager::ClassManager() {
  auto* classes = qibo::GetService<CTClassManager>();
  return classes && classes->IsStarted() ? classes : nullptr;
}

int DefDeviceManager::IndexOf(const CTDevice* device) const {
  if (!device) return -1;
  for (size_t i = 0; i < m_registry.Size(); ++i)
    if (m_registry[i].device == device) return static_cast<int>(i);
  return -1;
}

int DefDeviceManager::FindEntry(uint32_t classID, int deviceID, bool shared) const {
  int lastDisabled = -1;
  for (size_t i = 0; i < m_registry.Size(); ++i) {
    const Entry& entry = m_registry[i];
    const CTDevice* device = entry.device.Get();
    if (!device->GetCD()->CheckGroupID(classID) || entry.exclusive) continue;
    if (!shared && entry.useCount > 0) continue;
    if (deviceID != -1 && device->GetDeviceID() != deviceID) continue;
    if (device->IsEnabled()) return static_cast<int>(i);
    lastDisabled = static_cast<int>(i);
  }
  return lastDisabled;
}

void DefDeviceManager::BuildCandidates() {
  m_candidates.Clear();
  CTClassManager* classes = ClassManager();
  if (!classes) return;
  const uint32_t deviceID = CTDevice::_CD()->ID();
  const int count = classes->GetClassDescCount();
  for (int i = 0; i < count; ++i) {
    ClassDesc* cd = classes->GetClassDescNo(i);
    if (!cd || cd->Abstract() || !cd->CheckGroupID(deviceID)) continue;
    m_candidates.Add(cd);
  }
}

Ref<CTDevice> DefDeviceManager::CreateDevice(ClassDesc* cd) {
  Ref<CTDevice> device = qibo::CreateAs<CTDevice>(cd);
  if (device) device->SetName(cd->GetDesc().c_str());
  return device;
}

int DefDeviceManager::AddEntry(Ref<CTDevice> device, int useCount, bool exclusive) {
  device->AddRef(this);
  m_registry.Add(Entry{useCount, exclusive, std::move(device)});
  return m_registry.Count() - 1;
}

void DefDeviceManager::RemoveEntry(int index) {
  Entry removed = m_registry.RemoveAt(static_cast<size_t>(index), m_busy > 0);
  removed.device->RemoveRef(this);
  // The anonymous reference goes with the entry, last.
}

void DefDeviceManager::FreeLists() {
  m_registry.Clear();
  m_candidates.Clear();
}

CTDevice* DefDeviceManager::GetDevice(uint32_t classID, int deviceID, bool shared) {
  if (const int found = FindEntry(classID, deviceID, shared); found >= 0) {
    CTDevice* device = m_registry[static_cast<size_t>(found)].device.Get();
    if (!device->IsEnabled()) return nullptr;
    if (!device->IsStarted() && !device->Start()) return nullptr;
    // Starting may have added entries: find ours again.
    Entry& entry = m_registry[static_cast<size_t>(IndexOf(device))];
    ++entry.useCount;
    entry.exclusive = !shared;
    return device;
  }

  BuildCandidates();
  // A device's start may search again and rebuild the list.
  const std::vector<ClassDesc*> candidates(m_candidates.begin(), m_candidates.end());
  for (ClassDesc* cd : candidates) {
    if (!cd->CheckGroupID(classID)) continue;
    Ref<CTDevice> device = CreateDevice(cd);
    if (!device) continue;
    device->SetDeviceID(deviceID);
    device->ReadProperties();
    const bool started = device->IsEnabled() && device->Start();
    // One that did not start stays unused, so it is not tried again.
    CTDevice* created = device.Get();
    AddEntry(std::move(device), started ? 1 : 0, started && !shared);
    if (started) return created;
  }
  return nullptr;
}

CTDevice* DefDeviceManager::GetDevice(const char* className, int deviceID, bool shared) {
  CTClassManager* classes = className ? ClassManager() : nullptr;
  ClassDesc* cd = classes ? classes->FindClassDescByName(className) : nullptr;
  return cd ? GetDevice(cd->ID(), deviceID, shared) : nullptr;
}

bool DefDeviceManager::ShareDevice(CTDevice* device) {
  if (IndexOf(device) < 0) return ErrorMsg("Unable to share an unregistered device");
  if (!device->IsStarted() && !device->Start()) return ErrorMsg("Unable to share a disabled device");
  ++m_registry[static_cast<size_t>(IndexOf(device))].useCount;
  return true;
}

void DefDeviceManager::ReleaseDevice(CTDevice* device) {
  const int index = IndexOf(device);
  if (index < 0) return;
  Entry& entry = m_registry[static_cast<size_t>(index)];
  if (entry.useCount > 0) --entry.useCount;
  if (entry.useCount == 0) {
    entry.exclusive = false;
    device->Stop();
  }
}

void DefDeviceManager::CreateAllDevices() {
  if (!ClassManager()) return;
  BuildCandidates();
  const std::vector<ClassDesc*> candidates(m_candidates.begin(), m_candidates.end());
  for (ClassDesc* cd : candidates) {
    if (FindEntry(cd->ID(), -1, true) >= 0) continue;
    Ref<CTDevice> device = CreateDevice(cd);
    if (!device) continue;
    device->ReadProperties();
    if (device->IsEnabled()) device->Start();  // a failure is the device's to report
    AddEntry(std::move(device), 0, false);
  }
}

bool DefDeviceManager::DoStop() {
  ++m_busy;
  for (int pick = 0; pick < kMaxStopPicks && !m_registry.Empty(); ++pick) {
    const size_t index = static_cast<size_t>(qibo::Rand()) % m_registry.Size();
    CTDevice* device = m_registry[index].device.Get();
    if (device->IsStarted() && (m_registry[index].useCount > 0 || !device->Stop())) continue;
    // Stopping may have moved entries.
    if (const int now = IndexOf(device); now >= 0) RemoveEntry(now);
  }
  --m_busy;
  if (!m_registry.Empty()) return false;
  FreeLists();
  return true;
}
