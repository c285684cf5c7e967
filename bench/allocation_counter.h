#pragma once

#include <atomic>
#include <cstddef>

namespace pulsewell::bench {

// Heap allocations made by this process so far (counted by the replaced operator new).
std::size_t allocations();

}  // namespace pulsewell::bench
