#pragma once
// The bytes the program asks the heap for between Start and Stop: what a step adds
// to the heap now and at its peak, without the address sanitizer's padding, shadow
// and quarantine, which inflate the resident size. It counts through the
// sanitizer's allocator hooks, so it exists only in sanitized builds, which define
// QIRA_HEAP_HOOKS.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's allocator interface (its header is not always installed).
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* p);
int __sanitizer_get_ownership(const volatile void* p);
}
#define QIRA_HEAP_HOOKS 1

namespace qira::test {

class THeapPeak {
 public:
  static void Start() {
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;
    ASSERT_TRUE(installed);
    current_ = 0;
    peak_ = 0;
    on_ = true;
  }
  // What was taken since Start and is still held (memory held before Start and
  // freed since counts against it).
  static int64_t Held() { return current_; }
  // The peak since Start.
  static int64_t Stop() {
    on_ = false;
    return peak_;
  }

 private:
  static void OnMalloc(const volatile void*, size_t n) {
    if (!on_) return;
    const int64_t now = current_ += static_cast<int64_t>(n);
    int64_t seen = peak_;
    while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
    }
  }
  static void OnFree(const volatile void* p) {
    if (!on_ || p == nullptr) return;
    if (__sanitizer_get_ownership(p)) current_ -= static_cast<int64_t>(__sanitizer_get_allocated_size(p));
  }
  static inline std::atomic<bool> on_{false};
  static inline std::atomic<int64_t> current_{0};
  static inline std::atomic<int64_t> peak_{0};
};

}  // namespace qira::test
#endif
