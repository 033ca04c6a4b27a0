// The reader's frame methods: the codec's frames with the reader's frame mode,
// capture (formats 10 and 11), the last received bus address and the secured
// wrap in command 0xAF while the reader holds a cipher. The caller holds the
// command lock.
#include "reader/frame_formats.h"
#include "reader/reader.h"
#include "security/crypto_plugin.h"
#include "texts/error_codes.h"

#include <vkkrn_codec/frame.h>

#include <cstring>

namespace {

using namespace vkkrn;

constexpr unsigned char kCmdAuthenticate = 0xAE;
constexpr unsigned char kCmdSecured = 0xAF;
constexpr unsigned char kStatusCommandNotAvailable = 0x82;

bool captures(int format) {
    return format == kFormatCaptureRaw || format == kFormatCaptureHex;
}

codec::FrameMode frameModeOf(int mode) {
    return mode == 2 ? codec::FrameMode::Advanced : codec::FrameMode::Standard;
}

std::span<std::uint8_t> frameOut(unsigned char* out) {
    return {out, static_cast<std::size_t>(kReaderBufferSize)};
}

} // namespace

int VKKRNReader::BuildAsyncSndProtocol(unsigned char adr, unsigned char cmd, unsigned char* data, int n,
                                       unsigned char* out, int format, bool wrap) {
    if (n < 0) {
        SetLastError(kErrOutOfRange);
        return kErrOutOfRange;
    }
    const codec::FrameMode mode = frameModeOf(GetCommFrame());
    const int length =
        codec::buildRequest(mode, adr, cmd, {data, static_cast<std::size_t>(n)}, frameOut(out));
    if (length < 0) {
        SetLastError(length);
        return length;
    }
    // One reference for the whole build: the channel may end meanwhile.
    const auto cipher = Cipher().load();
    if (captures(format)) {
        SetLastSendProt(out, length);
        sendProtocolLine(length, cipher != nullptr);
    }
    SetLastError(0);
    if (!wrap || cipher == nullptr || cmd == kCmdAuthenticate || cmd == kCmdSecured) return length;

    wrapData_[0] = 0x00;
    int enciphered = 0;
    const int rc = cipher->encipher(out, length, wrapData_.data() + 1, enciphered);
    if (rc == 0 && (enciphered < 0 || enciphered > kReaderBufferSize - 1)) return failLogged(kErrOutOfRange);
    if (rc != 0) return failLogged(rc);
    const int outer = codec::buildRequest(
        mode, adr, kCmdSecured, {wrapData_.data(), static_cast<std::size_t>(enciphered) + 1}, frameOut(out));
    if (outer < 0) return failLogged(outer);
    return outer;
}

int VKKRNReader::BuildAsyncRecProtocol(unsigned char adr, unsigned char cmd, unsigned char status,
                                       unsigned char* data, int n, unsigned char* out, int /*format*/) {
    if (n < 0) {
        SetLastError(kErrOutOfRange);
        return kErrOutOfRange;
    }
    const int length = codec::buildReply(frameModeOf(GetCommFrame()), adr, cmd, status,
                                         {data, static_cast<std::size_t>(n)}, frameOut(out));
    SetLastError(length < 0 ? length : 0);
    return length;
}

int VKKRNReader::SplitAsyncSndProtocol(unsigned char* frame, int count, unsigned char* adr,
                                       unsigned char* cmd, unsigned char* data, int* n, int /*format*/) {
    codec::RequestParts parts;
    const int rc =
        count < 0 ? kErrLengthError : codec::splitRequest({frame, static_cast<std::size_t>(count)}, parts);
    SetLastError(rc);
    if (rc != 0) return rc;
    *adr = parts.adr;
    *cmd = parts.cmd;
    if (!parts.data.empty()) std::memcpy(data, parts.data.data(), parts.data.size());
    *n = static_cast<int>(parts.data.size());
    return 0;
}

int VKKRNReader::SplitAsyncRecProtocol(unsigned char* frame, int count, unsigned char* adr,
                                       unsigned char* cmd, unsigned char* data, int* n, int format,
                                       bool unwrap) {
    const bool capture = captures(format);
    const bool stored = capture && count >= 1 && count <= kReaderBufferSize - 1;
    if (stored) SetLastRecProt(frame, count);
    auto cipher = Cipher().load();

    codec::ReplyParts parts;
    const std::span<const std::uint8_t> bytes{frame, count < 0 ? 0u : static_cast<std::size_t>(count)};
    const int status = codec::splitReply(bytes, parts);
    if (status < 0) {
        SetLastError(status);
        if (capture && !codec::isUndersizedStandardReply(bytes))
            receiveProtocolLine(stored ? count : 0, status, cipher != nullptr);
        return status;
    }
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        lastReceivedBusAddress_ = parts.adr;
    }
    SetLastError(0);
    if (capture) receiveProtocolLine(count, status, cipher != nullptr);
    if (parts.cmd == kCmdSecured && status == kStatusCommandNotAvailable) {
        Cipher().reset();
        cipher.reset();
    }
    if (!unwrap || cipher == nullptr || parts.cmd != kCmdSecured) {
        *adr = parts.adr;
        *cmd = parts.cmd;
        if (!parts.data.empty()) std::memcpy(data, parts.data.data(), parts.data.size());
        *n = static_cast<int>(parts.data.size());
        return status;
    }

    const int deciphered =
        decipherInner(*cipher, parts.data.data(), static_cast<int>(parts.data.size()), wrappedReply_.data());
    if (deciphered < 0) return failLogged(deciphered);
    const int inner =
        SplitAsyncRecProtocol(wrappedReply_.data(), deciphered, adr, cmd, data, n, format, false);
    if (inner < 0) return failLogged(inner);
    return inner;
}

int VKKRNReader::failLogged(int code) {
    SetLastError(code);
    ErrorStrToLogDoc(code);
    return code;
}
