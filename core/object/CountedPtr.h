#pragma once

#include <utility>

#include "core/object/CTBasicPtr.h"

// An owning pointer that is also a safe pointer: it holds one anonymous
// reference (keeps the target alive) and one named reference (so a target
// deleted from outside regardless leaves it empty instead of dangling).
// The scene graph holds its shapes, volumes and materials this way, and
// publishes them as "CTBasic" properties (type 14).
template <class T>
class CountedPtr final : public CTBasicPtr {
 public:
  CountedPtr() = default;
  explicit CountedPtr(T* target) { Take(target); }
  CountedPtr(const CountedPtr& other) : CTBasicPtr() { Take(other.m_target); }
  CountedPtr& operator=(const CountedPtr& other) { return *this = other.m_target; }
  ~CountedPtr() override { Reset(); }

  CountedPtr& operator=(T* target) {
    if (target == m_target) return *this;
    T* old = m_target;
    Take(target);
    Drop(old);  // last: dropping may delete the old target
    return *this;
  }
  void Reset() { *this = nullptr; }

  void OnDelete(CTReferenced*) override { m_target = nullptr; }

  CTReferenced* GetPtr() const override { return m_target; }
  T* Get() const { return m_target; }
  T* operator->() const { return m_target; }
  T& operator*() const { return *m_target; }
  explicit operator bool() const { return m_target != nullptr; }

 private:
  void Take(T* target) {
    m_target = target;
    if (!target) return;
    target->AddRef(nullptr);
    target->AddRef(this);
  }
  void Drop(T* target) {
    if (!target) return;
    target->RemoveRef(this);
    target->RemoveRef(nullptr);
  }

  T* m_target = nullptr;
};
