#pragma once

#include <cstddef>

#include "core/object/BufferAllocator.h"

namespace qibo::test {

// While it lives, every buffer request of more than bytes fails as it would
// on a system out of memory.
class BufferLimit {
 public:
  explicit BufferLimit(size_t bytes) { qibo::SetBufferLimit(bytes); }
  ~BufferLimit() { qibo::SetBufferLimit(0); }
  BufferLimit(const BufferLimit&) = delete;
  BufferLimit& operator=(const BufferLimit&) = delete;
};

}  // namespace qibo::test
