#include "core/kernel/Kernel.h"

#include <cstring>

#include "core/kernel/DefClassManager.h"
#include "core/kernel/DefServiceManager.h"
#include "core/kernel/ServiceCache.h"
#include "core/object/Ref.h"

namespace {

// The library's service manager, kept from its first use to the end of the
// process (qiBO_Deinit stops it; a later request starts it again). Never
// destroyed with the library's statics, which its services may outlive.
Ref<DefServiceManager>& ServiceManagerSlot() {
  static auto* slot = new Ref<DefServiceManager>();
  return *slot;
}

DefServiceManager* g_serviceManager = nullptr;  // the slot's object, for the lookups

// Creates (once) and starts the service manager; null if it cannot.
[[gnu::noinline]] DefServiceManager* StartServiceManager() {
  if (!g_serviceManager) {
    Ref<DefServiceManager> manager = qibo::Create<DefServiceManager>();
    if (!manager) return nullptr;
    manager->SetClassManagerClass(DefClassManager::_CD());
    g_serviceManager = manager.Get();
    ServiceManagerSlot() = std::move(manager);
  }
  if (!g_serviceManager->IsStarted() && !g_serviceManager->Start()) return nullptr;
  return g_serviceManager;
}

// The library's service manager, created and started on first need. Null
// only if it cannot be created or started. Every service lookup passes
// here, so the running case stays a test and a load.
DefServiceManager* EnsureServiceManager() {
  if (g_serviceManager && g_serviceManager->IsStarted()) return g_serviceManager;
  return StartServiceManager();
}

DefServiceManager* RunningServiceManager() {
  return g_serviceManager && g_serviceManager->IsStarted() ? g_serviceManager : nullptr;
}

}  // namespace

void qiBO_Init() {}

void qiBO_Deinit() {
  qibo::ReleaseCachedServices();
  if (RunningServiceManager()) g_serviceManager->Stop();
}

CTManager* qiBO_GetService(const ClassDesc* cd) {
  DefServiceManager* services = EnsureServiceManager();
  return services ? services->GetService(cd) : nullptr;
}

CTManager* qiBO_GetService(uint32_t id) {
  DefServiceManager* services = EnsureServiceManager();
  return services ? services->GetService(id) : nullptr;
}

CTManager* qiBO_FindService(const ClassDesc* cd) {
  return g_serviceManager ? g_serviceManager->FindService(cd) : nullptr;
}

CTManager* qiBO_FindService(uint32_t id) {
  return g_serviceManager ? g_serviceManager->FindService(id) : nullptr;
}

CTManager* qiBO_GetServiceByName(const char* name) {
  DefServiceManager* services = EnsureServiceManager();
  return services ? services->GetServiceByName(name) : nullptr;
}

CTManager* qiBO_FindServiceByName(const char* name) {
  return g_serviceManager ? g_serviceManager->FindServiceByName(name) : nullptr;
}

void qiBO_GetContext(qiBO_Context* context) {
  if (!context) return;
  memset(context, 0, sizeof(*context));
  context->version = qiBO_Context::kVersion;
  context->serviceManager = EnsureServiceManager();
}

bool qiBO_SetContext(const qiBO_Context* context) {
  if (!context) return false;
  if (context->version != 0 && context->version != qiBO_Context::kVersion) return false;
  if (!context->serviceManager) return false;
  DefServiceManager* services = EnsureServiceManager();
  return services && context->serviceManager == services;
}
