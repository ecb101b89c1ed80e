#pragma once

#include "core/kernel/CTFrontEndManager.h"
#include "core/object/Ref.h"
#include "core/object/StepArray.h"

// The default front-end manager: a list of front ends, each entry holding
// one anonymous reference. Removal moves the last entry into the gap.
// Stopping releases every entry, first one first.
class DefFrontEndManager : public CTFrontEndManager {
  QIBO_CLASS(DefFrontEndManager)

 public:
  DefFrontEndManager() = default;
  ~DefFrontEndManager() override;
  DefFrontEndManager(const DefFrontEndManager&) = delete;
  DefFrontEndManager& operator=(const DefFrontEndManager&) = delete;

  // Front ends may add or remove front ends (themselves included) while
  // being notified: one removed before its turn is skipped, one added is
  // first told of the next notification.
  void NotifyFrontEnds(CTNamed* from, int msg, void* data) override;
  void AddFrontEnd(CTFrontEnd* frontEnd) override;
  void RemoveFrontEnd(CTFrontEnd* frontEnd) override;

  int GetFrontEndCount() const { return m_frontEnds.Count(); }
  // Entry i, or null.
  CTFrontEnd* GetFrontEndNo(int i) const;

 protected:
  bool DoStop() override;

 private:
  int IndexOf(const CTFrontEnd* frontEnd) const;

  qibo::StepArray<Ref<CTFrontEnd>> m_frontEnds;
};
