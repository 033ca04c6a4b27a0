// Reply bytes in arbitrary segments: each segment is a length byte followed by
// that many bytes. Completed replies are taken and parsed like the transport does.
#include "reply_framer.h"
#include "reply_parser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zrb::ReplyFramer framer;
    std::size_t pos = 0;
    std::size_t appended = 0;
    while (pos < size) {
        const std::size_t length = std::min<std::size_t>(data[pos] + 1u, size - pos - 1);
        ++pos;
        framer.append(reinterpret_cast<const char*>(data + pos), length);
        appended += length;
        pos += length;
        if (!framer.complete()) continue;
        const std::string text = framer.take();
        if (text.find('\0') != std::string::npos || text.size() + 2 > appended) std::abort();
        if (framer.size() != 0) std::abort();
        appended = 0;
        int count = 0;
        std::uint8_t bytes[4];
        const zrb::ReplyField fields[] = {zrb::ReplyField::hexBytes(bytes, sizeof bytes),
                                          zrb::ReplyField::lastInt(&count)};
        zrb::parseReply(text, fields);
    }
    return 0;
}
