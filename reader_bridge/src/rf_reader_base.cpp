#include "rf_reader_base.h"

#include <algorithm>
#include <utility>

namespace vemlasdknative {

RfReaderBase* handle = nullptr;

namespace {

// n bytes copied from `bytes` (or zeroed when it is null) into a new heap block;
// null for n <= 0.
byte_t* copyBytes(const byte_t* bytes, std::int32_t n) {
    if (n <= 0) return nullptr;
    auto* block = new byte_t[static_cast<std::size_t>(n)]();
    if (bytes != nullptr) std::copy_n(bytes, n, block);
    return block;
}

} // namespace

Buffer::Buffer(std::int32_t n) : buf(copyBytes(nullptr, n)), length(std::max(n, 0)), capacity_(length) {}

Buffer::~Buffer() {
    delete[] buf;
}

Buffer::Buffer(const Buffer& other)
    : buf(copyBytes(other.buf, other.capacity_)), length(other.length), capacity_(other.capacity_) {}

Buffer::Buffer(Buffer&& other) noexcept
    : buf(std::exchange(other.buf, nullptr)), length(std::exchange(other.length, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Buffer& Buffer::operator=(const Buffer& other) {
    if (this != &other) {
        byte_t* bytes = copyBytes(other.buf, other.capacity_);
        delete[] buf;
        buf = bytes;
        length = other.length;
        capacity_ = other.capacity_;
    }
    return *this;
}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
    if (this != &other) {
        delete[] buf;
        buf = std::exchange(other.buf, nullptr);
        length = std::exchange(other.length, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

RfReaderBase::Uid::Uid(const byte_t* bytes, std::int32_t n)
    : id(copyBytes(bytes, n)), length(std::max(n, 0)) {}

RfReaderBase::Uid::~Uid() {
    delete[] id;
}

RfReaderBase::Uid::Uid(const Uid& other)
    : id(copyBytes(other.id, other.length)), length(std::max(other.length, 0)) {}

RfReaderBase::Uid::Uid(Uid&& other) noexcept
    : id(std::exchange(other.id, nullptr)), length(std::exchange(other.length, 0)) {}

RfReaderBase::Uid& RfReaderBase::Uid::operator=(const Uid& other) {
    if (this != &other) {
        byte_t* bytes = copyBytes(other.id, other.length);
        delete[] id;
        id = bytes;
        length = std::max(other.length, 0);
    }
    return *this;
}

RfReaderBase::Uid& RfReaderBase::Uid::operator=(Uid&& other) noexcept {
    if (this != &other) {
        delete[] id;
        id = std::exchange(other.id, nullptr);
        length = std::exchange(other.length, 0);
    }
    return *this;
}

RfReaderBase::~RfReaderBase() = default;

} // namespace vemlasdknative
