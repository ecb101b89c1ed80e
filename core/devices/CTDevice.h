#pragma once

#include <vector>

#include "core/object/CTLogged.h"
#include "core/object/StepArray.h"

// Messages a device sends its parent through OnMessage; the data is the
// child device.
constexpr int kMsgDeviceStarted = 0x21344568;
constexpr int kMsgDeviceStopped = 0x21344567;

// Base of every device: a piece of hardware or an operating-system facility
// the engine drives. States: disabled/stopped, enabled/stopped,
// enabled/started. Start needs Enabled, Disable of a started device stops
// it, Enable never starts one.
//
// Devices form a tree: a child's Start starts its parent first, a parent's
// Stop stops its children first, a parent's Disable disables its children
// first. Parent and child hold a mutual named reference, so either learns of
// the other's deletion and drops its pointer; neither keeps the other alive.
//
// A concrete device does its real work in StartDevice/StopDevice; the public
// lifecycle calls do the bookkeeping and report every step through the log.
// Devices are normally owned by the device manager (see CTDeviceManager).
class CTDevice : public CTLogged {
  QIBO_CLASS(CTDevice)

 public:
  // Named "Default device"; registers with a running device manager.
  CTDevice();
  // A device still started here reports "Device was not correctly stopped!"
  // and is stopped; it then leaves its parent and lets go of its children.
  ~CTDevice() override;
  CTDevice(const CTDevice&) = delete;
  CTDevice& operator=(const CTDevice&) = delete;

  // Stops a started device, then deletes it.
  void Delete() override;
  void OnDelete(CTReferenced* dying) override;
  void DoAddProperties() override;
  // Passed on unchanged: writing "Enabled" through the table does not call
  // Enable/Disable.
  void OnPropertyChanged(DProperty& property) override;

  // Start: the parent first; then StartDevice. On success the name becomes
  // the class description and the parent gets kMsgDeviceStarted. Starting a
  // started device warns and succeeds without calling StartDevice again.
  bool Start();
  // Stop: every child first, in list order, then StopDevice. On success the
  // parent gets kMsgDeviceStopped. Stopping a stopped device warns and
  // succeeds.
  bool Stop();
  bool Restart();
  bool Enable();
  bool Disable();

  bool IsStarted() const { return m_started; }
  bool IsEnabled() const { return m_enabled; }

  CTDevice* GetParent() const { return m_parent; }
  // Moves this device under parent (null: under none) and answers the
  // parent it then has. A parent that is this device or one of its
  // descendants is refused: the tree would become a cycle.
  CTDevice* SetParent(CTDevice* const parent);
  // Lists device as a child; acts only when device's parent is already this.
  void AddSubDevice(CTDevice* const device);
  // Unlists device (the last child moves into its place) and, when this is
  // its parent, leaves it without one.
  void RemoveSubDevice(CTDevice* const device);
  int GetSubDeviceCount() const { return m_subDevices.Count(); }
  CTDevice* GetSubDeviceNo(int index) const;

  int GetDeviceID() const { return m_deviceID; }
  // Ignored while the device is started.
  void SetDeviceID(int id);

 protected:
  // The device's own work. The base versions clear the last error and
  // succeed. A failing StartDevice reports its own error.
  virtual bool StartDevice();
  virtual bool StopDevice();

 private:
  bool IsAncestorOrSelf(const CTDevice* device) const;
  void DetachAll();

  qibo::StepArray<CTDevice*> m_subDevices;  // each with a mutual named reference
  CTDevice* m_parent = nullptr;             // mutual named reference
  bool m_enabled = true;
  bool m_started = false;
  int m_deviceID = -1;
};
