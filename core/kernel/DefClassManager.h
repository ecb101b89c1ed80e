#pragma once

#include <utility>
#include <vector>

#include "core/kernel/CTClassManager.h"

class DefClassManager : public CTClassManager {
  QIBO_CLASS(DefClassManager)

 public:
  void RegisterClass(ClassDesc* cd) override;
  void UnregisterClass(ClassDesc* cd) override;
  ClassDesc* FindClassDesc(uint32_t id) override;
  ClassDesc* FindClassDescByName(const char* name) override;
  ClassDesc* FindClassDescByNameIC(const char* name) override;
  CTBasic* CreateClass(uint32_t id) override;
  CTBasic* CreateClassByName(const char* name) override;
  CTBasic* CreateClassByNameIC(const char* name) override;
  int GetClassDescCount() override { return static_cast<int>(m_registry.size()); }
  ClassDesc* GetClassDescNo(int index) override;
  QIBO_String GetClassName(uint32_t id) override;
  uint32_t GetClassID(const char* name) override;

  // How often the descriptor is registered; 0 if it is not.
  int32_t GetRegistrationCount(const ClassDesc* cd) const;

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  using Registration = std::pair<ClassDesc*, int32_t>;

  void RegisterOne(ClassDesc* cd);
  void UnregisterOne(ClassDesc* cd);
  ClassDesc* NotFound(const char* name);

  // Every descriptor registered and not yet fully unregistered, with its
  // count, even while the registry holds another descriptor for its ID.
  std::vector<Registration> m_registrations;
  // The active descriptors, one per ID, in order of first registration.
  std::vector<ClassDesc*> m_registry;
};
