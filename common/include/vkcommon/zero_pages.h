// A fixed buffer that reads as zeros before its first use and costs resident
// memory only where it has been written: its bytes live in anonymous pages,
// which the kernel maps as the shared zero page until a write touches them,
// instead of being filled with zeros when the buffer is made. An object with
// many large buffers, of which an exchange touches the first pages, so holds a
// few pages of each rather than all of them. Owns its mapping; moves, never
// copies.
#ifndef VKCOMMON_ZERO_PAGES_H
#define VKCOMMON_ZERO_PAGES_H

#include <sys/mman.h>

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace vk {

template <typename Byte> class ZeroPages {
    static_assert(sizeof(Byte) == 1 && std::is_trivial_v<Byte>, "a buffer of bytes or characters");

  public:
    // `size` bytes, all zero; std::bad_alloc when the kernel gives no mapping.
    explicit ZeroPages(std::size_t size) : size_(size) {
        void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::bad_alloc();
        // A huge page would make a whole 2 MB resident at the first write.
        ::madvise(mapped, size, MADV_NOHUGEPAGE);
        bytes_ = static_cast<Byte*>(mapped);
    }
    ~ZeroPages() {
        if (bytes_ != nullptr) ::munmap(bytes_, size_);
    }
    ZeroPages(ZeroPages&& other) noexcept
        : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    ZeroPages& operator=(ZeroPages&& other) noexcept {
        ZeroPages gone(std::move(*this));
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
        return *this;
    }
    ZeroPages(const ZeroPages&) = delete;
    ZeroPages& operator=(const ZeroPages&) = delete;

    Byte* data() noexcept { return bytes_; }
    const Byte* data() const noexcept { return bytes_; }
    std::size_t size() const noexcept { return size_; }
    Byte& operator[](std::size_t i) noexcept { return bytes_[i]; }
    const Byte& operator[](std::size_t i) const noexcept { return bytes_[i]; }

  private:
    Byte* bytes_;
    std::size_t size_;
};

} // namespace vk

#endif
