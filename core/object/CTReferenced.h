#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/object/CTBasic.h"

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
  int32_t GetHolderCount() const { return m_holderCount; }
  int32_t GetHolderCapacity() const { return m_holderCapacity; }
  CTBasic* GetHolder(int32_t i) const { return i >= 0 && i < m_holderCount ? m_holders[i] : nullptr; }

 private:
  static constexpr int32_t kHolderStep = 16;

  void NotifyHolders();
  void AddHolder(CTBasic* holder);
  bool RemoveHolder(CTBasic* holder);
  void RemoveAllOf(CTBasic* holder);  // keeps the order of the rest, never shrinks
  void ResizeHolders(int32_t capacity);

  std::atomic<int32_t> m_count{0};
  int32_t m_notifying = 0;
  int32_t m_holderCount = 0;
  int32_t m_holderCapacity = 0;
  std::unique_ptr<CTBasic*[]> m_holders;
};

// Takes an anonymous reference for the lifetime of a scope, so that no early
// return leaks one.
class ScopedRef {
 public:
  explicit ScopedRef(CTReferenced* object) : m_object(object) {
    if (m_object) m_object->AddRef(nullptr);
  }
  ~ScopedRef() {
    if (m_object) m_object->RemoveRef(nullptr);
  }
  ScopedRef(const ScopedRef&) = delete;
  ScopedRef& operator=(const ScopedRef&) = delete;

 private:
  CTReferenced* m_object;
};
