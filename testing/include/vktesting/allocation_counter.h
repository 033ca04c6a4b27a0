// Counts every global operator new of the program that links it (the library
// `vktesting_allocations` replaces the global allocation functions), so that a
// test or benchmark can show a path allocates nothing, and fails one of them on
// request, so that a test can show a path survives a failed allocation.
#ifndef VKTESTING_ALLOCATION_COUNTER_H
#define VKTESTING_ALLOCATION_COUNTER_H

#include <cstdint>

namespace vktesting {

// Allocations made through operator new by every thread since the start.
std::uint64_t allocationCount();

// Allocations made through operator new by the calling thread.
std::uint64_t threadAllocationCount();

// Makes the calling thread's `n`-th operator new from now on (1: the next one)
// fail once: the throwing forms throw std::bad_alloc, the no-throw forms give
// null. 0 disarms. Other threads are not touched.
void failThreadAllocation(std::uint64_t n);

// Whether the failure armed on the calling thread is still to come.
bool threadAllocationFailurePending();

} // namespace vktesting

#endif
