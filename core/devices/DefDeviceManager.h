#pragma once

#include "core/devices/CTDevice.h"
#include "core/devices/CTDeviceManager.h"
#include "core/object/Ref.h"
#include "core/object/StepArray.h"

class CTClassManager;

// The default device manager. Devices come from the registered concrete
// device classes, in the class manager's order; one that cannot be enabled
// and started keeps an unused entry, so it is not tried again. On stop every
// unused device is stopped and released (in random order); the stop fails
// while a device is still in use.
class DefDeviceManager : public CTDeviceManager {
  QIBO_CLASS(DefDeviceManager)

 public:
  DefDeviceManager() = default;
  // Releases the devices a failed stop left behind.
  ~DefDeviceManager() override;
  DefDeviceManager(const DefDeviceManager&) = delete;
  DefDeviceManager& operator=(const DefDeviceManager&) = delete;

  // A device deleted from outside loses its entry.
  void OnDelete(CTReferenced* dying) override;

  void RegisterDevice(CTDevice*) override {}
  int GetDeviceCount() override { return m_registry.Count(); }
  CTDevice* GetDeviceNo(int index) override;
  CTDevice* GetDevice(uint32_t classID, int deviceID, bool shared) override;
  CTDevice* GetDevice(uint32_t classID, bool shared) override { return GetDevice(classID, -1, shared); }
  CTDevice* GetDevice(const char* className, int deviceID, bool shared) override;
  CTDevice* GetDevice(const char* className, bool shared) override {
    return GetDevice(className, -1, shared);
  }
  bool ShareDevice(CTDevice* device) override;
  void ReleaseDevice(CTDevice* device) override;
  void CreateAllDevices() override;

  // Users of the device of entry index; -1 out of range.
  int GetUseCount(int index) const;
  bool IsExclusive(int index) const;

 protected:
  bool DoStop() override;

 private:
  static constexpr int kMaxStopPicks = 999;

  struct Entry {
    int useCount;
    bool exclusive;
    Ref<CTDevice> device;  // the manager is also a named holder
  };

  // Started and running, or null.
  static CTClassManager* ClassManager();
  // Index of the entry to hand out for the request, -1 for none.
  int FindEntry(uint32_t classID, int deviceID, bool shared) const;
  int IndexOf(const CTDevice* device) const;
  void BuildCandidates();
  // A new instance of the class, named.
  Ref<CTDevice> CreateDevice(ClassDesc* cd);
  // Adds an entry holding the device; returns its index.
  int AddEntry(Ref<CTDevice> device, int useCount, bool exclusive);
  // Drops the entry (the last moves into its place) and the manager's
  // references on its device.
  void RemoveEntry(int index);
  void FreeLists();

  qibo::StepArray<ClassDesc*> m_candidates;
  int m_busy = 0;  // while above zero the registry is not shrunk
  qibo::StepArray<Entry> m_registry;
};
