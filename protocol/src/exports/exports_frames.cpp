// Exports that compute CRCs and build, split and convert frames for callers that
// assemble their own traffic. A frame export takes the reader's command lock,
// then the library's buffer lock, and runs the reader method on a copy of its
// input in the scratch buffer; conversions need only the buffer lock.
#include "exports/export_frame.h"
#include "reader/frame_formats.h"

#include <vkkrn.h>
#include <vkkrn_codec/crc16.h>
#include <vkkrn_codec/frame.h>
#include <vkkrn_codec/hex.h>

#include <cstring>

using namespace vkkrn;

namespace {

// Lengths a frame export accepts.
constexpr int kMaxExportLength = 0x10001;
// Each half of the scratch buffer holds one frame or data block.
constexpr std::size_t kScratchHalf = sizeof g_ucVkKrnTmp / 2;

bool exportLengthOk(int len) {
    return len >= 0 && len <= kMaxExportLength;
}

// Copies or hex-decodes the caller's input into the scratch buffer: the byte
// count, or -4051 for hex text that is odd or not hex.
int takeInput(const unsigned char* in, int len, bool hex) {
    if (!hex) {
        std::memcpy(g_ucVkKrnTmp, in, static_cast<std::size_t>(len));
        return len;
    }
    const auto n = codec::decodeHex({in, static_cast<std::size_t>(len)}, {g_ucVkKrnTmp, kScratchHalf});
    return n ? static_cast<int>(*n) : kErrOutOfRange;
}

int readerFailure(VKKRNReader& reader, int code) {
    reader.SetLastError(code);
    return code;
}

// Rewrites the n data bytes at `data` as hex text in place; *n doubles.
void toHexInPlace(unsigned char* data, int* n) {
    const auto count = static_cast<std::size_t>(*n);
    codec::encodeHex({data, count}, std::span<std::uint8_t>(data, 2 * count + 1));
    *n = static_cast<int>(2 * count);
}

int crcResult(const unsigned char* data, int len, std::uint16_t polynomial, std::uint16_t preset, int swap,
              bool table) {
    if (data == nullptr && len > 0) return kErrNullPointer;
    std::uint16_t crc = preset;
    if (len > 0) {
        const std::span<const std::uint8_t> bytes(data, static_cast<std::size_t>(len));
        crc = table ? codec::crc16(bytes) : codec::crc16Bitwise(bytes, polynomial, preset);
    }
    return swap != 0 ? codec::swapBytes(crc) : crc;
}

// Converts a frame between the standard and advanced forms through the scratch
// buffer and writes the result back over the caller's frame.
using FrameConversion = int (*)(std::span<const std::uint8_t>, std::span<std::uint8_t>) noexcept;
int convertInPlace(unsigned char* frame, int len, FrameConversion convert) {
    if (frame == nullptr) return kErrNullPointer;
    if (len < 0) return kErrOutOfRange;
    return guarded(kErrNoMemory, [&] {
        auto buffer = g_LibVkKrnDrvHnd.LockBuffer();
        const int n = convert({frame, static_cast<std::size_t>(len)}, {g_ucVkKrnTmp, kScratchHalf});
        if (n > 0) std::memcpy(frame, g_ucVkKrnTmp, static_cast<std::size_t>(n));
        return n;
    });
}

} // namespace

