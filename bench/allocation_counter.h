// Counts every global operator new of the program, so that a benchmark can
// report allocations per iteration.
#ifndef VK_BENCH_ALLOCATION_COUNTER_H
#define VK_BENCH_ALLOCATION_COUNTER_H

#include <cstdint>

namespace vkbench {

// Allocations made through operator new since the program started.
std::uint64_t allocationCount();

} // namespace vkbench

#endif
