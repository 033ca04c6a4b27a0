// Counts every global operator new of the program that links it (the library
// `vktesting_allocations` replaces the global allocation functions), so that a
// test or benchmark can show a path allocates nothing.
#ifndef VKTESTING_ALLOCATION_COUNTER_H
#define VKTESTING_ALLOCATION_COUNTER_H

#include <cstdint>

namespace vktesting {

// Allocations made through operator new by every thread since the start.
std::uint64_t allocationCount();

// Allocations made through operator new by the calling thread.
std::uint64_t threadAllocationCount();

} // namespace vktesting

#endif
