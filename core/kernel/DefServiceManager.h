#pragma once

#include <utility>
#include <vector>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/object/Ref.h"

class DefServiceManager : public CTServiceManager {
  QIBO_CLASS(DefServiceManager)

 public:
  DefServiceManager() = default;
  ~DefServiceManager() override;

  CTManager* GetService(uint32_t id) override;
  CTManager* GetService(const ClassDesc* cd) override;
  CTManager* GetServiceByName(const char* name) override;
  CTManager* FindService(uint32_t id) override;
  CTManager* FindService(const ClassDesc* cd) override;
  CTManager* FindServiceByName(const char* name) override;
  int GetServiceCount() override { return static_cast<int>(m_services.size()); }
  CTManager* GetServiceNo(int index) override;
  bool SetClassManagerClass(ClassDesc* cd) override;

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  static constexpr uint32_t kBuckets = 17;
  using Entry = std::pair<uint32_t, CTManager*>;

  // Creates the class manager on first need; null if it cannot be started.
  CTClassManager* EnsureClassManager();
  CTManager* Lookup(uint32_t id) const;
  CTManager* CreateService(const ClassDesc* cd);
  // Adds the service under its own class ID and each ancestor's up to, not
  // including, CTManager; and to the list, holding a reference.
  void Enter(CTManager* service);
  void Forget(CTManager* service);
  void Adopt(CTManager* service);

  ClassDesc* m_classManagerClass = nullptr;
  bool m_stopping = false;
  Ref<CTClassManager> m_classManager;
  std::vector<Entry> m_buckets[kBuckets];
  std::vector<Ref<CTManager>> m_services;  // this manager's own entry included
  uint32_t m_randomState = 0x2545F491;
};
