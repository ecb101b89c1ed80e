#pragma once

#include "core/devices/CTDevice.h"
#include "core/devices/CTDeviceManager.h"
#include "core/kernel/Kernel.h"
#include "core/object/CTBasicPtr.h"

namespace qibo {

// Gives one use of the device back to the running device manager, if any.
inline void ReleaseDeviceUse(CTDevice* device) {
  if (!device) return;
  if (auto* manager = qibo::FindService<CTDeviceManager>()) manager->ReleaseDevice(device);
}

}  // namespace qibo

// Holds a device the way its users must: one anonymous reference (keeps the
// object alive) and one use in the device manager (keeps it started).
//
// Assigning a device adopts the use that GetDevice already counted:
//   m_timer = static_cast<CTTimer*>(manager->GetDevice(CTTimer::_CD()->ID(), true));
// Share() instead adds a use of its own, for a device handed over from
// outside. Assigning another device, Reset() and destruction give the old
// one's use back through the running device manager (which stops the device
// at its last use) and drop the reference; the device is deleted when that
// was its last reference.
//
// The pointer is also a named holder: should the device be deleted from
// outside regardless, the pointer becomes empty instead of dangling.
template <class T>
class DevicePtr final : public CTBasicPtr {
 public:
  DevicePtr() = default;
  explicit DevicePtr(T* device) { Take(device); }
  ~DevicePtr() override { Reset(); }
  DevicePtr(const DevicePtr&) = delete;  // a copy would give the use back twice
  DevicePtr& operator=(const DevicePtr&) = delete;

  DevicePtr& operator=(T* device) {
    if (device == m_device) return *this;
    Reset();
    Take(device);
    return *this;
  }

  // Holds the device with a use of its own; empty (and false) when the
  // device manager cannot share it.
  bool Share(T* device) {
    if (device && device == m_device) return true;  // it already has its use
    *this = device;
    if (!m_device) return false;
    auto* manager = qibo::FindService<CTDeviceManager>();
    if (manager && manager->ShareDevice(m_device)) return true;
    Drop();
    return false;
  }

  void Reset() {
    if (!m_device) return;
    qibo::ReleaseDeviceUse(m_device);
    Drop();
  }

  void OnDelete(CTReferenced*) override { m_device = nullptr; }

  CTReferenced* GetPtr() const override { return m_device; }
  T* Get() const { return m_device; }
  T* operator->() const { return m_device; }
  T& operator*() const { return *m_device; }
  explicit operator bool() const { return m_device != nullptr; }

 private:
  void Take(T* device) {
    m_device = device;
    if (!device) return;
    device->AddRef(nullptr);
    device->AddRef(this);
  }
  // Drops the references without touching the use.
  void Drop() {
    T* device = m_device;
    m_device = nullptr;
    if (!device) return;
    device->RemoveRef(this);
    device->RemoveRef(nullptr);
  }

  T* m_device = nullptr;
};
