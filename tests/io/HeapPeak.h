#pragma once

// How far the heap grows at most while a piece of code runs, measured with
// the address sanitizer's allocator hooks (every malloc and new, SDL's
// included). Without the sanitizer nothing can be measured: the answer is
// -1 and the tests that need it skip.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*)) __attribute__((weak));
size_t __sanitizer_get_allocated_size(const volatile void* p) __attribute__((weak));
}

namespace qibo::test {

namespace heappeak {
inline std::atomic<bool> active{false};
inline std::atomic<int64_t> current{0};
inline std::atomic<int64_t> peak{0};

inline void OnMalloc(const volatile void*, size_t size) {
  if (!active) return;
  const int64_t now = current += static_cast<int64_t>(size);
  int64_t seen = peak;
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
}
inline void OnFree(const volatile void* p) {
  if (active && p) current -= static_cast<int64_t>(__sanitizer_get_allocated_size(p));
}
}  // namespace heappeak

inline int64_t PeakHeapGrowth(const std::function<void()>& run) {
  if (!__sanitizer_install_malloc_and_free_hooks || !__sanitizer_get_allocated_size) return -1;
  static const bool installed =
      __sanitizer_install_malloc_and_free_hooks(heappeak::OnMalloc, heappeak::OnFree) != 0;
  if (!installed) return -1;
  heappeak::current = 0;
  heappeak::peak = 0;
  heappeak::active = true;
  run();
  heappeak::active = false;
  return heappeak::peak;
}

}  // namespace qibo::test
