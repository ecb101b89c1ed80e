#include "core/object/ObjectServices.h"

namespace qibo {

namespace {

class NoServices final : public ObjectServices {
 public:
  void Report(CTBasic*, Severity, const char*) override {}
  void ReportCode(CTBasic*, uint32_t) override {}
  uint32_t FrameId() override { return 0; }
  void AddUpdate(CTNamed*, UpdateFn, int32_t, int) override {}
  void RemoveUpdate(CTNamed*, UpdateFn) override {}
  void AddMsg(CTNamed*, int, void*, int32_t, int) override {}
  void RemoveMsg(CTNamed*, int) override {}
  std::unique_ptr<SettingsSection> OpenSettings(const CTBasic*) override { return nullptr; }
  uint32_t RequestNetworkID() override { return 0; }
  void AddNetworkObject(CTStreamed*) override {}
  void RemoveNetworkObject(CTStreamed*) override {}
  void ForgetNetworkObject(CTStreamed*) override {}
  CTStreamed* FindNetworkObject(uint32_t) override { return nullptr; }
  bool IsNetworkMaster() override { return true; }
  bool SendNetworkMessage(uint32_t, int, int32_t) override { return false; }
  bool SendNetworkData(uint32_t, int, void*, int) override { return false; }
  bool SendNetworkStream(CTStreamed*, uint32_t) override { return false; }
};

constinit NoServices g_noServices;
constinit ObjectServices* g_services = nullptr;

}  // namespace

ObjectServices& Services() { return g_services ? *g_services : g_noServices; }

void InstallObjectServices(ObjectServices* services) { g_services = services; }

}  // namespace qibo
