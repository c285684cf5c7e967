#include "allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> allocationCount{0};
}  // namespace

// Every allocation of the benchmark process is counted, so each benchmark can report its
// allocations per iteration. Kept in a file of its own so no caller sees both halves inlined.
void* operator new(std::size_t size) {
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t /*size*/) noexcept {
  std::free(block);
}

namespace pulsewell::bench {
std::size_t allocations() {
  return allocationCount.load(std::memory_order_relaxed);
}
}  // namespace pulsewell::bench
