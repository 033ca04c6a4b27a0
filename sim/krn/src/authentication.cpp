#include <krnsim/authentication.h>

#include <algorithm>

namespace krnsim {

void ChannelCipher::apply(ByteView in, std::uint8_t* out) {
    for (std::size_t at = 0; at < in.size(); at += kAesBlockSize) {
        vector_ = aes_.encrypt(vector_);
        const std::size_t n = std::min(kAesBlockSize, in.size() - at);
        for (std::size_t i = 0; i < n; ++i)
            out[at + i] = static_cast<std::uint8_t>(in[at + i] ^ vector_[i]);
    }
}

Bytes rotateLeft(ByteView value) {
    Bytes out(value.begin(), value.end());
    if (!out.empty()) std::rotate(out.begin(), out.begin() + 1, out.end());
    return out;
}

Bytes rotateRight(ByteView value) {
    Bytes out(value.begin(), value.end());
    if (!out.empty()) std::rotate(out.rbegin(), out.rbegin() + 1, out.rend());
    return out;
}

Bytes channelKey(ByteView initiator, ByteView responder, std::uint8_t keyType) {
    static constexpr std::size_t kOffsets[] = {0, 12, 20, 28};
    Bytes key;
    for (std::size_t i = 0; key.size() < authKeySize(keyType); ++i) {
        key.insert(key.end(), initiator.begin() + static_cast<std::ptrdiff_t>(kOffsets[i]),
                   initiator.begin() + static_cast<std::ptrdiff_t>(kOffsets[i] + 4));
        key.insert(key.end(), responder.begin() + static_cast<std::ptrdiff_t>(kOffsets[i]),
                   responder.begin() + static_cast<std::ptrdiff_t>(kOffsets[i] + 4));
    }
    return key;
}

} // namespace krnsim
