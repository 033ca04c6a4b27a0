// Reply texts with arbitrary field lists: the first byte chooses up to four
// value fields (two bits each), the rest is the reply text.
#include "hex_text.h"
#include "reply_parser.h"
#include "unquote.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::uint8_t layout = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    int ints[4] = {};
    std::uint8_t flag = 0;
    std::uint8_t hex[3] = {};
    std::vector<zrb::ReplyField> fields;
    for (int i = 0; i < 4; ++i) {
        switch ((layout >> (2 * i)) & 3) {
        case 0: fields.push_back(zrb::ReplyField::checkedInt(&ints[i])); break;
        case 1: fields.push_back(zrb::ReplyField::lastInt(&ints[i])); break;
        case 2: fields.push_back(zrb::ReplyField::hexBytes(hex, sizeof hex)); break;
        case 3:
            fields.push_back(i % 2 == 0 ? zrb::ReplyField::flagByte(&flag)
                                        : zrb::ReplyField::flagResult(&flag));
        }
    }
    const zrb::ReplyOutcome outcome = zrb::parseReply(text, fields);
    if (outcome.message && outcome.code == 0) std::abort();

    std::size_t stop = 0;
    if (auto unquoted = zrb::unquote_str(text, &stop)) {
        if (unquoted->size() + 1 > text.size() || stop > text.size()) std::abort();
    }
    std::uint8_t bytes[8];
    if (zrb::str2bin(bytes, sizeof bytes, text) && text.size() > 2 * sizeof bytes) std::abort();
    const std::string back = zrb::bin2str(data, size);
    if (back.size() != 2 * size) std::abort();
    return 0;
}
