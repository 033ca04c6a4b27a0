// Any bytes of "vkkrn.ini" give settings, and nothing past the first 1,024 bytes
// is looked at.
#include "texts/settings_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that a read past the bytes given is caught.
    const std::vector<char> bytes(data, data + size);
    const vkkrn::ReaderSettings all = vkkrn::parseReaderSettings(bytes.data(), bytes.size());
    const std::size_t limit = size < vkkrn::kSettingsReadLimit ? size : vkkrn::kSettingsReadLimit;
    const std::vector<char> head(data, data + limit);
    const vkkrn::ReaderSettings first = vkkrn::parseReaderSettings(head.data(), head.size());
    if (all.logFile != first.logFile || all.noTimestamp != first.noTimestamp ||
        all.logLevel != first.logLevel)
        std::abort();
    return 0;
}
