#include "core/kernel/DefFrontEndManager.h"

#include "core/kernel/CTFrontEnd.h"

QIBO_IMPLEMENT_CLASS(DefFrontEndManager, CTFrontEndManager, .desc = "Frontend manager",
                     .product = "qiBO DefMgr")

DefFrontEndManager::~DefFrontEndManager() {
  // Normally emptied by DoStop; a manager deleted while holding front ends
  // still gives their references back.
  DoStop();
}

CTFrontEnd* DefFrontEndManager::GetFrontEndNo(int i) const {
  return i >= 0 && i < GetFrontEndCount() ? m_frontEnds[static_cast<size_t>(i)].Get() : nullptr;
}

int DefFrontEndManager::IndexOf(const CTFrontEnd* frontEnd) const {
  for (int i = 0; i < m_frontEnds.Count(); ++i)
    if (m_frontEnds[static_cast<size_t>(i)] == frontEnd) return i;
  return -1;
}

void DefFrontEndManager::NotifyFrontEnds(CTNamed* from, int msg, void* data) {
  // Walk a copy, each front end kept alive, so that a handler that changes
  // the list (or drops the last reference on a front end) cannot pull the
  // walk from under us.
  const std::vector<Ref<CTFrontEnd>> snapshot(m_frontEnds.begin(), m_frontEnds.end());
  for (const Ref<CTFrontEnd>& f : snapshot)
    if (IndexOf(f.Get()) >= 0) f->Notify(from, msg, data);
}

void DefFrontEndManager::AddFrontEnd(CTFrontEnd* frontEnd) {
  if (frontEnd) m_frontEnds.Add(Ref<CTFrontEnd>(frontEnd));
}

void DefFrontEndManager::RemoveFrontEnd(CTFrontEnd* frontEnd) {
  const int i = IndexOf(frontEnd);
  if (i < 0) return;
  // Dropped after the list is consistent: this may delete the front end,
  // whose destructor calls back here.
  Ref<CTFrontEnd> removed = m_frontEnds.RemoveAt(static_cast<size_t>(i));
}

bool DefFrontEndManager::DoStop() {
  while (!m_frontEnds.Empty()) RemoveFrontEnd(m_frontEnds[0].Get());
  return true;
}