extern "C" {

VKKRN_API int VKKRN_CalcCRC16CheckSum_T(void* data, int len, int swap) {
    return crcResult(static_cast<const unsigned char*>(data), len, codec::kCrcPolynomial, codec::kCrcPreset,
                     swap, true);
}

VKKRN_API int VKKRN_CalcCRC16CheckSum(unsigned char* data, int len, unsigned int poly, unsigned int preset,
                                      int swap) {
    return crcResult(data, len, static_cast<std::uint16_t>(poly), static_cast<std::uint16_t>(preset), swap,
                     false);
}

VKKRN_API int VKKRN_BuildSendProtocol(int readerHnd, int adr, int cmd, unsigned char* data, int len,
                                      unsigned char* frame, int format) {
    return withReader(readerHnd, data == nullptr || frame == nullptr, [&](VKKRNReader& reader) {
        if (!exportLengthOk(len)) return libraryFailure(kErrOutOfRange);
        auto command = reader.Lock();
        auto buffer = g_LibVkKrnDrvHnd.LockBuffer();
        if (!isFrameFormat(format)) return readerFailure(reader, kErrOutOfRange);
        const int n = takeInput(data, len, isHexFormat(format));
        if (n < 0) return readerFailure(reader, n);
        return reader.BuildAsyncSndProtocol(static_cast<unsigned char>(adr), static_cast<unsigned char>(cmd),
                                            g_ucVkKrnTmp, n, frame, format, format != kFormatPlain);
    });
}

VKKRN_API int VKKRN_BuildRecProtocol(int readerHnd, int adr, int cmd, int status, unsigned char* data,
                                     int len, unsigned char* frame, int hex) {
    return withReader(readerHnd, data == nullptr || frame == nullptr, [&](VKKRNReader& reader) {
        if (!exportLengthOk(len)) return libraryFailure(kErrOutOfRange);
        auto command = reader.Lock();
        auto buffer = g_LibVkKrnDrvHnd.LockBuffer();
        const int n = takeInput(data, len, hex != 0);
        if (n < 0) return readerFailure(reader, n);
        return reader.BuildAsyncRecProtocol(static_cast<unsigned char>(adr), static_cast<unsigned char>(cmd),
                                            static_cast<unsigned char>(status), g_ucVkKrnTmp, n, frame, 0);
    });
}

VKKRN_API int VKKRN_SplitSendProtocol(int readerHnd, unsigned char* frame, int len, unsigned char* adr,
                                      unsigned char* cmd, unsigned char* data, int* dataLen, int hex) {
    const bool missing =
        frame == nullptr || adr == nullptr || cmd == nullptr || data == nullptr || dataLen == nullptr;
    return withReader(readerHnd, missing, [&](VKKRNReader& reader) {
        if (!exportLengthOk(len)) return libraryFailure(kErrOutOfRange);
        auto command = reader.Lock();
        auto buffer = g_LibVkKrnDrvHnd.LockBuffer();
        const int n = takeInput(frame, len, hex != 0);
        if (n < 0) return readerFailure(reader, n);
        const int rc = reader.SplitAsyncSndProtocol(g_ucVkKrnTmp, n, adr, cmd, data, dataLen, 0);
        if (rc == 0 && hex == 1) toHexInPlace(data, dataLen);
        return rc;
    });
}

VKKRN_API int VKKRN_SplitRecProtocol(int readerHnd, unsigned char* frame, int len, unsigned char* adr,
                                     unsigned char* cmd, unsigned char* data, int* dataLen, int format) {
    const bool missing =
        frame == nullptr || adr == nullptr || cmd == nullptr || data == nullptr || dataLen == nullptr;
    return withReader(readerHnd, missing, [&](VKKRNReader& reader) {
        if (!exportLengthOk(len)) return libraryFailure(kErrOutOfRange);
        auto command = reader.Lock();
        auto buffer = g_LibVkKrnDrvHnd.LockBuffer();
        if (!isFrameFormat(format)) return readerFailure(reader, kErrOutOfRange);
        const int n = takeInput(frame, len, isHexFormat(format));
        if (n < 0) return readerFailure(reader, n);
        const int status = reader.SplitAsyncRecProtocol(g_ucVkKrnTmp, n, adr, cmd, data, dataLen, format,
                                                        format != kFormatPlain);
        if (status >= 0 && format == kFormatHex) toHexInPlace(data, dataLen);
        return status;
    });
}

VKKRN_API int VKKRN_Conv2StdProtocol(unsigned char* frame, int len) {
    return convertInPlace(frame, len, codec::convertToStandard);
}

VKKRN_API int VKKRN_Conv2AdvProtocol(unsigned char* frame, int len) {
    return convertInPlace(frame, len, codec::convertToAdvanced);
}

} // extern "C"
