#pragma once

#include <cstdint>

#include "core/object/ClassDesc.h"

class CTReferenced;

// Root of the class hierarchy: carries nothing but the link to its
// descriptor. Objects are destroyed only through Delete(), which keeps the
// descriptor's instance count right; never with a plain delete.
class CTBasic {
 public:
  static ::qibo::ClassDescOf<CTBasic> s_classDesc;
  static ClassDesc* _CD() { return &s_classDesc; }

  CTBasic() = default;
  CTBasic(const CTBasic&) = default;
  CTBasic& operator=(const CTBasic&) = default;
  virtual ~CTBasic();

  // Decrements the descriptor's count, then destroys and frees the object.
  virtual void Delete();
  // An object this one refers to is being deleted.
  virtual void OnDelete(CTReferenced* dying);
  virtual ClassDesc* GetCD() const { return &s_classDesc; }

  uint32_t ID() const;
  bool QueryInterface(uint32_t id, void** out);
  // This object if its class is the class id or derives from it, else null.
  CTBasic* DynamicCast(uint32_t id) {
    const ClassDesc* cd = GetCD();
    return cd && cd->CheckGroupID(id) ? this : nullptr;
  }
};

namespace qibo {

// Type tests that also accept a null object (false / null for it).
bool QueryInterface(CTBasic* object, uint32_t id, void** out);
inline CTBasic* DynamicCast(CTBasic* object, uint32_t id) {
  return object ? object->DynamicCast(id) : nullptr;
}

inline bool IsA(const CTBasic* object, const ClassDesc* cd) {
  const ClassDesc* own = object ? object->GetCD() : nullptr;
  return own && cd && own->CheckGroupID(cd->ID());
}

// DynamicCast to a described class T.
template <class T>
T* Cast(CTBasic* object) {
  return static_cast<T*>(DynamicCast(object, T::_CD()->ID()));
}

}  // namespace qibo
