#include <vktesting/memory_search.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace vktesting {

namespace {

constexpr std::uintptr_t kLargestScanned = std::uintptr_t{64} << 30;
constexpr std::size_t kChunk = std::size_t{1} << 20;

struct Region {
    std::uintptr_t begin;
    std::uintptr_t end;
};

std::vector<Region> writableRegions() {
    std::vector<Region> regions;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range;
        std::string permissions;
        fields >> range >> permissions;
        const auto dash = range.find('-');
        if (dash == std::string::npos || permissions.size() < 2) continue;
        if (permissions[0] != 'r' || permissions[1] != 'w') continue;
        const std::uintptr_t begin = std::stoull(range.substr(0, dash), nullptr, 16);
        const std::uintptr_t end = std::stoull(range.substr(dash + 1), nullptr, 16);
        if (end - begin > kLargestScanned) continue;
        regions.push_back({begin, end});
    }
    return regions;
}

} // namespace

std::vector<std::uintptr_t> findInMemory(std::span<const std::uint8_t> needle, const void* skip,
                                         std::size_t skipSize) {
    std::vector<std::uintptr_t> found;
    if (needle.empty()) return found;
    const int mem = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (mem < 0) return found;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    // The chunk read, with room for the needle's tail from the chunk before:
    // mapped here and unmapped at the end, so that no copy of what it held
    // stays behind for a later search to find (a freed block might).
    const std::size_t bufferSize = kChunk + needle.size();
    void* mapped = ::mmap(nullptr, bufferSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        ::close(mem);
        return found;
    }
    const std::span<std::uint8_t> buffer(static_cast<std::uint8_t*>(mapped), bufferSize);
    std::vector<unsigned char> resident(kChunk / page);
    const auto own = reinterpret_cast<std::uintptr_t>(buffer.data());
    const auto skipped = reinterpret_cast<std::uintptr_t>(skip);
    for (const Region& region : writableRegions()) {
        std::size_t carried = 0; // bytes kept from the end of the chunk before
        for (std::uintptr_t at = region.begin; at < region.end; at += kChunk) {
            const std::size_t length = std::min<std::uintptr_t>(kChunk, region.end - at);
            if (::mincore(reinterpret_cast<void*>(at), length, resident.data()) != 0) {
                carried = 0;
                continue;
            }
            // Pages never touched hold zeros: read only runs of resident pages.
            for (std::size_t p = 0; p < length / page;) {
                if ((resident[p] & 1) == 0) {
                    carried = 0;
                    ++p;
                    continue;
                }
                std::size_t q = p;
                while (q < length / page && (resident[q] & 1) != 0)
                    ++q;
                const std::uintptr_t from = at + p * page;
                const std::size_t size = (q - p) * page;
                const ssize_t n = ::pread(mem, buffer.data() + carried, size, static_cast<off_t>(from));
                if (n > 0) {
                    const std::size_t total = carried + static_cast<std::size_t>(n);
                    const std::uintptr_t base = from - carried;
                    for (const std::uint8_t* hit = buffer.data();
                         hit + needle.size() <= buffer.data() + total; ++hit) {
                        hit = static_cast<const std::uint8_t*>(
                            ::memmem(hit, static_cast<std::size_t>(buffer.data() + total - hit),
                                     needle.data(), needle.size()));
                        if (hit == nullptr) break;
                        const std::uintptr_t address =
                            base + static_cast<std::uintptr_t>(hit - buffer.data());
                        const bool inBuffer = address >= own && address < own + buffer.size();
                        const bool inSkip =
                            skip != nullptr && address >= skipped && address < skipped + skipSize;
                        if (!inBuffer && !inSkip) found.push_back(address);
                    }
                    carried = std::min(needle.size() - 1, total);
                    std::memmove(buffer.data(), buffer.data() + total - carried, carried);
                } else {
                    carried = 0;
                }
                p = q;
            }
        }
    }
    ::munmap(mapped, bufferSize);
    ::close(mem);
    return found;
}

} // namespace vktesting
