// The one course of a reader command method: re-entry refusal, command lock,
// output presets, first-generation USB test, argument checks, request data in
// the reader's data buffer, the transceive engine, reply parsing, the error line
// of the command's own failures. A command describes only what differs: a shape
// derived from CommandShape that hides the steps it changes. Nothing here
// allocates: the request and reply live in the reader's data buffer, the records
// on the caller's stack.
#ifndef VKKRN_COMMAND_CALL_H
#define VKKRN_COMMAND_CALL_H

#include "reader/reader.h"
#include "texts/error_codes.h"

#include <vkkrn_codec/hex.h>
#include <vkkrn_plugin.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <mutex>

namespace vkkrn {

// What a command does on a first-generation USB reader.
enum class FirstGeneration {
    Refused,         // -4006 under the command lock
    RefusedUnlocked, // -4006 before the lock is taken (presets come first too)
    UsbRecord,       // usbRequest() fills a _VKKRN_PLUGIN_USB_DATA record for the engine
};

// Data formats of the commands that take one.
inline constexpr int kFormatRaw = 0;
inline constexpr int kFormatHex = 1;
// The most request data bytes a frame carries.
inline constexpr int kMaxRequestData = 65528;

struct CommandShape {
    unsigned char adr = 0;
    unsigned char cmd = 0;
    int mode = 0; // handed to the engine and the plug-in
    FirstGeneration firstGeneration = FirstGeneration::Refused;
    int parseFrom = 1;      // the reply is parsed when it holds at least this many bytes
    void* record = nullptr; // the command's own record, or null

