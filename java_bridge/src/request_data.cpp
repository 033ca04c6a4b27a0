#include "request_data.h"

#include "bridge_codes.h"

#include <vkcommon/hex_digit.h>

namespace nubokrn4j {

namespace {

// Appends what the source gives until the first failure, which it keeps.
class Builder {
  public:
    explicit Builder(RequestSource& source) : source_(source) {}

    void put(std::uint8_t value) {
        if (out_.code == 0) out_.bytes.push_back(value);
    }
    std::uint8_t read(const char* id) {
        std::uint8_t value = 0;
        if (out_.code == 0) keep(source_.byte(id, value));
        return value;
    }
    void copy(const char* id) { put(read(id)); }
    void copy(const char* id, int count) {
        if (out_.code != 0) return;
        const std::size_t at = out_.bytes.size();
        out_.bytes.resize(at + static_cast<std::size_t>(count));
        keep(source_.bytes(id, out_.bytes.data() + at, count));
    }
    void fail(int code) {
        if (out_.code == 0) out_.code = code;
    }
    bool failed() const { return out_.code != 0; }
    std::vector<std::uint8_t>& bytes() { return out_.bytes; }
    RequestSource& source() { return source_; }
    RequestData take() {
        if (out_.code != 0) out_.bytes.clear();
        return std::move(out_);
    }

  private:
    void keep(int r) {
        if (r < 0) out_.code = r;
    }

    RequestSource& source_;
    RequestData out_;
};

// The low two bits 01: the request names one transponder by its UID.
bool addressed(std::uint8_t flags) {
    return (flags & 0x03) == 0x01;
}

std::string hexText(const std::uint8_t* data, std::size_t count) {
    std::string text;
    for (std::size_t k = 0; k < count; ++k) {
        text += vk::kHexDigits[data[k] >> 4];
        text += vk::kHexDigits[data[k] & 0x0F];
    }
    return text;
}

constexpr int kUidSize = 8;
constexpr char kIsoUid[] = "03 10 110 00 96 00 00";

// [mode][flags][UID when addressed]; the UID's position in the data, or -1.
int readHead(Builder& b, std::uint8_t mode, std::uint8_t flags) {
    b.put(mode);
    b.put(flags);
    if (!addressed(flags)) return -1;
    const int at = static_cast<int>(b.bytes().size());
    b.copy(kIsoUid, kUidSize);
    return at;
}

// Mode 0x24: [head][a][c][s] and blocks a to a + c - 1 of the item with the UID.
void readBlocks(Builder& b, std::uint8_t flags) {
    const int uidAt = readHead(b, 0x24, flags);
    const std::uint8_t first = b.read("03 10 09 03 01 00 00");
    const std::uint8_t count = b.read("03 10 09 04 01 00 00");
    const std::uint8_t size = b.read("03 10 09 05 01 00 00");
    b.put(first);
    b.put(count);
    b.put(size);
    if (b.failed()) return;
    const std::string uid = uidAt < 0 ? std::string() : hexText(b.bytes().data() + uidAt, kUidSize);
    const int index = b.source().isoItem(uid);
    if (index < 0) return b.fail(kNoIsoItem);
    for (int j = 0; j < count; ++j) {
        auto& bytes = b.bytes();
        const std::size_t at = bytes.size();
        bytes.resize(at + size);
        if (b.source().block(index, first + j, bytes.data() + at, size) < 0) return b.fail(kNoIsoItem);
        // Room for one more block, also after the last.
        if (bytes.size() + size > static_cast<std::size_t>(kRequestDataLimit)) return b.fail(kRequestTooLong);
    }
}

void readB0(Builder& b) {
    const std::uint8_t mode = b.read("03 10 08 00 01 00 00");
    const std::uint8_t flags = b.read("03 10 08 01 01 00 00");
    if (b.failed()) return;
    switch (mode) {
    case 0x01:
        b.put(mode);
        b.put(flags);
        break;
    case 0x23:
        readHead(b, mode, flags);
        b.copy("03 10 09 03 01 00 00");
        b.copy("03 10 09 04 01 00 00");
        break;
    case 0x24: readBlocks(b, flags); break;
    case 0x25: readHead(b, mode, flags); break;
    case 0xC0:
        if (addressed(flags)) return b.fail(kUnsupported);
        b.put(mode);
        b.put(flags);
        break;
    default: b.fail(kUnsupported);
    }
}

void readB2(Builder& b) {
    const std::uint8_t mode = b.read("03 10 14 00 01 00 00");
    if (b.failed()) return;
    // [mode][flags] of a mode that cannot be addressed.
    const auto unaddressedHead = [&b, mode] {
        const std::uint8_t flags = b.read("03 10 14 01 01 00 00");
        if (!b.failed() && addressed(flags)) b.fail(kUnsupported);
        b.put(mode);
        b.put(flags);
        return flags;
    };
    switch (mode) {
    case 0x2B: b.put(mode); break;
    case 0x30:
        unaddressedHead();
        b.copy("03 10 15 14 01 00 00");
        b.copy("03 10 15 10 01 00 00");
        b.copy("03 10 15 15 04 00 00", 4);
        b.copy("03 10 15 13 01 00 00");
        break;
    case 0xB0: {
        const std::uint8_t flags = unaddressedHead();
        b.copy("03 10 15 10 01 00 00");
        b.copy("03 10 15 12 01 00 00");
        if ((flags & 0x08) != 0)
            b.copy("03 10 06 02 06 00 00", 6);
        else
            b.copy("03 10 15 11 01 00 00");
        break;
    }
    case 0xB2:
        // Sent whatever the flags say: this mode reads none.
        b.put(mode);
        b.copy("03 10 15 19 01 00 00");
        break;
    default: b.fail(kUnsupported);
    }
}

} // namespace

RequestData buildRequestData(RequestSource& source, std::uint8_t command) {
    Builder b(source);
    if (command == 0xB0)
        readB0(b);
    else if (command == 0xB2)
        readB2(b);
    else
        b.fail(kUnsupported);
    return b.take();
}

} // namespace nubokrn4j
