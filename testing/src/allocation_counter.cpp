#include <vktesting/allocation_counter.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::uint64_t> g_allocations{0};
thread_local std::uint64_t t_allocations = 0;
// The thread's allocation count at which one allocation fails; 0: none.
thread_local std::uint64_t t_failAt = 0;

// Counts one allocation of the calling thread: false when it is the one to fail.
bool countAllocation() {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (++t_allocations != t_failAt) return true;
    t_failAt = 0;
    return false;
}

} // namespace

std::uint64_t vktesting::allocationCount() {
    return g_allocations.load(std::memory_order_relaxed);
}

std::uint64_t vktesting::threadAllocationCount() {
    return t_allocations;
}

void vktesting::failThreadAllocation(std::uint64_t n) {
    t_failAt = n == 0 ? 0 : t_allocations + n;
}

bool vktesting::threadAllocationFailurePending() {
    return t_failAt != 0;
}

void* operator new(std::size_t size) {
    if (!countAllocation()) throw std::bad_alloc();
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

// The no-throw forms, so that every allocation pairs with the deletes above.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (!countAllocation()) return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}

void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
