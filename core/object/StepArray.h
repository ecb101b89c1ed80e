#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace qibo {

// The engine's growable array: its capacity grows and shrinks in steps of
// Step entries (16 everywhere but where a class says otherwise), and a
// removal moves the last entry into the freed slot, so order is kept only by
// appends. Shrinking reallocates; a caller walking the array while entries
// go can hold it back with keepCapacity.
//
// Past 16 steps (a widely shared object's holder list, a huge group) the
// array grows by half and shrinks by half instead, so that filling or
// emptying it costs linear time, not quadratic.
//
// Sixteen bytes, as every referenced object carries one (its holder list):
// a pointer and two 32-bit counts.
template <class T, uint32_t Step = 16>
class StepArray {
 public:
  using iterator = T*;
  using const_iterator = const T*;

  StepArray() = default;
  StepArray(const StepArray&) = delete;
  StepArray& operator=(const StepArray&) = delete;
  ~StepArray() { Clear(); }

  size_t Size() const { return m_size; }
  int Count() const { return static_cast<int>(m_size); }
  bool Empty() const { return m_size == 0; }
  size_t Capacity() const { return m_capacity; }

  T& operator[](size_t i) { return m_items[i]; }
  const T& operator[](size_t i) const { return m_items[i]; }
  T& Back() { return m_items[m_size - 1]; }
  iterator begin() { return m_items; }
  iterator end() { return m_items + m_size; }
  const_iterator begin() const { return m_items; }
  const_iterator end() const { return m_items + m_size; }

  // Index of the first entry equal to item, or -1.
  template <class U>
  int IndexOf(const U& item) const {
    const T* found = std::find(begin(), end(), item);
    return found == end() ? -1 : static_cast<int>(found - begin());
  }
  // Index of the last entry equal to item, or -1: removals often undo the
  // latest additions, which this finds at once.
  template <class U>
  int LastIndexOf(const U& item) const {
    for (uint32_t i = m_size; i-- > 0;)
      if (m_items[i] == item) return static_cast<int>(i);
    return -1;
  }
  template <class U>
  bool Contains(const U& item) const {
    return IndexOf(item) >= 0;
  }

  T& Add(T item) {
    if (m_size == m_capacity) SetCapacity(Grown(m_capacity));
    T* slot = std::construct_at(m_items + m_size, std::move(item));
    ++m_size;
    return *slot;
  }

  // Takes entry i out (the last entry moves into its slot) and hands it back.
  T RemoveAt(size_t i, bool keepCapacity = false) {
    T removed = std::move(m_items[i]);
    if (i + 1 != m_size) m_items[i] = std::move(m_items[m_size - 1]);
    std::destroy_at(m_items + --m_size);
    if (!keepCapacity) ShrinkIfSparse();
    return removed;
  }
  // Removes the first entry equal to item; whether there was one.
  template <class U>
  bool Remove(const U& item) {
    const int i = IndexOf(item);
    if (i < 0) return false;
    RemoveAt(static_cast<size_t>(i));
    return true;
  }
  // Removes every entry the predicate accepts, keeping the order of the rest
  // and the capacity.
  template <class Pred>
  void EraseIf(Pred pred) {
    T* kept = std::remove_if(begin(), end(), pred);
    const auto gone = static_cast<uint32_t>(end() - kept);
    std::destroy(kept, end());
    m_size -= gone;
  }

  // Empties the array and frees its storage.
  void Clear() {
    std::destroy(begin(), end());
    std::allocator<T>().deallocate(m_items, m_capacity);
    m_items = nullptr;
    m_size = 0;
    m_capacity = 0;
  }

 private:
  static constexpr uint32_t kLinearLimit = 16 * Step;

  static uint32_t Grown(uint32_t capacity) {
    if (capacity < kLinearLimit) return capacity + Step;
    return (capacity + capacity / 2 + Step - 1) / Step * Step;
  }
  void ShrinkIfSparse() {
    if (m_capacity <= kLinearLimit) {
      if (m_capacity > m_size + Step) SetCapacity(m_capacity - Step);
    } else if (m_size < m_capacity / 4) {
      SetCapacity(m_capacity / 2);
    }
  }

  void SetCapacity(uint32_t capacity) {
    T* fresh = capacity ? std::allocator<T>().allocate(capacity) : nullptr;
    std::uninitialized_move(begin(), end(), fresh);
    std::destroy(begin(), end());
    std::allocator<T>().deallocate(m_items, m_capacity);
    m_items = fresh;
    m_capacity = capacity;
  }

  T* m_items = nullptr;
  uint32_t m_size = 0;
  uint32_t m_capacity = 0;
};

}  // namespace qibo
