#pragma once

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "core/object/BufferAllocator.h"

namespace qibo {

// The next capacity of a pool or list that is full: 16 more while small,
// half as much again beyond 256, never past INT_MAX.
inline int GrowCapacity(int capacity) {
  const long long grown = capacity < 256 ? capacity + 16LL : capacity + capacity / 2LL;
  return grown > INT_MAX ? INT_MAX : static_cast<int>(grown);
}

// Logs, through the engine's log, that a pool could not get room for count
// elements of size bytes.
void ReportPoolRefused(long long count, size_t size);

}  // namespace qibo

// A growable array of trivially copyable elements with a count and a
// capacity, as the render shape's pools keep them. Add grows by 16 elements
// while small and by half beyond that (so that importers adding hundreds of
// thousands of elements stay linear); Resize grows to exactly the count.
//
// When the memory for more elements cannot be had, the operation is
// refused: it logs an error, answers -1 or false, and the pool stays as it
// was.
template <class T>
class DPool {
 public:
  DPool() = default;
  ~DPool() { Free(); }
  DPool(const DPool&) = delete;
  DPool& operator=(const DPool&) = delete;

  int Count() const { return m_count; }
  int Capacity() const { return m_capacity; }
  T* Data() { return m_data; }
  const T* Data() const { return m_data; }
  T& operator[](int i) { return m_data[i]; }
  const T& operator[](int i) const { return m_data[i]; }

  // Appends a default element and answers its index; -1 when refused.
  int Add();
  int Add(const T& value);
  // New elements are default-initialised; a smaller count keeps the storage.
  bool Resize(int count);
  // Room for at least capacity elements; never shrinks.
  bool Reserve(int capacity);
  // Storage as large as the count, where the system takes the rest back;
  // otherwise the storage stays as it is.
  void Shrink();
  void SetCountUnchecked(int count) { m_count = count; }
  void Free();
  // The other pool's elements; false, nothing copied, when refused.
  bool CopyFrom(const DPool& other);

 private:
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  // Storage for capacity elements (at least 1), keeping the first ones.
  bool Reallocate(int capacity);
  // Room for one more element of a full pool; kept out of line, so that Add
  // stays small enough to inline.
  [[gnu::noinline]] bool Grow();

  int m_count = 0;
  int m_capacity = 0;
  T* m_data = nullptr;
};

// ---- DPool members ----
// Storage is malloc'd raw memory: the elements are trivially copyable, so
// growing is one realloc.

template <class T>
bool DPool<T>::Reallocate(int capacity) {
  void* data = qibo::TryRealloc(static_cast<void*>(m_data), sizeof(T) * static_cast<size_t>(capacity));
  if (!data) {
    qibo::ReportPoolRefused(capacity, sizeof(T));
    return false;
  }
  m_data = static_cast<T*>(data);
  m_capacity = capacity;
  if (m_count > capacity) m_count = capacity;
  return true;
}

template <class T>
bool DPool<T>::Grow() {
  if (m_capacity == INT_MAX) {
    qibo::ReportPoolRefused(INT_MAX + 1LL, sizeof(T));
    return false;
  }
  return Reallocate(qibo::GrowCapacity(m_capacity));
}

template <class T>
int DPool<T>::Add(const T& value) {
  const T copy = value;  // value may live in this pool's storage
  if (m_count == m_capacity && !Grow()) return -1;
  new (m_data + m_count) T(copy);
  return m_count++;
}

template <class T>
int DPool<T>::Add() {
  return Add(T());
}

template <class T>
bool DPool<T>::Resize(int count) {
  if (count < 0) count = 0;
  if (count > m_capacity && !Reallocate(count)) return false;
  for (int i = m_count; i < count; ++i) new (m_data + i) T();
  m_count = count;
  return true;
}

template <class T>
bool DPool<T>::Reserve(int capacity) {
  return capacity <= m_capacity || Reallocate(capacity);
}

template <class T>
void DPool<T>::Shrink() {
  if (m_capacity == m_count) return;
  if (m_count == 0) {
    Free();
    return;
  }
  // Memory given back, not asked for: where the system cannot move the
  // block, the pool keeps it whole.
  if (void* data = std::realloc(static_cast<void*>(m_data), sizeof(T) * static_cast<size_t>(m_count))) {
    m_data = static_cast<T*>(data);
    m_capacity = m_count;
  }
}

template <class T>
void DPool<T>::Free() {
  std::free(static_cast<void*>(m_data));
  m_data = nullptr;
  m_count = 0;
  m_capacity = 0;
}

template <class T>
bool DPool<T>::CopyFrom(const DPool& other) {
  if (this == &other) return true;
  if (other.m_count > m_capacity && !Reallocate(other.m_count)) return false;
  if (other.m_count > 0)
    std::memcpy(static_cast<void*>(m_data), other.m_data, sizeof(T) * static_cast<size_t>(other.m_count));
  m_count = other.m_count;
  return true;
}
