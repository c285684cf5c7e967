#pragma once

#include <cstddef>

namespace pulsewell::bench {

// Heap allocations (malloc, calloc, realloc, and so operator new) made by the calling
// thread so far.
std::size_t allocations();

}  // namespace pulsewell::bench
