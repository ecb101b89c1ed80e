#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

// Owns every service: creates them on first request from the first
// registered class that implements the requested interface, names them
// after that class's description, reads their settings and starts them;
// stops them all at shutdown.
class CTServiceManager : public CTManager {
  QIBO_CLASS(CTServiceManager)

 public:
  virtual CTManager* GetService(uint32_t id) = 0;
  virtual CTManager* GetService(const ClassDesc* cd) = 0;
  virtual CTManager* GetServiceByName(const char* name) = 0;
  // Only started services; never creates.
  virtual CTManager* FindService(uint32_t id) = 0;
  virtual CTManager* FindService(const ClassDesc* cd) = 0;
  virtual CTManager* FindServiceByName(const char* name) = 0;
  virtual int GetServiceCount() = 0;
  virtual CTManager* GetServiceNo(int index) = 0;
  // Accepted only for a concrete kind of class manager.
  virtual bool SetClassManagerClass(ClassDesc* cd) = 0;
};
