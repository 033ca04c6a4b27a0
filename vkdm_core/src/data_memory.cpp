#include "data_memory.h"

#include "codes.h"

#include <cstring>

namespace vkdm {

int parseParamId(const char* text, ParamId& out) {
    if (text == nullptr) return kNullArgument;
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > kMaxIdLength) return kBadIdentifier;
    std::size_t pos = 0;
    int field = 0;
    while (true) {
        while (pos < length && text[pos] == ' ')
            ++pos;
        if (pos == length) break;
        if (field == 7) return kBadIdentifier;
        std::uint32_t value = 0;
        int digits = 0;
        while (pos < length && text[pos] != ' ') {
            const char c = text[pos];
            if (c < '0' || c > '9' || digits == 5) return kBadIdentifier;
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
            ++digits;
            ++pos;
        }
        if (value > 65535) return kBadIdentifier;
        out.fields[static_cast<std::size_t>(field++)] = value;
    }
    if (field != 7 || out.fields[4] == 0) return kBadIdentifier;
    return 0;
}

int DataMemory::fieldLocked(const ParamId& id, std::uint8_t*& data) {
    if (id.inImage()) {
        if (id.fields[1] >= static_cast<std::uint32_t>(kImageBlocks) || id.fields[2] >= kBlockSize)
            return kOutOfRange;
        const std::size_t address = id.fields[1] * kBlockSize + id.fields[2];
        if (address + static_cast<std::size_t>(id.count()) > image_.size()) return kOutOfRange;
        data = image_.data() + address;
        return 0;
    }
    auto& field = fields_[id.fields];
    if (field.empty()) field.assign(static_cast<std::size_t>(id.count()), 0);
    data = field.data();
    return 0;
}

int DataMemory::read(const char* text, std::vector<std::uint8_t>& out) {
    ParamId id;
    if (int rc = parseParamId(text, id); rc < 0) return rc;
    std::lock_guard<std::mutex> guard(mutex_);
    if (!id.inImage()) {
        // A field never written reads as zeros without being created.
        auto it = fields_.find(id.fields);
        if (it == fields_.end()) {
            out.assign(static_cast<std::size_t>(id.count()), 0);
            return id.count();
        }
        out = it->second;
        return id.count();
    }
    std::uint8_t* data = nullptr;
    if (int rc = fieldLocked(id, data); rc < 0) return rc;
    out.assign(data, data + id.count());
    return id.count();
}

int DataMemory::write(const char* text, const std::uint8_t* bytes, std::size_t length) {
    ParamId id;
    if (int rc = parseParamId(text, id); rc < 0) return rc;
    if (length > static_cast<std::size_t>(id.count())) return kValueTooLong;
    std::lock_guard<std::mutex> guard(mutex_);
    std::uint8_t* data = nullptr;
    if (int rc = fieldLocked(id, data); rc < 0) return rc;
    if (length > 0) std::memcpy(data, bytes, length);
    std::memset(data + length, 0, static_cast<std::size_t>(id.count()) - length);
    if (id.inImage()) {
        const std::size_t first = id.fields[1];
        const std::size_t last = (id.fields[1] * kBlockSize + id.fields[2] + id.count() - 1) / kBlockSize;
        for (std::size_t b = first; b <= last; ++b)
            changed_[b] = true;
    }
    return 0;
}

int DataMemory::readNumber(const char* text, std::uint64_t& value) {
    std::vector<std::uint8_t> bytes;
    const int rc = read(text, bytes);
    if (rc < 0) return rc;
    std::uint64_t v = 0;
    for (std::uint8_t b : bytes) {
        if ((v >> 56) != 0) return kValueDoesNotFit;
        v = (v << 8) | b;
    }
    value = v;
    return 0;
}

int DataMemory::writeNumber(const char* text, std::uint64_t value) {
    ParamId id;
    if (int rc = parseParamId(text, id); rc < 0) return rc;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(id.count()), 0);
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i)
        bytes[bytes.size() - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    return write(text, bytes.data(), bytes.size());
}

int DataMemory::readImage(int address, std::uint8_t* out, int count) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (address < 0 || count < 0 ||
        static_cast<std::size_t>(address) + static_cast<std::size_t>(count) > image_.size())
        return kOutOfRange;
    if (count > 0) std::memcpy(out, image_.data() + address, static_cast<std::size_t>(count));
    return 0;
}

std::vector<std::uint8_t> DataMemory::image() {
    std::lock_guard<std::mutex> guard(mutex_);
    return image_;
}

void DataMemory::setImage(const std::vector<std::uint8_t>& image, bool changed) {
    std::lock_guard<std::mutex> guard(mutex_);
    image_ = image;
    image_.resize(kImageBlocks * kBlockSize, 0);
    changed_.fill(changed);
}

std::vector<int> DataMemory::takeChanged(std::vector<std::uint8_t>& image, bool all) {
    std::lock_guard<std::mutex> guard(mutex_);
    image = image_;
    std::vector<int> blocks;
    for (int b = 0; b < kImageBlocks; ++b) {
        if (all || changed_[static_cast<std::size_t>(b)]) blocks.push_back(b);
    }
    changed_.fill(false);
    return blocks;
}

void DataMemory::markChanged(const std::vector<int>& blocks) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (int b : blocks) {
        if (b >= 0 && b < kImageBlocks) changed_[static_cast<std::size_t>(b)] = true;
    }
}

} // namespace vkdm
