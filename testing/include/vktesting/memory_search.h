// Where some bytes lie in this process's memory right now: every writable
// mapping's resident pages are read through /proc/self/mem, so a test can show
// that no copy of a secret outlived its use (stacks, heaps and freed blocks
// included).
#ifndef VKTESTING_MEMORY_SEARCH_H
#define VKTESTING_MEMORY_SEARCH_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vktesting {

// The addresses at which `needle` starts, except inside [skip, skip + skipSize)
// (the caller's own copy). Read-only mappings are left out (no copy can be
// written there), and so is a writable mapping larger than 64 GiB (a
// sanitizer's shadow, which holds no program data).
std::vector<std::uintptr_t> findInMemory(std::span<const std::uint8_t> needle, const void* skip = nullptr,
                                         std::size_t skipSize = 0);

} // namespace vktesting

#endif
