#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

// The record by which a plug-in binds to the kernel that loaded it.
struct qiBO_Context {
  static constexpr uint32_t kVersion = 11;
  uint32_t version;           // word 0: format version, 11
  uint32_t reserved[15];      // words 1-15: 0
  CTManager* serviceManager;  // word 16: pointer-sized here
};

// Kept for symmetry with qiBO_Deinit: everything is created on first use.
void qiBO_Init();
// Drops the API's cached services and stops the service manager, which
// stops every service (each after those that depend on it), the class
// manager last. A later request starts everything again.
void qiBO_Deinit();

// The service for an interface or implementation, created, named,
// configured and started on first request. Null if none can be made.
CTManager* qiBO_GetService(const ClassDesc* cd);
CTManager* qiBO_GetService(uint32_t id);
// A started service, never created.
CTManager* qiBO_FindService(const ClassDesc* cd);
CTManager* qiBO_FindService(uint32_t id);
// By class name, by class name without "CT", or by description, ignoring case.
CTManager* qiBO_GetServiceByName(const char* name);
CTManager* qiBO_FindServiceByName(const char* name);

void qiBO_GetContext(qiBO_Context* context);
// A plug-in's check on entry: true only if the record names this kernel's
// running service manager.
bool qiBO_SetContext(const qiBO_Context* context);

namespace qibo {

// Typed forms of the lookups: the service for interface T, or null.
template <class T>
T* FindService() {
  return static_cast<T*>(qiBO_FindService(T::_CD()));
}
template <class T>
T* GetService() {
  return static_cast<T*>(qiBO_GetService(T::_CD()));
}

}  // namespace qibo
