#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "core/kernel/CTUpdateManager.h"

// The default message manager.
//
// Entries are added to a pending list (queue lock only, any thread) and
// moved to the end of the active list by the next tick or by any remove/set
// operation, so a new entry first runs after the entries already active.
// Removed entries leave null slots in the active list; once more than
// "FlushTreshold" have piled up, the next tick squeezes them out, keeping
// the order of the rest.
//
// Every entry holds a named reference on its target with the manager as
// holder: deleting a target reaches OnDelete, which drops all its entries.
//
// Locks: the active lock guards the active list and the whole tick; the
// queue lock guards the pending and free lists and the manager's named
// references on targets. Always active before queue, never the other way.
// Callbacks run on the ticking thread with the active lock held; they may
// add entries (which wait in pending), remove entries including their own,
// or delete their target.
class DefUpdateManager : public CTUpdateManager {
  QIBO_CLASS(DefUpdateManager)

 public:
  DefUpdateManager() = default;
  ~DefUpdateManager() override;
  DefUpdateManager(const DefUpdateManager&) = delete;
  DefUpdateManager& operator=(const DefUpdateManager&) = delete;

  void OnDelete(CTReferenced* dying) override;
  void DoAddProperties() override;

  void Tick(int32_t elapsed) override;
  void RemoveAll(CTNamed* target) override;
  void AddUpdate(CTNamed* target, UpdateFn fn, int32_t period, int count) override;
  void SetUpdateRemaining(CTNamed* target, UpdateFn fn, int32_t remaining) override;
  void RemoveUpdate(CTNamed* target, UpdateFn fn) override;
  void RemoveAllUpdates(CTNamed* target) override;
  void AddMsg(CTNamed* target, int message, void* data, int32_t delay, int count) override;
  void SetMsgRemaining(CTNamed* target, int message, int32_t remaining) override;
  void SetMsgData(CTNamed* target, int message, void* data) override;
  void RemoveMsg(CTNamed* target, int message) override;
  void RemoveAllMsgs(CTNamed* target) override;
  void SendNow(CTNamed* target, int message, void* data) override;

  // Entries waiting for the next tick / slots of the active list (null
  // slots included); for diagnostics and tests.
  int GetPendingCount();
  int GetActiveSlotCount();

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  // One queued message or update.
  struct Entry {
    CTNamed* target;
    UpdateFn fn;        // null for a message
    int message;        // 0 for an update
    void* data;         // null for an update
    int count;          // 1 once, n > 1 n times, -1 until removed
    int32_t remaining;  // time left until it fires
    int32_t period;     // re-armed with this after each firing
    int32_t armed;      // remaining when last armed
  };

  // What a remove or set operation looks for.
  enum class Match { kAll, kUpdates, kUpdateFn, kMessages, kMessageNo };
  struct Filter {
    const CTReferenced* target;
    Match kind;
    UpdateFn fn;
    int message;
    bool Accepts(const Entry& e) const;
  };

  static constexpr int kDefaultFlushTreshold = 40;
  static constexpr size_t kRecordBlock = 64;

  void Add(CTNamed* target, UpdateFn fn, int message, void* data, int32_t delay, int count);
  // Both under the active lock.
  void MergePending();
  void RemoveMatching(const Filter& filter);
  Entry* FindFirst(const Filter& filter);
  // Nulls the slot, drops the reference and recycles the record.
  void RemoveAt(size_t slot);
  void Compact();
  // Drops every entry's reference and recycles all records; both locks held.
  void ReleaseAll();
  Entry* TakeRecord();  // queue lock held

  std::recursive_mutex m_activeLock;
  std::recursive_mutex m_queueLock;
  int m_flushTreshold = kDefaultFlushTreshold;
  int m_deadCount = 0;
  bool m_ticking = false;
  std::vector<Entry*> m_free;
  std::vector<Entry*> m_pending;
  std::vector<Entry*> m_active;
  // Records are carved from blocks so that the tick walks mostly contiguous
  // memory; a block lives until the manager stops or is destroyed.
  std::vector<std::unique_ptr<Entry[]>> m_blocks;
};
