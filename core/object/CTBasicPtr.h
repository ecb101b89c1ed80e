#pragma once

#include "core/object/CTReferenced.h"

// Base of the safe pointers: holds its target through a named reference, so
// the target's Delete() reaches OnDelete and the pointer clears itself.
class CTBasicPtr : public CTBasic {
  QIBO_CLASS(CTBasicPtr)

 public:
  virtual CTReferenced* GetPtr() const = 0;

 protected:
  CTBasicPtr() = default;
  explicit CTBasicPtr(CTReferenced* target) {
    if (target) target->AddRef(this);
  }

  // Moves this pointer's named reference from old to fresh; returns fresh.
  CTReferenced* ChangePtr(CTReferenced* old, CTReferenced* fresh) {
    if (old == fresh) return fresh;
    if (old) old->RemoveRef(this);
    if (fresh) fresh->AddRef(this);
    return fresh;
  }
};

// Pointer to a CTReferenced that becomes null by itself when its target is
// deleted. Does not keep the target alive.
template <class T>
class SmartPtr final : public CTBasicPtr {
 public:
  SmartPtr() = default;
  SmartPtr(T* target) : CTBasicPtr(target), m_target(target) {}  // NOLINT: implicit by design
  SmartPtr(const SmartPtr& other) : CTBasicPtr(other.m_target), m_target(other.m_target) {}
  ~SmartPtr() override {
    if (m_target) m_target->RemoveRef(this);
  }

  SmartPtr& operator=(T* target) {
    m_target = static_cast<T*>(ChangePtr(m_target, target));
    return *this;
  }
  SmartPtr& operator=(const SmartPtr& other) { return *this = other.m_target; }

  void OnDelete(CTReferenced*) override { m_target = nullptr; }

  CTReferenced* GetPtr() const override { return m_target; }
  T* Get() const { return m_target; }
  T* operator->() const { return m_target; }
  T& operator*() const { return *m_target; }
  explicit operator bool() const { return m_target != nullptr; }

 private:
  T* m_target = nullptr;
};
