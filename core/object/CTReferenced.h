#pragma once

#include <atomic>
#include <cstdint>

#include "core/object/CTBasic.h"
#include "core/object/StepArray.h"

// Two independent kinds of reference:
// - anonymous (holder null): the lifetime count. Releasing the last one
//   deletes the object; the count is then -1 and further AddRef(nullptr)
//   calls do nothing.
// - named (holder = the referring object): does not keep the object alive,
//   but Delete() tells each holder once through OnDelete so it can drop its
//   pointer. A holder may be listed more than once.
// Only the anonymous count is atomic; the holder list is serialised by the
// callers' own locks.
class CTReferenced : public CTBasic {
  QIBO_CLASS(CTReferenced)

 public:
  CTReferenced() = default;
  // A copy is a new object: count 0, no holders.
  CTReferenced(const CTReferenced& other) : CTBasic(other) {}
  CTReferenced& operator=(const CTReferenced&) { return *this; }
  ~CTReferenced() override;

  void AddRef(CTBasic* holder) {
    if (!holder) {
      if (m_count.load(std::memory_order_relaxed) >= 0) m_count.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    AddHolder(holder);
  }

  // Anonymous: false once the object is dead (and deleted by this call when
  // the count reaches 0). Named: always true.
  bool RemoveRef(CTBasic* holder) {
    if (holder) return RemoveHolder(holder);
    if (m_count.load(std::memory_order_relaxed) < 0) return false;
    if (m_count.fetch_sub(1, std::memory_order_acq_rel) != 1) return true;
    m_count.store(-1, std::memory_order_relaxed);
    Delete();
    return false;
  }

  // Named references both ways.
  void MakeRef(CTReferenced* other);
  void BreakRef(CTReferenced* other);

  void OnDelete(CTReferenced* dying) override;
  void Delete() override;

  int32_t GetRefCount() const { return m_count.load(std::memory_order_relaxed); }
  int32_t GetHolderCount() const { return m_holders.Count(); }
  int32_t GetHolderCapacity() const { return static_cast<int32_t>(m_holders.Capacity()); }
  CTBasic* GetHolder(int32_t i) const {
    return i >= 0 && i < m_holders.Count() ? m_holders[static_cast<size_t>(i)] : nullptr;
  }

 private:
  void NotifyHolders();
  void AddHolder(CTBasic* holder) { m_holders.Add(holder); }
  bool RemoveHolder(CTBasic* holder);
  void RemoveAllOf(CTBasic* holder);  // keeps the order of the rest, never shrinks

  std::atomic<int32_t> m_count{0};
  int32_t m_notifying = 0;
  qibo::StepArray<CTBasic*> m_holders;
};
