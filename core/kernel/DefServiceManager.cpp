#include "core/kernel/DefServiceManager.h"

#include <algorithm>

#include "core/kernel/CTClassManager.h"

QIBO_IMPLEMENT_CLASS(CTServiceManager, CTManager, .desc = "Service manager", .isAbstract = true)
QIBO_IMPLEMENT_CLASS(DefServiceManager, CTServiceManager, .desc = "Service manager", .product = "qiBO DefMgr")

namespace {

constexpr int kMaxStopPasses = 999;
constexpr int kMaxStalledPasses = 10;

bool IsKindOf(const ClassDesc* cd, const ClassDesc* base) {
  return cd && base && cd->CheckGroupID(base->ID());
}

}  // namespace

DefServiceManager::~DefServiceManager() {
  // Normally emptied by DoStop; a manager deleted while holding services
  // still gives their references back, last first. Its own entry is let go
  // without touching the count of an object being destroyed.
  for (auto& bucket : m_buckets) bucket.clear();
  for (Ref<CTManager>& service : m_services)
    if (service == this) (void)service.Release();
  while (!m_services.empty()) {
    Ref<CTManager> last = std::move(m_services.back());
    m_services.pop_back();
  }
}

bool DefServiceManager::SetClassManagerClass(ClassDesc* cd) {
  if (!IsKindOf(cd, CTClassManager::_CD()) || cd->Abstract()) return false;
  m_classManagerClass = cd;
  return true;
}

CTManager* DefServiceManager::Lookup(uint32_t id) const {
  for (const Entry& e : m_buckets[id % kBuckets])
    if (e.first == id) return e.second;
  return nullptr;
}

void DefServiceManager::Enter(CTManager* service) {
  for (const ClassDesc* cd = service->GetCD(); cd && cd != CTManager::_CD(); cd = cd->GetInheritedCD())
    m_buckets[cd->ID() % kBuckets].emplace_back(cd->ID(), service);
}

void DefServiceManager::Forget(CTManager* service) {
  for (auto& bucket : m_buckets)
    bucket.erase(
        std::remove_if(bucket.begin(), bucket.end(), [&](const Entry& e) { return e.second == service; }),
        bucket.end());
}

// Takes the list's reference, enters the service in the table, names it
// after its class's description and reads its settings.
void DefServiceManager::Adopt(CTManager* service) {
  m_services.emplace_back(service);
  Enter(service);
  service->SetName(service->GetCD()->GetDesc().c_str());
  service->ReadProperties();
}

bool DefServiceManager::DoStart() {
  m_stopping = false;
  m_services.emplace_back(this);
  Enter(this);
  SetName(GetCD()->GetDesc().c_str());
  ReadProperties();
  return true;
}

CTClassManager* DefServiceManager::EnsureClassManager() {
  if (!m_classManager) {
    if (!m_classManagerClass) return nullptr;
    Ref<CTClassManager> manager = qibo::CreateAs<CTClassManager>(m_classManagerClass);
    if (!manager) return nullptr;
    m_classManager = manager;
    Adopt(manager.Get());
  }
  if (!m_classManager->IsStarted() && !m_classManager->Start()) return nullptr;
  return m_classManager.Get();
}

CTManager* DefServiceManager::GetService(uint32_t id) {
  if (CTManager* service = Lookup(id)) {
    if (!service->IsStarted()) service->Start();
    return service;
  }
  CTClassManager* classes = EnsureClassManager();
  if (!classes) return nullptr;
  return CreateService(classes->FindClassDesc(id));
}

CTManager* DefServiceManager::GetService(const ClassDesc* cd) {
  if (!cd) return nullptr;
  if (CTManager* service = Lookup(cd->ID())) {
    if (!service->IsStarted()) service->Start();
    return service;
  }
  return CreateService(cd);
}

