#include "core/object/CTBasic.h"

constinit ::qibo::ClassDescOf<CTBasic> CTBasic::s_classDesc{
    "CTBasic", ::qibo::ClassId("CTBasic"), nullptr, ::qibo::ClassInfo{.desc = "Runtime Type Identification"}};

extern "C" ClassDesc* GetClassDesc_CTBasic() { return &CTBasic::s_classDesc; }

CTBasic::~CTBasic() = default;

void CTBasic::Delete() {
  if (ClassDesc* cd = GetCD()) cd->Delete(this);
  delete this;
}

void CTBasic::OnDelete(CTReferenced*) {}

uint32_t CTBasic::ID() const { return GetCD()->ID(); }

bool CTBasic::QueryInterface(uint32_t id, void** out) { return qibo::QueryInterface(this, id, out); }

namespace qibo {

bool QueryInterface(CTBasic* object, uint32_t id, void** out) {
  if (!object) return false;
  const ClassDesc* cd = object->GetCD();
  const bool match = cd && cd->CheckGroupID(id);
  if (out) *out = match ? object : nullptr;
  return match;
}

}  // namespace qibo
