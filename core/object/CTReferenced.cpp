#include "core/object/CTReferenced.h"

QIBO_IMPLEMENT_CLASS(CTReferenced, CTBasic, .desc = "Reference Counting")

// An object destroyed without Delete() (a member or stack object) still
// tells its holders, so none keeps a dangling pointer.
CTReferenced::~CTReferenced() { NotifyHolders(); }

bool CTReferenced::RemoveHolder(CTBasic* holder) {
  const int i = m_holders.LastIndexOf(holder);
  // While holders are being told, the list keeps its storage.
  if (i >= 0) m_holders.RemoveAt(static_cast<size_t>(i), m_notifying != 0);
  return true;
}

void CTReferenced::RemoveAllOf(CTBasic* holder) {
  m_holders.EraseIf([holder](CTBasic* h) { return h == holder; });
}

void CTReferenced::MakeRef(CTReferenced* other) {
  if (!other) return;
  AddHolder(other);
  other->AddHolder(this);
}

void CTReferenced::BreakRef(CTReferenced* other) {
  if (!other) return;
  RemoveHolder(other);
  other->RemoveHolder(this);
}

void CTReferenced::OnDelete(CTReferenced* dying) { RemoveAllOf(dying); }

void CTReferenced::NotifyHolders() {
  ++m_notifying;
  // A holder that removes itself while being told is harmless; one that adds
  // new references is told again in a later pass.
  while (!m_holders.Empty()) {
    CTBasic* holder = m_holders[0];
    holder->OnDelete(this);
    RemoveAllOf(holder);
  }
  if (m_notifying >= 1) --m_notifying;
}

void CTReferenced::Delete() {
  NotifyHolders();
  CTBasic::Delete();
}
