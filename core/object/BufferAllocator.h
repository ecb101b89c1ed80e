#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace qibo {

// The memory of the engine's large buffers: picture pixels, mesh pools and
// face lists, swap images, settings files. Running out of it has one answer
// everywhere: the operation that wanted the memory logs an error and is
// refused, leaving its object as it was.
//
// The buffers take their memory through TryRealloc or BufferAllocator, so
// that tests can make a request fail: with a limit set, every request above
// it fails exactly as on a system out of memory (TryRealloc answers null,
// the allocator throws std::bad_alloc). No limit (0) is the default.

// Every buffer request of more than bytes fails from now on; 0: none does.
// For tests.
void SetBufferLimit(size_t bytes);
// Whether a request for count elements of size bytes may go to the system:
// within the limit and without overflow.
bool BufferRequestAllowed(size_t count, size_t size);

// std::realloc (std::malloc for a null block), or null with the block
// untouched when the memory cannot be had.
void* TryRealloc(void* block, size_t bytes);

// std::allocator for buffers kept in standard containers.
template <class T>
struct BufferAllocator : std::allocator<T> {
  BufferAllocator() = default;
  template <class U>
  BufferAllocator(const BufferAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (!BufferRequestAllowed(n, sizeof(T))) throw std::bad_alloc();
    return std::allocator<T>::allocate(n);
  }
};

}  // namespace qibo
