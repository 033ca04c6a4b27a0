// The reader's last frames: stored by the frame methods and the exchanges, read
// back by callers. The capture mutex is held only while bytes are copied.
#include "reader/reader.h"
#include "texts/error_codes.h"
#include "texts/status_texts.h"

#include <vkkrn_codec/frame.h>
#include <vkkrn_codec/hex.h>

#include <cstring>

namespace {

using namespace vkkrn;

constexpr std::uint8_t kShortestRequest = 5;
constexpr std::uint8_t kShortestReply = 6;

bool storable(int len) {
    return len >= 1 && len <= kReaderBufferSize - 1;
}

// Copies the frame stored in `stored` (its length from its own length field),
// with key bytes as 0xFF when `mask`, to `out` as bytes or hex text and a NUL.
// Returns the frame length in bytes; an empty text and 0 for no frame.
int copyStoredFrame(const unsigned char* stored, std::uint8_t shortest, bool mask, unsigned char* out,
                    int hex) {
    const std::span<const std::uint8_t> buffer{stored, static_cast<std::size_t>(kReaderBufferSize)};
    const std::size_t length = codec::statedLength(buffer, shortest);
    if (length == 0) {
        out[0] = 0;
        return 0;
    }
    const auto frame = buffer.first(length);
    const codec::ByteRange keys = mask ? codec::keyBytes(frame) : codec::ByteRange{};
    if (hex == 0) {
        std::memcpy(out, frame.data(), length);
        for (std::size_t i = keys.begin; i < keys.end; ++i)
            out[i] = 0xFF;
        out[length] = 0;
    } else {
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t b = keys.contains(i) ? 0xFF : frame[i];
            out[2 * i] = static_cast<unsigned char>(codec::kHexDigits[b >> 4]);
            out[2 * i + 1] = static_cast<unsigned char>(codec::kHexDigits[b & 0x0F]);
        }
        out[2 * length] = 0;
    }
    return static_cast<int>(length);
}

} // namespace

void VKKRNReader::SetLastSendProt(const unsigned char* frame, int len) {
    if (!storable(len)) return;
    std::lock_guard<std::mutex> lock(captureMutex_);
    std::memmove(sendFrame_, frame, static_cast<std::size_t>(len));
}

void VKKRNReader::SetLastRecProt(const unsigned char* frame, int len) {
    if (!storable(len)) return;
    std::lock_guard<std::mutex> lock(captureMutex_);
    std::memmove(receiveFrame_, frame, static_cast<std::size_t>(len));
}

int VKKRNReader::GetLastSendProt(unsigned char* out, int hex) {
    int length;
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        length = copyStoredFrame(sendFrame_, kShortestRequest, true, out, hex);
    }
    SetLastError(0);
    return length;
}

int VKKRNReader::GetLastRecProt(unsigned char* out, int hex) {
    int length;
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        length = copyStoredFrame(receiveFrame_, kShortestReply, false, out, hex);
    }
    SetLastError(0);
    return length;
}

int VKKRNReader::GetLastState(char* text) {
    unsigned char status;
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        status = lastStatus_;
    }
    SetLastError(copyStatusText(status, text, library_));
    return status;
}

int VKKRNReader::GetLastRecProtLen() {
    int length = 0;
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        // The advanced length is told one above the frame's.
        if (receiveFrame_[0] == codec::kAdvancedMark)
            length = (receiveFrame_[1] << 8 | receiveFrame_[2]) + 1;
        else if (receiveFrame_[0] >= kShortestReply)
            length = receiveFrame_[0];
    }
    if (length == 0) {
        SetLastError(kErrNoValue);
        return kErrNoValue;
    }
    SetLastError(0);
    return length;
}
