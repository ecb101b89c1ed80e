#include "core/object/BufferAllocator.h"

#include <atomic>
#include <cstdlib>
#include <limits>

namespace qibo {

namespace {

std::atomic<size_t> g_limit{0};

}  // namespace

void SetBufferLimit(size_t bytes) { g_limit.store(bytes, std::memory_order_relaxed); }

bool BufferRequestAllowed(size_t count, size_t size) {
  if (size != 0 && count > std::numeric_limits<size_t>::max() / size) return false;
  const size_t limit = g_limit.load(std::memory_order_relaxed);
  return limit == 0 || count * size <= limit;
}

void* TryRealloc(void* block, size_t bytes) {
  if (!BufferRequestAllowed(bytes, 1)) return nullptr;
  return std::realloc(block, bytes);
}

}  // namespace qibo
