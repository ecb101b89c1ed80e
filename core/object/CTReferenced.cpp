#include "core/object/CTReferenced.h"

#include <algorithm>

QIBO_IMPLEMENT_CLASS(CTReferenced, CTBasic, .desc = "Reference Counting")

// An object destroyed without Delete() (a member or stack object) still
// tells its holders, so none keeps a dangling pointer.
CTReferenced::~CTReferenced() { NotifyHolders(); }

void CTReferenced::ResizeHolders(int32_t capacity) {
  if (capacity <= 0) {
    m_holders.reset();
    m_holderCount = 0;
    m_holderCapacity = 0;
    return;
  }
  auto fresh = std::make_unique_for_overwrite<CTBasic*[]>(static_cast<size_t>(capacity));
  std::copy_n(m_holders.get(), std::min(m_holderCount, capacity), fresh.get());
  m_holders = std::move(fresh);
  m_holderCapacity = capacity;
}

void CTReferenced::AddHolder(CTBasic* holder) {
  if (m_holderCount == m_holderCapacity) ResizeHolders(m_holderCapacity + kHolderStep);
  m_holders[m_holderCount++] = holder;
}

bool CTReferenced::RemoveHolder(CTBasic* holder) {
  CTBasic** begin = m_holders.get();
  CTBasic** end = begin + m_holderCount;
  CTBasic** found = std::find(begin, end, holder);
  if (found == end) return true;
  *found = m_holders[--m_holderCount];
  if (m_holderCapacity > m_holderCount + kHolderStep && m_notifying == 0)
    ResizeHolders(m_holderCapacity - kHolderStep);
  return true;
}

void CTReferenced::RemoveAllOf(CTBasic* holder) {
  CTBasic** begin = m_holders.get();
  m_holderCount = static_cast<int32_t>(std::remove(begin, begin + m_holderCount, holder) - begin);
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
  while (m_holderCount > 0) {
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
