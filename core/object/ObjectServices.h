#pragma once

#include <cstdint>
#include <memory>

class CTBasic;
class CTNamed;
class CTStreamed;
class DProperty;

// Periodic update callback: a member function of a CTNamed (or of a derived
// class, converted with qibo::AsUpdate) that receives the time elapsed since
// its entry was last armed, in the tick's units (milliseconds).
using UpdateFn = void (CTNamed::*)(int32_t elapsed);

namespace qibo {

// One object's section of the settings file, open until destroyed.
class SettingsSection {
 public:
  virtual ~SettingsSection() = default;
  virtual bool Read(DProperty& property) = 0;
  virtual bool Write(DProperty& property) = 0;
};

// What the object base asks of the services above it: the error log, the
// frame counter, the message manager, the settings file and the network
// session. The engine installs its implementation when the core library
// loads; until then (and for each call the running services cannot serve)
// the object base gets the answers of an engine without services: reports
// go nowhere, the frame is 0, updates and messages are not scheduled, there
// are no stored settings, and this program owns every object it shares.
class ObjectServices {
 public:
  enum class Severity { kInfo, kWarning, kError };

  // A message from the object's log, for the running error manager (never
  // created for the purpose): a text, or an error code.
  virtual void Report(CTBasic* from, Severity severity, const char* text) = 0;
  virtual void ReportCode(CTBasic* from, uint32_t code) = 0;
  virtual uint32_t FrameId() = 0;

  // The message manager, created and started on demand; count -1 repeats.
  virtual void AddUpdate(CTNamed* object, UpdateFn fn, int32_t period, int count) = 0;
  virtual void RemoveUpdate(CTNamed* object, UpdateFn fn) = 0;
  virtual void AddMsg(CTNamed* object, int message, void* data, int32_t delay, int count) = 0;
  virtual void RemoveMsg(CTNamed* object, int message) = 0;

  // The object's section of the settings file, or null when it cannot be
  // opened.
  virtual std::unique_ptr<SettingsSection> OpenSettings(const CTBasic* object) = 0;

  // The network session's object table and broadcasts.
  virtual uint32_t RequestNetworkID() = 0;
  virtual void AddNetworkObject(CTStreamed* object) = 0;
  virtual void RemoveNetworkObject(CTStreamed* object) = 0;
  // The object is being destroyed: it leaves the table, which drops no
  // reference on it.
  virtual void ForgetNetworkObject(CTStreamed* object) = 0;
  virtual CTStreamed* FindNetworkObject(uint32_t id) = 0;
  virtual bool IsNetworkMaster() = 0;
  virtual bool SendNetworkMessage(uint32_t id, int message, int32_t value) = 0;
  virtual bool SendNetworkData(uint32_t id, int message, void* data, int size) = 0;
  virtual bool SendNetworkStream(CTStreamed* object, uint32_t levelOfDetail) = 0;

 protected:
  ~ObjectServices() = default;
};

// The installed services, or the answers of an engine without services.
ObjectServices& Services();
// Installs the engine's implementation (not owned; it must outlive every
// object). nullptr goes back to the engine without services.
void InstallObjectServices(ObjectServices* services);

}  // namespace qibo
