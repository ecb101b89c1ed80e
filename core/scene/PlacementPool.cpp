#include "core/scene/PlacementPool.h"

#include <new>

PlacementPool::PlacementPool(size_t slotSize, size_t alignment)
    : m_slotSize(slotSize < sizeof(Slot) ? sizeof(Slot) : slotSize), m_alignment(alignment) {}

void* PlacementPool::Take(size_t size) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (size > m_slotSize) return ::operator new (size, std::align_val_t{m_alignment});
  if (!m_free) Grow();
  Slot* slot = m_free;
  m_free = slot->next;
  return slot;
}

void PlacementPool::Give(void* p) {
  std::lock_guard<std::mutex> hold(m_lock);
  auto* slot = static_cast<Slot*>(p);
  slot->next = m_free;
  m_free = slot;
}

void PlacementPool::Grow() {
  auto* block = static_cast<char*>(::operator new (m_slotSize* kBlock, std::align_val_t{m_alignment}));
  m_blocks.push_back(block);
  for (size_t i = kBlock; i-- > 0;) {
    auto* slot = reinterpret_cast<Slot*>(block + i * m_slotSize);
    slot->next = m_free;
    m_free = slot;
  }
}
