#include "core/kernel/DefUpdateManager.h"

#include <algorithm>
#include <limits>

QIBO_IMPLEMENT_CLASS(DefUpdateManager, CTUpdateManager, .desc = "Message manager", .product = "qiBO DefMgr")

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

int32_t Saturate(int64_t value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

bool DefUpdateManager::Filter::Accepts(const Entry& e) const {
  if (e.target != target) return false;
  switch (kind) {
    case Match::kAll:
      return true;
    case Match::kUpdates:
      return e.fn != nullptr;
    case Match::kUpdateFn:
      return e.fn != nullptr && e.fn == fn;
    // An update's message number is 0: message operations leave updates alone.
    case Match::kMessages:
      return e.fn == nullptr;
    case Match::kMessageNo:
      return e.fn == nullptr && e.message == message;
  }
  return false;
}

DefUpdateManager::~DefUpdateManager() {
  // Entries queued while the manager was never started (or after it stopped)
  // still hold named references; a target must not call back into a freed
  // manager when it dies.
  Lock active(m_activeLock);
  Lock queue(m_queueLock);
  ReleaseAll();
}

void DefUpdateManager::DoAddProperties() {
  CTUpdateManager::DoAddProperties();
  AddProperty(DProperty(m_flushTreshold, "FlushTreshold"), DefUpdateManager::_CD());
}

void DefUpdateManager::OnDelete(CTReferenced* dying) {
  // A target is being deleted: nothing may reach it any more.
  RemoveMatching({dying, Match::kAll, nullptr, 0});
  CTUpdateManager::OnDelete(dying);
}

bool DefUpdateManager::DoStart() {
  Lock active(m_activeLock);
  m_deadCount = 0;
  return true;
}

bool DefUpdateManager::DoStop() {
  Lock active(m_activeLock);
  Lock queue(m_queueLock);
  ReleaseAll();
  m_free.clear();
  m_free.shrink_to_fit();
  m_blocks.clear();
  return true;
}

void DefUpdateManager::ReleaseAll() {
  MergePending();
  for (size_t i = 0; i < m_active.size(); ++i)
    if (m_active[i]) RemoveAt(i);
  m_active.clear();
  m_deadCount = 0;
}

// --- Adding (queue lock only) ---

DefUpdateManager::Entry* DefUpdateManager::TakeRecord() {
  if (m_free.empty()) {
    m_blocks.push_back(std::make_unique<Entry[]>(kRecordBlock));
    Entry* block = m_blocks.back().get();
    // Handed out in address order.
    for (size_t i = kRecordBlock; i-- > 0;) m_free.push_back(block + i);
  }
  Entry* e = m_free.back();
  m_free.pop_back();
  return e;
}

void DefUpdateManager::Add(CTNamed* target, UpdateFn fn, int message, void* data, int32_t delay, int count) {
  if (!target) return;
  Lock queue(m_queueLock);
  Entry* e = TakeRecord();
  *e = Entry{target, fn, message, data, count, delay, delay, delay};
  target->AddRef(this);
  m_pending.push_back(e);
}

void DefUpdateManager::AddUpdate(CTNamed* target, UpdateFn fn, int32_t period, int count) {
  if (!fn) return;  // a null function would turn the entry into message 0
  Add(target, fn, 0, nullptr, period, count);
}

void DefUpdateManager::AddMsg(CTNamed* target, int message, void* data, int32_t delay, int count) {
  Add(target, nullptr, message, data, delay, count);
}

// --- Removing and changing (active lock) ---

void DefUpdateManager::MergePending() {
  Lock queue(m_queueLock);
  if (m_pending.empty()) return;
  m_active.insert(m_active.end(), m_pending.begin(), m_pending.end());
  m_pending.clear();
}

void DefUpdateManager::RemoveAt(size_t slot) {
  Entry* e = m_active[slot];
  m_active[slot] = nullptr;
  ++m_deadCount;
  Lock queue(m_queueLock);
  e->target->RemoveRef(this);
  e->target = nullptr;
  m_free.push_back(e);
}

void DefUpdateManager::RemoveMatching(const Filter& filter) {
  if (!filter.target) return;
  Lock active(m_activeLock);
  MergePending();
  for (size_t i = 0; i < m_active.size(); ++i)
    if (m_active[i] && filter.Accepts(*m_active[i])) RemoveAt(i);
}

DefUpdateManager::Entry* DefUpdateManager::FindFirst(const Filter& filter) {
  MergePending();
  for (Entry* e : m_active)
    if (e && filter.Accepts(*e)) return e;
  return nullptr;
}

void DefUpdateManager::RemoveAll(CTNamed* target) { RemoveMatching({target, Match::kAll, nullptr, 0}); }

void DefUpdateManager::RemoveUpdate(CTNamed* target, UpdateFn fn) {
  RemoveMatching({target, Match::kUpdateFn, fn, 0});
}

void DefUpdateManager::RemoveAllUpdates(CTNamed* target) {
  RemoveMatching({target, Match::kUpdates, nullptr, 0});
}

void DefUpdateManager::RemoveMsg(CTNamed* target, int message) {
  RemoveMatching({target, Match::kMessageNo, nullptr, message});
}

void DefUpdateManager::RemoveAllMsgs(CTNamed* target) {
  RemoveMatching({target, Match::kMessages, nullptr, 0});
}

void DefUpdateManager::SetUpdateRemaining(CTNamed* target, UpdateFn fn, int32_t remaining) {
  if (!target) return;
  Lock active(m_activeLock);
  if (Entry* e = FindFirst({target, Match::kUpdateFn, fn, 0})) e->remaining = remaining;
}

void DefUpdateManager::SetMsgRemaining(CTNamed* target, int message, int32_t remaining) {
  if (!target) return;
  Lock active(m_activeLock);
  if (Entry* e = FindFirst({target, Match::kMessageNo, nullptr, message})) e->remaining = remaining;
}

void DefUpdateManager::SetMsgData(CTNamed* target, int message, void* data) {
  if (!target) return;
  Lock active(m_activeLock);
  if (Entry* e = FindFirst({target, Match::kMessageNo, nullptr, message})) e->data = data;
}

void DefUpdateManager::SendNow(CTNamed* target, int message, void* data) {
  if (!target) return;
  Lock active(m_activeLock);
  target->OnMessage(message, data);
}

int DefUpdateManager::GetPendingCount() {
  Lock queue(m_queueLock);
  return static_cast<int>(m_pending.size());
}

int DefUpdateManager::GetActiveSlotCount() {
  Lock active(m_activeLock);
  return static_cast<int>(m_active.size());
}

// --- The tick ---

void DefUpdateManager::Compact() {
  m_active.erase(std::remove(m_active.begin(), m_active.end(), nullptr), m_active.end());
  m_deadCount = 0;
}

void DefUpdateManager::Tick(int32_t elapsed) {
  Lock active(m_activeLock);
  // A tick from inside a callback would compact the list under the running
  // loop and fire entries twice in one frame.
  if (m_ticking) return;
  m_ticking = true;
  if (m_deadCount > m_flushTreshold) Compact();
  MergePending();
  // By index, re-reading the size: a callback may merge new entries (they
  // run later in this tick) and the list may reallocate.
  for (size_t i = 0; i < m_active.size(); ++i) {
    Entry* e = m_active[i];
    if (!e) continue;
    const int32_t left = Saturate(int64_t{e->remaining} - elapsed);
    e->remaining = left;
    if (left > 0) continue;
    // Time since the entry was armed, overshoot included.
    const auto since = static_cast<int32_t>(int64_t{e->armed} - left);
    if (e->fn)
      (e->target->*(e->fn))(since);
    else
      e->target->OnMessage(e->message, e->data);
    // The callback may have removed the entry, deleted its target or
    // stopped the manager.
    if (i >= m_active.size() || m_active[i] != e) continue;
    if (e->count == 1) {
      RemoveAt(i);
      continue;
    }
    if (e->count > 0) --e->count;
    e->remaining = Saturate(std::max<int64_t>(int64_t{e->remaining} + e->period, 0));
    e->armed = e->remaining;
  }
  m_ticking = false;
}
