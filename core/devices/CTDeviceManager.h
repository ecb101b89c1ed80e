#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

class CTDevice;

// Where the engine obtains its devices: by class ID or class name (the
// class or any class derived from it), optionally by device number (-1 for
// any), exclusively or shared. The manager owns every device it creates and
// keeps one registry entry per device with a use count; entries live until
// the service stops.
//
// Each successful GetDevice or ShareDevice adds one use, which the user gives
// back with ReleaseDevice; the device is stopped when its last use goes.
// DevicePtr (core/devices/DevicePtr.h) does the giving back for you.
class CTDeviceManager : public CTManager {
  QIBO_CLASS(CTDeviceManager)

 public:
  // Called by every new device while the service is running.
  virtual void RegisterDevice(CTDevice* device) = 0;
  virtual int GetDeviceCount() = 0;
  // The device of registry entry index; null out of range.
  virtual CTDevice* GetDeviceNo(int index) = 0;
  // A started device of the class, or null. shared false: a device nobody
  // else uses, held exclusively until released; shared true: any device not
  // held exclusively.
  virtual CTDevice* GetDevice(uint32_t classID, int deviceID, bool shared) = 0;
  virtual CTDevice* GetDevice(uint32_t classID, bool shared) = 0;
  virtual CTDevice* GetDevice(const char* className, int deviceID, bool shared) = 0;
  virtual CTDevice* GetDevice(const char* className, bool shared) = 0;
  // One more use of a registered device, starting it if needed.
  virtual bool ShareDevice(CTDevice* device) = 0;
  // One use less; the last one stops the device (its entry stays).
  virtual void ReleaseDevice(CTDevice* device) = 0;
  // One device of every concrete device class that has none yet, unused.
  virtual void CreateAllDevices() = 0;
};
