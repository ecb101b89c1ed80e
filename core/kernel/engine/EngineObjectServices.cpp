#include <memory>

#include "core/devices/NetworkApi.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/object/ObjectServices.h"
#include "core/object/Ref.h"
#include "core/persist/SmartRegistry.h"

// Connects the object base to the services: installed when the core library
// loads, so that every object, however early it was made, reports, schedules
// and stores through the running engine.

namespace {

// The message manager, created and started on demand and held for one call.
class MessageManagerCall {
 public:
  MessageManagerCall() : m_manager(qibo::GetService<CTUpdateManager>()), m_hold(m_manager) {}
  CTUpdateManager* operator->() const { return m_manager; }
  explicit operator bool() const { return m_manager && m_manager->IsStarted(); }

 private:
  CTUpdateManager* m_manager;
  Ref<CTUpdateManager> m_hold;
};

class EngineObjectServices final : public qibo::ObjectServices {
 public:
  // Logging never creates the error manager.
  void Report(CTBasic* from, Severity severity, const char* text) override {
    CTErrorManager* errors = qibo::FindService<CTErrorManager>();
    if (!errors) return;
    switch (severity) {
      case Severity::kInfo:
        errors->Info(text, from);
        break;
      case Severity::kWarning:
        errors->Warning(text, from);
        break;
      case Severity::kError:
        errors->Error(text, from);
        break;
    }
  }

  void ReportCode(CTBasic* from, uint32_t code) override {
    if (CTErrorManager* errors = qibo::FindService<CTErrorManager>()) errors->ErrorCode(code, from);
  }

  uint32_t FrameId() override { return qiBO_GetFrameID(); }

  void AddUpdate(CTNamed* object, UpdateFn fn, int32_t period, int count) override {
    if (MessageManagerCall manager; manager) manager->AddUpdate(object, fn, period, count);
  }
  void RemoveUpdate(CTNamed* object, UpdateFn fn) override {
    if (MessageManagerCall manager; manager) manager->RemoveUpdate(object, fn);
  }
  void AddMsg(CTNamed* object, int message, void* data, int32_t delay, int count) override {
    if (MessageManagerCall manager; manager) manager->AddMsg(object, message, data, delay, count);
  }
  void RemoveMsg(CTNamed* object, int message) override {
    if (MessageManagerCall manager; manager) manager->RemoveMsg(object, message);
  }

  std::unique_ptr<qibo::SettingsSection> OpenSettings(const CTBasic* object) override {
    auto registry = std::make_unique<SmartRegistry>();
    if (!registry->Open(object, nullptr)) return nullptr;
    return registry;
  }

  uint32_t RequestNetworkID() override { return qiBO_RequestNetworkID(); }
  void AddNetworkObject(CTStreamed* object) override { qiBO_AddNetworkObject(object); }
  void RemoveNetworkObject(CTStreamed* object) override { qiBO_RemoveNetworkObject(object); }
  void ForgetNetworkObject(CTStreamed* object) override { qibo::ForgetNetworkObject(object); }
  CTStreamed* FindNetworkObject(uint32_t id) override { return qiBO_FindNetworkObject(id); }
  bool IsNetworkMaster() override { return qibo::IsNetworkMaster(); }
  bool SendNetworkMessage(uint32_t id, int message, int32_t value) override {
    return qiBO_SendNetworkMessage(id, message, value);
  }
  bool SendNetworkData(uint32_t id, int message, void* data, int size) override {
    return qiBO_SendNetworkData(id, message, data, size);
  }
  bool SendNetworkStream(CTStreamed* object, uint32_t levelOfDetail) override {
    return qiBO_SendNetworkStream(object, levelOfDetail);
  }
};

constinit EngineObjectServices g_engineServices;
[[maybe_unused]] const bool g_installed = (qibo::InstallObjectServices(&g_engineServices), true);

}  // namespace
