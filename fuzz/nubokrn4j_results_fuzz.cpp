// Reader bytes of any length through every task result step, and any text as a
// sender address: nothing is read past the data (ASan), every stored length
// lies within what was given.
#include "recording_store.h"
#include "sender_address.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t selector = data[0];
    const int status = static_cast<std::int8_t>(data[1]) < 0 ? data[1] & 0x7F : data[1];
    const std::uint8_t command = data[2];
    const std::uint8_t* body = data + 3;
    const int length = static_cast<int>(size - 3);

    // The sender text: the body as a C string of its own allocation.
    const std::string text(reinterpret_cast<const char*>(body), static_cast<std::size_t>(length));
    const nubokrn4j::Sender sender{text.c_str(), length};
    (void)nubokrn4j::parseSenderAddress(text.c_str());

    nubokrn4j::testing::RecordingStore store;
    store.storeResult = (selector & 0x10) != 0 ? -115 : 0;
    const std::uint32_t use = (selector >> 5) & 0x3;
    // The body alone, in an allocation of its size.
    std::uint8_t* copy = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(length) + 1));
    if (copy == nullptr) return 0;
    std::copy(body, body + length, copy);
    switch (selector & 0x3) {
    case 0: (void)nubokrn4j::inventoryResult(store, use, status, copy, length); break;
    case 1: (void)nubokrn4j::notificationResult(store, use, status, command, copy, length, sender); break;
    default: (void)nubokrn4j::responseResult(store, use, status, command); break;
    }
    if (static_cast<int>(store.stored.size()) > length) std::abort();
    std::free(copy);
    return 0;
}