    // Outputs set before anything else may fail.
    void presets() {}
    // Argument checks: 0 or the code to fail with; the first runs before the
    // first-generation test, the second after it.
    int checkFirst() { return 0; }
    int check() { return 0; }
    // First generation, USB record: fills `usb` and writes its payload at `data`;
    // the payload length or a negative code.
    int usbRequest(_VKKRN_PLUGIN_USB_DATA&, unsigned char*) { return 0; }
    // Writes the request data at `data`: its length, or a negative code.
    int request(unsigned char*) { return 0; }
    // Turns the `n` reply data bytes at `data` into the outputs: 0 or a code.
    int parse(const unsigned char*, int) { return 0; }
    // The engine ran but the reply was not parsed (failure, no data, or a plug-in
    // took it).
    void unparsed() {}
    // The engine's result, under the lock, after the outputs.
    void finished(VKKRNReader&, int) {}
};

template <typename Shape> int runCommand(VKKRNReader& reader, Shape& shape) {
    if (reader.RefuseReentry()) return kErrBusy;
    std::unique_lock<std::mutex> lock;
    if (shape.firstGeneration == FirstGeneration::RefusedUnlocked) {
        shape.presets();
        if (reader.IsFirstGenerationUsb()) return reader.CommandFailure(kErrFirstGenerationUsb);
        lock = reader.Lock();
    } else {
        lock = reader.Lock();
        shape.presets();
    }
    if (const int rc = shape.checkFirst()) return reader.CommandFailure(rc);
    const bool usbRecord = reader.IsFirstGenerationUsb();
    if (usbRecord && shape.firstGeneration != FirstGeneration::UsbRecord)
        return reader.CommandFailure(kErrFirstGenerationUsb);
    if (const int rc = shape.check()) return reader.CommandFailure(rc);

    unsigned char* data = reader.DataBuffer();
    _VKKRN_PLUGIN_USB_DATA usb;
    const int requestLength = usbRecord ? shape.usbRequest(usb, data) : shape.request(data);
    if (requestLength < 0) return reader.CommandFailure(requestLength);

    int len = requestLength;
    bool parsing = true;
    const int rc = reader.Exe_Transceive(shape.adr, shape.cmd, shape.mode, usbRecord ? &usb : shape.record,
                                         &len, &parsing);
    if (rc >= 0 && parsing && len >= shape.parseFrom) {
        if (const int failure = shape.parse(data, len)) return reader.CommandFailure(failure);
    } else {
        shape.unparsed();
    }
    shape.finished(reader, rc);
    return rc;
}

// ---- Request helpers.

// Reads `n` bytes of caller input into `dst`: for format 1 2n hex digits of
// either case (anything else, a NUL included, gives -4052 and nothing after it
// is read), otherwise n raw bytes. 0 or -4052.
inline int readInput(const unsigned char* in, int n, int format, unsigned char* dst) {
    if (n <= 0) return 0;
    if (format != kFormatHex) {
        std::memcpy(dst, in, static_cast<std::size_t>(n));
        return 0;
    }
    const auto count = static_cast<std::size_t>(n);
    return codec::decodeHex({in, 2 * count}, {dst, count}) ? 0 : kErrOddHex;
}

// Puts the low 16 bits of `value` at `dst`, high byte first.
inline void putWord(unsigned char* dst, unsigned int value) {
    dst[0] = static_cast<unsigned char>(value >> 8);
    dst[1] = static_cast<unsigned char>(value);
}

// A first-generation request without payload: header byte 3 and the reply length
// announced.
inline int usbHeadOnly(_VKKRN_PLUGIN_USB_DATA& usb, unsigned int replyLength, unsigned char header3 = 0) {
    usb.header3 = header3;
    usb.kind = 1;
    usb.length = replyLength;
    return 0;
}

// A command that sends a few fixed bytes and hands out nothing. On a
// first-generation reader (UsbRecord) it sends the head alone: header byte 3 and
// the reply length 3.
struct SendShape : CommandShape {
    std::initializer_list<unsigned char> bytes;
    unsigned char usbHeader3 = 0;
    int usbRequest(_VKKRN_PLUGIN_USB_DATA& usb, unsigned char*) { return usbHeadOnly(usb, 3, usbHeader3); }
    int request(unsigned char* data) {
        std::copy(bytes.begin(), bytes.end(), data);
        return static_cast<int>(bytes.size());
    }
};

// Runs a SendShape.
inline int sendCommand(VKKRNReader& reader, unsigned char adr, unsigned char cmd, void* record,
                       std::initializer_list<unsigned char> bytes,
                       FirstGeneration firstGeneration = FirstGeneration::Refused,
                       unsigned char usbHeader3 = 0) {
    SendShape s;
    s.adr = adr;
    s.cmd = cmd;
    s.record = record;
    s.bytes = bytes;
    s.firstGeneration = firstGeneration;
    s.usbHeader3 = usbHeader3;
    return runCommand(reader, s);
}

// ---- Reply helpers.

// Reply byte i, 0 past the reply's end: a short reply never shows what an
// earlier request left in the data buffer.
inline unsigned char replyByte(const unsigned char* data, int n, int i) {
    return i < n ? data[i] : 0;
}

// Writes `n` bytes to `out`: format 0 raw followed by a NUL byte, any other
// format "%02X" text and a NUL. Returns the characters (or bytes) written before
// the NUL.
inline int putOutput(unsigned char* out, const unsigned char* bytes, int n, int format) {
    const auto count = static_cast<std::size_t>(n > 0 ? n : 0);
    if (format == kFormatRaw) {
        if (count > 0) std::memcpy(out, bytes, count);
        out[count] = 0;
        return static_cast<int>(count);
    }
    codec::encodeHex({bytes, count}, {out, 2 * count + 1});
    return static_cast<int>(2 * count);
}

// A fixed-size output of `size` reply bytes from `from` on; bytes the reply does
// not hold are 0.
inline void putFixedOutput(unsigned char* out, const unsigned char* data, int n, int from, int size,
                           int format) {
    unsigned char bytes[16] = {};
    for (int i = 0; i < size && i < static_cast<int>(sizeof bytes); ++i)
        bytes[i] = replyByte(data, n, from + i);
    putOutput(out, bytes, size, format);
}

// The data exchanges (0x1E, 0x1F, 0x9F): `lead` leading bytes, then the
// caller's data; the whole reply goes to out (when given) with a NUL, its length
// (in characters for hex output) to out length (when given). A count below 0 or
// a request above 65,528 bytes gives -4051, an odd hex count -4052, before
// anything is copied.
template <typename Record> struct ExchangeShape : CommandShape {
    Record rec;
    const unsigned char* lead = nullptr;
    int leadCount = 0;
    const unsigned char* input = nullptr; // the caller's data
    int count = 0;                        // its count: bytes, or hex characters for format 1
    int format = kFormatRaw;
    unsigned char* out = nullptr;
    int* outLength = nullptr;
    bool closingZero = false; // a 0x00 after the request data, not sent

    int dataBytes() const { return format == kFormatHex ? count / 2 : count; }
    int check() {
        if (count < 0) return kErrOutOfRange;
        if (format == kFormatHex && count % 2 != 0) return kErrOddHex;
        return dataBytes() > kMaxRequestData - leadCount ? kErrOutOfRange : 0;
    }
    int request(unsigned char* data) {
        std::memcpy(data, lead, static_cast<std::size_t>(leadCount));
        if (const int rc = readInput(input, dataBytes(), format, data + leadCount)) return rc;
        if (closingZero) data[leadCount + dataBytes()] = 0;
        return leadCount + dataBytes();
    }
    int parse(const unsigned char* d, int n) {
        const int written =
            out != nullptr ? putOutput(out, d, n, format) : (format == kFormatRaw ? n : 2 * n);
        if (outLength != nullptr) *outLength = written;
        return 0;
    }
};

// `lead` bytes, then `count` bytes of caller input (raw, or hex text for format
// 1, the mode), then, for the key and login commands, a 0x00 that is not sent.
struct InputShape : CommandShape {
    unsigned char lead[4] = {};
    int leadCount = 0;
    const unsigned char* input = nullptr;
    int count = 0;
    bool closingZero = false;
    int request(unsigned char* data) {
        std::memcpy(data, lead, static_cast<std::size_t>(leadCount));
        if (const int rc = readInput(input, count, mode, data + leadCount)) return rc;
        if (closingZero) data[leadCount + count] = 0;
        return leadCount + count;
    }
};

// A fixed-size read-out: out[0] = 0 first, then the first `Size` reply bytes
// (0 where the reply is shorter), raw or hex by the format (the mode).
template <int Size> struct FixedReadShape : CommandShape {
    unsigned char* out = nullptr;
    void presets() { out[0] = 0; }
    int parse(const unsigned char* d, int n) {
        putFixedOutput(out, d, n, 0, Size, mode);
        return 0;
    }
};

} // namespace vkkrn

#endif
