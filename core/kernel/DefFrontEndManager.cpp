#include "core/kernel/DefFrontEndManager.h"

#include <algorithm>

#include "core/kernel/CTFrontEnd.h"

QIBO_IMPLEMENT_CLASS(DefFrontEndManager, CTFrontEndManager, .desc = "Frontend manager",
                     .product = "qiBO DefMgr")

DefFrontEndManager::~DefFrontEndManager() {
  // Normally emptied by DoStop; a manager deleted while holding front ends
  // still gives their references back.
  while (!m_frontEnds.empty()) RemoveFrontEnd(m_frontEnds.front());
}

CTFrontEnd* DefFrontEndManager::GetFrontEndNo(int i) const {
  return i >= 0 && i < GetFrontEndCount() ? m_frontEnds[static_cast<size_t>(i)] : nullptr;
}

bool DefFrontEndManager::IsListed(const CTFrontEnd* frontEnd) const {
  return std::find(m_frontEnds.begin(), m_frontEnds.end(), frontEnd) != m_frontEnds.end();
}

void DefFrontEndManager::SetCapacity(size_t capacity) {
  std::vector<CTFrontEnd*> resized;
  resized.reserve(capacity);
  resized.assign(m_frontEnds.begin(), m_frontEnds.end());
  m_frontEnds.swap(resized);
}

void DefFrontEndManager::NotifyFrontEnds(CTNamed* from, int msg, void* data) {
  // Walk a copy, each front end kept alive, so that a handler that changes
  // the list (or drops the last reference on a front end) cannot pull the
  // walk from under us.
  const std::vector<CTFrontEnd*> snapshot = m_frontEnds;
  for (CTFrontEnd* f : snapshot) f->AddRef(nullptr);
  for (CTFrontEnd* f : snapshot)
    if (IsListed(f)) f->Notify(from, msg, data);
  for (CTFrontEnd* f : snapshot) f->RemoveRef(nullptr);
}

void DefFrontEndManager::AddFrontEnd(CTFrontEnd* frontEnd) {
  if (!frontEnd) return;
  frontEnd->AddRef(nullptr);
  if (m_frontEnds.size() == m_frontEnds.capacity()) SetCapacity(m_frontEnds.capacity() + kGrowStep);
  m_frontEnds.push_back(frontEnd);
}

void DefFrontEndManager::RemoveFrontEnd(CTFrontEnd* frontEnd) {
  auto found = std::find(m_frontEnds.begin(), m_frontEnds.end(), frontEnd);
  if (found == m_frontEnds.end()) return;
  *found = m_frontEnds.back();
  m_frontEnds.pop_back();
  if (m_frontEnds.capacity() > m_frontEnds.size() + kGrowStep)
    SetCapacity(m_frontEnds.capacity() - kGrowStep);
  // Last: this may delete the front end, whose destructor calls back here.
  frontEnd->RemoveRef(nullptr);
}

bool DefFrontEndManager::DoStop() {
  while (!m_frontEnds.empty()) RemoveFrontEnd(m_frontEnds.front());
  return true;
}
