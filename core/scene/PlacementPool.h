#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

// Fixed-size slots for the placements (the two transforms) of the scene's
// entities, handed out of blocks of 256 so that placements lie close
// together in memory. Freed slots wait in a free list threaded through the
// slots; blocks are kept for reuse until the process ends. Any thread; one
// mutex.
class PlacementPool {
 public:
  static constexpr size_t kBlock = 256;

  // Slots of slotSize bytes (at least a pointer), aligned to alignment.
  PlacementPool(size_t slotSize, size_t alignment);
  PlacementPool(const PlacementPool&) = delete;
  PlacementPool& operator=(const PlacementPool&) = delete;

  // A slot (size at most the slot size; a larger request goes to operator
  // new); throws std::bad_alloc as operator new does.
  void* Take(size_t size);
  // Puts a slot back on the free list.
  void Give(void* p);

 private:
  struct Slot {
    Slot* next;
  };
  void Grow();

  std::mutex m_lock;
  const size_t m_slotSize;
  const size_t m_alignment;
  Slot* m_free = nullptr;
  std::vector<char*> m_blocks;  // kept for the process's life
};
