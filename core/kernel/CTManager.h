#pragma once

#include <vector>

#include "core/object/CTLogged.h"
#include "core/object/Ref.h"

// Base of every service. A service is started on first request and stopped
// at shutdown; the managers that depend on it (its dependents) are stopped
// before it and kept alive until then.
class CTManager : public CTLogged {
  QIBO_CLASS(CTManager)

 public:
  explicit CTManager(const char* name = nullptr) : CTLogged(name) {}
  ~CTManager() override;

  void DoAddProperties() override;
  void Delete() override;

  // Start: DoStart, then logs "<name> started". Stop: stops the dependents
  // first, then DoStop. A failure leaves the started flag unchanged.
  bool Start();
  bool Stop();
  bool IsStarted() const { return m_started; }

 protected:
  virtual bool DoStart() { return true; }
  virtual bool DoStop() { return true; }

  // The dependent is stopped before this manager; null and duplicates are
  // ignored.
  void AddDependency(CTManager* dependent);

 private:
  void ReleaseDependents();

  bool m_started = false;
  std::vector<Ref<CTManager>> m_dependents;
};
