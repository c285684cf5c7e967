#include "allocation_counter.h"

#include <cstdlib>

// glibc's own allocator, which the functions below hand every call on to.
extern "C" {
void* __libc_malloc(std::size_t size);                     // NOLINT(bugprone-reserved-identifier)
void* __libc_calloc(std::size_t count, std::size_t size);  // NOLINT(bugprone-reserved-identifier)
void* __libc_realloc(void* block, std::size_t size);       // NOLINT(bugprone-reserved-identifier)
}

namespace {
// Per thread, so that a peer answering from its own thread (the simulator agent) is not
// counted against the code under measurement.
thread_local std::size_t allocationCount = 0;
}  // namespace

// Every allocation of the benchmark process passes here: C++'s operator new and the C
// library calls of net-snmp alike, so both sides of a comparison are counted the same way.
extern "C" {
void* malloc(std::size_t size) noexcept {
  ++allocationCount;
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
  ++allocationCount;
  return __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) noexcept {
  ++allocationCount;
  return __libc_realloc(block, size);
}
}

namespace pulsewell::bench {
std::size_t allocations() {
  return allocationCount;
}
}  // namespace pulsewell::bench
