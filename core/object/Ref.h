#pragma once

#include <utility>

#include "core/object/CTReferenced.h"

// Holds one anonymous (owning) reference on a CTReferenced object, so that no
// early return leaks one and no path drops one twice. Copying takes another
// reference; moving hands the same one over. The object is deleted when the
// last anonymous reference goes, whoever held it.
//
//   Ref<CTPackageFile> package = qibo::Create<CTPackageFile>();
//   if (!package || !package->Open(path)) return false;  // deleted here
//   m_packages.push_back(std::move(package));            // or kept
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* object) : m_object(object) {
    if (m_object) m_object->AddRef(nullptr);
  }
  Ref(const Ref& other) : Ref(other.m_object) {}
  Ref(Ref&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  template <class U>
  Ref(Ref<U>&& other) noexcept : m_object(other.Release()) {}  // NOLINT: upcast as a pointer would
  Ref& operator=(Ref other) noexcept {
    std::swap(m_object, other.m_object);
    return *this;
  }
  ~Ref() { Reset(); }

  // Takes over a reference the caller already holds, without adding one.
  static Ref Adopt(T* object) {
    Ref ref;
    ref.m_object = object;
    return ref;
  }

  // Drops the reference (possibly deleting the object) and holds nothing.
  void Reset() {
    if (T* object = std::exchange(m_object, nullptr)) object->RemoveRef(nullptr);
  }
  // Hands the reference to the caller, who must drop it.
  [[nodiscard]] T* Release() { return std::exchange(m_object, nullptr); }

  T* Get() const { return m_object; }
  T* operator->() const { return m_object; }
  T& operator*() const { return *m_object; }
  explicit operator bool() const { return m_object != nullptr; }
  friend bool operator==(const Ref& a, const Ref& b) { return a.m_object == b.m_object; }
  friend bool operator==(const Ref& a, const T* b) { return a.m_object == b; }

 private:
  T* m_object = nullptr;
};

namespace qibo {

// An object of class cd as a T, with the reference the caller owns; empty
// for an abstract class, a class that is not a T, or no memory.
template <class T>
Ref<T> CreateAs(ClassDesc* cd) {
  auto* object = cd ? static_cast<CTBasic*>(cd->Create()) : nullptr;
  T* typed = Cast<T>(object);
  if (!typed && object) object->Delete();
  return Ref<T>(typed);
}

// A new T, created through its class descriptor so that the instance count
// is kept.
template <class T>
Ref<T> Create() {
  return CreateAs<T>(T::_CD());
}

}  // namespace qibo
