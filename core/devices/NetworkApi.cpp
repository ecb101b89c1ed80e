#include "core/devices/NetworkApi.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/devices/CTNetworkManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/ServiceCache.h"

namespace {

thread_local CTNetworkManager* t_scoped = nullptr;

// Every network manager alive, so that an object leaving a table finds the
// table it is in. Never destroyed: objects may leave tables during the
// library's static destruction.
struct LiveManagers {
  std::mutex lock;
  std::vector<CTNetworkManager*> managers;
};
LiveManagers& Live() {
  static LiveManagers* live = new LiveManagers();
  return *live;
}

// The manager this thread works with; create: the service is made and
// started when there is none.
CTNetworkManager* Current(bool create) {
  if (t_scoped) return t_scoped;
  if (create) {
    return static_cast<CTNetworkManager*>(
        qibo::GetCachedService(qibo::CachedService::Network, CTNetworkManager::_CD()->ID()));
  }
  if (CTManager* cached = qibo::PeekCachedService(qibo::CachedService::Network)) {
    return static_cast<CTNetworkManager*>(cached);
  }
  return static_cast<CTNetworkManager*>(qiBO_FindService(CTNetworkManager::_CD()));
}

// The manager whose table holds object: the current one first, else any.
CTNetworkManager* Holder(const CTStreamed* object) {
  if (CTNetworkManager* current = Current(false); current && current->HasNetworkObject(object))
    return current;
  LiveManagers& live = Live();
  std::lock_guard hold(live.lock);
  for (CTNetworkManager* manager : live.managers)
    if (manager->HasNetworkObject(object)) return manager;
  return nullptr;
}

}  // namespace

uint32_t qiBO_RequestNetworkID() {
  CTNetworkManager* manager = Current(true);
  return manager ? manager->RequestNetworkID() : 0;
}

void qiBO_AddNetworkObject(CTStreamed* object) {
  if (CTNetworkManager* manager = Current(true); manager && object) manager->AddNetworkObject(object);
}

CTStreamed* qiBO_FindNetworkObject(uint32_t id) {
  CTNetworkManager* manager = Current(false);
  return manager ? manager->FindNetworkObject(id) : nullptr;
}

void qiBO_RemoveNetworkObject(CTStreamed* object) {
  if (CTNetworkManager* manager = object ? Holder(object) : nullptr) manager->RemoveNetworkObject(object);
}

bool qiBO_SendNetworkMessage(uint32_t id, int message, int32_t value) {
  CTNetworkManager* manager = Current(true);
  return manager && manager->SendNetworkMessage(id, message, value);
}

bool qiBO_SendNetworkData(uint32_t id, int message, void* data, int size) {
  CTNetworkManager* manager = Current(true);
  return manager && manager->SendNetworkData(id, message, data, size);
}

bool qiBO_SendNetworkStream(CTStreamed* object, uint32_t levelOfDetail) {
  CTNetworkManager* manager = Current(true);
  return manager && object && manager->SendNetworkStream(object, levelOfDetail);
}

namespace qibo {

bool IsNetworkMaster() {
  CTNetworkManager* manager = Current(false);
  return !manager || manager->IsMasterCopy();
}

void ForgetNetworkObject(CTStreamed* object) {
  if (CTNetworkManager* manager = object ? Holder(object) : nullptr) manager->ForgetNetworkObject(object);
}

NetworkScope::NetworkScope(CTNetworkManager* manager) : m_previous(t_scoped) { t_scoped = manager; }

NetworkScope::~NetworkScope() { t_scoped = m_previous; }

void AddLiveNetworkManager(CTNetworkManager* manager) {
  LiveManagers& live = Live();
  std::lock_guard hold(live.lock);
  live.managers.push_back(manager);
}

void RemoveLiveNetworkManager(CTNetworkManager* manager) {
  LiveManagers& live = Live();
  std::lock_guard hold(live.lock);
  std::erase(live.managers, manager);
  if (t_scoped == manager) t_scoped = nullptr;
}

}  // namespace qibo