CTManager* DefServiceManager::GetServiceByName(const char* name) {
  CTClassManager* classes = EnsureClassManager();
  return classes ? GetService(classes->FindClassDescByNameIC(name)) : nullptr;
}

CTManager* DefServiceManager::FindService(uint32_t id) {
  CTManager* service = Lookup(id);
  return service && service->IsStarted() ? service : nullptr;
}

CTManager* DefServiceManager::FindService(const ClassDesc* cd) {
  return cd ? FindService(cd->ID()) : nullptr;
}

CTManager* DefServiceManager::FindServiceByName(const char* name) {
  CTClassManager* classes = EnsureClassManager();
  return classes ? FindService(classes->FindClassDescByNameIC(name)) : nullptr;
}

CTManager* DefServiceManager::GetServiceNo(int index) {
  if (index < 0 || index >= GetServiceCount()) return nullptr;
  return m_services[static_cast<size_t>(index)].Get();
}

CTManager* DefServiceManager::CreateService(const ClassDesc* cd) {
  if (!IsKindOf(cd, CTManager::_CD())) return nullptr;
  auto* object = static_cast<CTBasic*>(const_cast<ClassDesc*>(cd)->Create());
  if (!object) {
    // An abstract interface: the first registered class that implements it.
    CTClassManager* classes = EnsureClassManager();
    if (!classes) return nullptr;
    if (IsKindOf(classes->GetCD(), cd)) return classes;
    const int count = classes->GetClassDescCount();
    for (int i = 0; i < count && !object; ++i) {
      ClassDesc* candidate = classes->GetClassDescNo(i);
      if (IsKindOf(candidate, cd)) object = static_cast<CTBasic*>(candidate->Create());
    }
    if (!object) return nullptr;
  }
  Ref<CTManager> service(qibo::Cast<CTManager>(object));
  if (!service) {
    object->Delete();
    return nullptr;
  }
  Adopt(service.Get());
  service->Start();
  return service.Get();
}

bool DefServiceManager::DoStop() {
  if (m_stopping) return true;
  m_stopping = true;

  // Stop everything but the class manager and this manager, in random
  // order: each Stop() stops its dependents first, so the order still
  // respects dependencies, and a service that refuses is given up on after
  // a few passes in which nothing moved.
  auto isOther = [&](const Ref<CTManager>& s) {
    return s != this && s != m_classManager.Get() && s->IsStarted();
  };
  int previous = -1;
  int stalled = 0;
  for (int pass = 0; pass < kMaxStopPasses; ++pass) {
    const int running = static_cast<int>(std::count_if(m_services.begin(), m_services.end(), isOther));
    if (running == 0) break;
    stalled = running == previous ? stalled + 1 : 0;
    if (stalled >= kMaxStalledPasses) break;
    previous = running;
    size_t pick;
    do {
      m_randomState = m_randomState * 1664525u + 1013904223u;
      pick = (m_randomState >> 8) % m_services.size();
    } while (!isOther(m_services[pick]));
    if (m_services[pick]->Stop()) {
      Ref<CTManager> stopped = std::move(m_services[pick]);
      Forget(stopped.Get());
      m_services[pick] = std::move(m_services.back());
      m_services.pop_back();
    }
  }

  if (m_classManager) m_classManager->Stop();

  // Release what is left (the class manager and services that refused to
  // stop), each taken out of the table before it can go away.
  Ref<CTManager> self;
  auto own = std::find(m_services.begin(), m_services.end(), this);
  if (own != m_services.end()) {
    self = std::move(*own);
    m_services.erase(own);
  }
  while (!m_services.empty()) {
    Ref<CTManager> last = std::move(m_services.back());
    m_services.pop_back();
    Forget(last.Get());
  }
  for (auto& bucket : m_buckets) {
    bucket.clear();
    bucket.shrink_to_fit();
  }

  Ref<CTClassManager> classes = std::move(m_classManager);
  classes.Reset();
  m_stopping = false;
  return true;  // self, the reference DoStart took, goes last
}
