#pragma once

#include "core/object/CTBasicPtr.h"

// A read-only view of a pointer field as a safe-pointer object, so that an
// object can publish the field as a "CTBasic" property (type 14) without a
// second pointer to keep right. Holds no reference: the field's owner does.
template <class T>
class PtrView final : public CTBasicPtr {
 public:
  explicit PtrView(T* const& slot) : m_slot(slot) {}
  PtrView(const PtrView&) = delete;
  PtrView& operator=(const PtrView&) = delete;

  CTReferenced* GetPtr() const override { return m_slot; }

 private:
  T* const& m_slot;
};
