// The hex-string command interface: each command is one 64-byte output report
// and one input report read within HidManager::kReadTimeoutMs. A write that does
// not take the whole report, or a read that fails, times out or brings fewer than
// the three header bytes, is treated as a dongle that is not connected.
#include "qm30_dll.h"

#include "hid_manager.h"
#include "utils.h"

#include <kestoreader/qm30_dll.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace vemlasdknative {

int MCUrev = kMCUrevInitial;

namespace {

constexpr int kOk = 0;
constexpr int kCannotOpen = 1;
constexpr int kBadCommand = 2;
constexpr int kSelectRefused = 3;
constexpr int kTransceiverError = 4;
constexpr int kNotConnected = 5;

constexpr std::uint8_t kTransceiver = 1;
constexpr std::uint8_t kController = 2;
constexpr std::uint8_t kSendReceive = 0x04;
constexpr std::uint8_t kProtocolSelect = 0x02;
constexpr std::uint8_t kChunk = 0xA6;
constexpr std::uint8_t kAnswerPart = 0xA7;
constexpr std::uint8_t kMore = 0x10;

// What one report carries after {id, code, length}, and what the length byte
// of a chunked frame (with its type byte) can describe.
constexpr std::size_t kReportData = HidManager::kReportSize - 3;
constexpr std::size_t kMaxChunkedFrame = 767;
constexpr std::size_t kChunkBytes = 30;
constexpr std::size_t kLastChunkMax = 58;
// A chunked answer: result, length byte and at most 767 data bytes, in at most
// 16 parts.
constexpr std::size_t kMaxAnswer = kMaxChunkedFrame + 2;
constexpr int kMaxParts = 16;

const char kUnknownAfterReport[] = "Unknown error \n";
const char kUnknown[] = "Unknown error";

using Report = std::array<unsigned char, HidManager::kReportSize>;
using Input = std::array<unsigned char, HidManager::kReadSize>;

Report makeReport(std::initializer_list<std::uint8_t> head) {
    Report report{};
    std::copy(head.begin(), head.end(), report.begin());
    return report;
}

// One report out, one in; false when the dongle is not connected. `got` is the
// number of bytes read.
bool exchange(HidManager& manager, const Report& out, Input& in, int& got) {
    if (manager.SimpleWrite(out.data()) < HidManager::kReportSize) return false;
    got = manager.SimpleRead(in.data());
    return got >= 3;
}

// {result, length, data...} of an input report, the length cut to the bytes read.
void writeReply(char* reply, const Input& in, int got) {
    int length = std::min<int>(in[2], got - 3);
    Hex2Asc(reply, in.data() + 1, length + 2);
}

const char* selectErrorText(std::uint8_t code) {
    switch (code) {
    case 0x82: return "8200 : Invalid command length";
    case 0x83: return "8300 : Invalid protocol";
    default: return nullptr;
    }
}

const char* transceiverErrorText(std::uint8_t code) {
    switch (code) {
    case 0x86: return "8600 : Communication error";
    case 0x87: return "8700 : Frame wait time out OR no tag";
    case 0x88: return "8800 : Invalid Start Of Frame";
    case 0x89: return "8900 : Receive buffer overflow (too many bytes received)";
    case 0x8A: return "8A00: Framing error (start bit=0, stop bit=1)";
    case 0x8B: return "8B00 : EGT time out (for Iso14443-B)";
    case 0x8C: return "8C00 : Invalid length. Used in Felica, when field Length < 3";
    case 0x8D: return "8D00 : CRC error (Used in Felica protocol)";
    case 0x8E: return "8E00 : Reception lost without EOF received";
    default: return nullptr;
    }
}

bool frameReceived(std::uint8_t code) {
    return (code & ~kMore & 0xFF) == 0x80;
}

int transceiverError(char* reply, std::uint8_t code, const char* unknown) {
    const char* text = transceiverErrorText(code);
    std::strcpy(reply, text != nullptr ? text : unknown);
    return kTransceiverError;
}

// The bytes of a command text: strlen / 2 pairs (an odd last digit dropped),
// each two hex digits, at most `max` of them. False for anything else.
struct Command {
    std::array<unsigned char, kMaxChunkedFrame + 1> bytes{};
    std::size_t size = 0;
};

bool parseCommand(const char* text, std::size_t max, Command& command) {
    std::size_t n = std::strlen(text) / 2;
    if (n > max) return false;
    command.size = n;
    return Asc2Hex(command.bytes.data(), text, static_cast<int>(2 * n)) == 1;
}

int simpleCommand(HidManager* manager, char* reply, std::initializer_list<std::uint8_t> head) {
    if (manager == nullptr) return kNotConnected;
    if (reply == nullptr) return kBadCommand;
    if (!manager->IsConnected()) return kNotConnected;
    Input in;
    int got = 0;
    if (!exchange(*manager, makeReport(head), in, got)) return kNotConnected;
    writeReply(reply, in, got);
    return kOk;
}

// Single-report answer of the transceiver's send-and-receive.
int frameAnswer(char* reply, const Input& in, int got, const char* unknown) {
    if (frameReceived(in[1])) {
        writeReply(reply, in, got);
        return kOk;
    }
    return transceiverError(reply, in[1], unknown);
}

// Answer parts {2, 0xA7, m, flag, m bytes}, the first already read into `in`.
int collectAnswer(HidManager& manager, Input& in, int got, char* reply) {
    std::array<unsigned char, kMaxAnswer> answer{};
    std::size_t size = 0;
    bool overflow = false;
    for (int part = 1;; ++part) {
        std::uint8_t flag = in[3];
        std::size_t m = std::min<std::size_t>(in[2], got > 4 ? static_cast<std::size_t>(got - 4) : 0);
        bool fits = !overflow && size + m <= kMaxAnswer;
        if ((flag & kMore) == 0) {
            if (overflow || !fits) {
                std::strcpy(reply, kUnknown);
                return kTransceiverError;
            }
            if (size == 0 && !frameReceived(in[4])) return transceiverError(reply, in[4], kUnknown);
            std::copy_n(in.begin() + 4, m, answer.begin() + static_cast<std::ptrdiff_t>(size));
            size += m;
            Hex2Asc(reply, answer.data(), static_cast<int>(size));
            return kOk;
        }
        if (fits) {
            std::copy_n(in.begin() + 4, m, answer.begin() + static_cast<std::ptrdiff_t>(size));
            size += m;
        } else {
            overflow = true;
        }
        if (part == kMaxParts) {
            std::strcpy(reply, kUnknown);
            return kTransceiverError;
        }
        if (!exchange(manager, makeReport({kController, kAnswerPart}), in, got)) return kNotConnected;
        if (in[1] != kAnswerPart) {
            Hex2Asc(reply, in.data() + 1, 2);
            return kTransceiverError;
        }
    }
}

// The frame in chunks through the controller: 30 bytes each, except a last
// chunk of up to 58; the first chunk also carries the type and the low length
// byte.
int sendChunked(HidManager& manager, const Command& frame, char* reply) {
    const std::size_t n = frame.size;
    const std::uint8_t type = n < 256 ? 0x04 : n < 512 ? 0x24 : 0x44;
    long r = static_cast<long>(n);
    std::size_t c = 0; // 0-based index of the next byte
    for (bool first = true;; first = false) {
        bool last = r <= static_cast<long>(kLastChunkMax);
        std::size_t k = last ? static_cast<std::size_t>(r) : kChunkBytes;
        std::uint8_t flag = last ? 0x00 : kMore;
        Report report{};
        report[0] = kController;
        report[1] = kChunk;
        std::size_t at;
        if (first) {
            report[2] = static_cast<std::uint8_t>(k + 2);
            report[3] = flag;
            report[4] = type;
            report[5] = static_cast<std::uint8_t>(n & 0xFF);
            at = 6;
        } else {
            report[2] = static_cast<std::uint8_t>(k);
            report[3] = flag;
            at = 4;
        }
        std::copy_n(frame.bytes.begin() + static_cast<std::ptrdiff_t>(c), k,
                    report.begin() + static_cast<std::ptrdiff_t>(at));
        Input in;
        int got = 0;
        if (!exchange(manager, report, in, got)) return kNotConnected;
        if (in[1] == kChunk) {
            r -= static_cast<long>(kChunkBytes);
            c += k;
            if (r <= 0 || last) {
                // Acknowledged without an answer: an empty reply text, never a
                // stale one.
                reply[0] = '\0';
                return kOk;
            }
            continue;
        }
        if (in[1] == kAnswerPart) return collectAnswer(manager, in, got, reply);
        writeReply(reply, in, got);
        return kTransceiverError;
    }
}

} // namespace

int QM30Dll_essai(char* reply) {
    if (reply == nullptr) return kBadCommand;
    std::strcpy(reply, "essai");
    return kOk;
}

int QM30Dll_Echo(HidManager* manager, char* reply) {
    return simpleCommand(manager, reply, {kTransceiver, 0x55});
}

int QM30Dll_Idn(HidManager* manager, char* reply) {
    return simpleCommand(manager, reply, {kTransceiver, 0x01, 0x00});
}

int QM30Dll_FieldOff(HidManager* manager, char* reply) {
    return simpleCommand(manager, reply, {kTransceiver, kProtocolSelect, 0x02, 0x00, 0x00});
}

int QM30Dll_ResetSPI(HidManager* manager, char* reply) {
    return simpleCommand(manager, reply, {kController, 0xBD});
}

int QM30DLL_getInterfacePinState(HidManager* manager, char* reply) {
    return simpleCommand(manager, reply, {kController, 0xBA});
}

int QM30Dll_Polling_Reading(HidManager* manager, char* reply) {
    return simpleCommand(manager, reply, {kController, 0xB8});
}

int QM30Dll_SendNSSPulse(HidManager* manager, char* reply) {
    return simpleCommand(manager, reply, {kController, 0xB9});
}

int QM30DLL_getHardwareVersion(HidManager* manager, char* reply) {
    return simpleCommand(manager, reply, {kController, 0xB2});
}

int QM30Dll_Select(HidManager* manager, const char* cmd, char* reply) {
    if (manager == nullptr) return kNotConnected;
    if (cmd == nullptr || reply == nullptr) return kBadCommand;
    if (!manager->IsConnected()) return kNotConnected;
    Command command;
    if (!parseCommand(cmd, kReportData, command) || command.size == 0) return kBadCommand;
    Report report = makeReport({kTransceiver, kProtocolSelect, static_cast<std::uint8_t>(command.size)});
    std::copy_n(command.bytes.begin(), command.size, report.begin() + 3);
    Input in;
    int got = 0;
    if (!exchange(*manager, report, in, got)) return kNotConnected;
    if (in[1] == 0x00) {
        writeReply(reply, in, got);
        return kOk;
    }
    if (const char* text = selectErrorText(in[1])) std::strcpy(reply, text);
    return kSelectRefused;
}

int QM30Dll_KestoCmd(HidManager* manager, const char* cmd, char* reply) {
    if (manager == nullptr) return kNotConnected;
    if (cmd == nullptr || reply == nullptr) return kBadCommand;
    if (!manager->IsConnected()) return kNotConnected;
    Command command;
    if (!parseCommand(cmd, HidManager::kReportSize, command) || command.size == 0) return kBadCommand;
    Report report{};
    std::copy_n(command.bytes.begin(), command.size, report.begin());
    Input in;
    int got = 0;
    if (!exchange(*manager, report, in, got)) return kNotConnected;
    writeReply(reply, in, got);
    return kOk;
}

int QM30Dll_SendReceive(HidManager* manager, const char* cmd, char* reply) {
    if (manager == nullptr) return kNotConnected;
    if (cmd == nullptr || reply == nullptr) return kBadCommand;
    if (!manager->IsConnected()) return kNotConnected;
    Command frame;
    bool chunked = MCUrev > kLastSingleReportRev;
    if (!parseCommand(cmd, chunked ? kMaxChunkedFrame : kReportData, frame)) return kBadCommand;
    Input in;
    int got = 0;
    if (frame.size == 0) {
        // The empty frame (end of frame) goes out in one report whatever the revision.
        if (!exchange(*manager, makeReport({kTransceiver, kSendReceive, 0x00}), in, got))
            return kNotConnected;
        return frameAnswer(reply, in, got, kUnknown);
    }
    if (chunked) return sendChunked(*manager, frame, reply);
    Report report = makeReport({kTransceiver, kSendReceive, static_cast<std::uint8_t>(frame.size)});
    std::copy_n(frame.bytes.begin(), frame.size, report.begin() + 3);
    if (!exchange(*manager, report, in, got)) return kNotConnected;
    return frameAnswer(reply, in, got, kUnknownAfterReport);
}

int QM30DLL_getMCUrev(HidManager* manager, char* reply) {
    if (manager == nullptr) return kCannotOpen;
    if (reply == nullptr) return kBadCommand;
    if (!Darvik_connected(manager)) return kCannotOpen;
    Input in;
    int got = 0;
    if (!exchange(*manager, makeReport({kController, 0xBC}), in, got)) return kCannotOpen;
    writeReply(reply, in, got);
    if (std::min<int>(in[2], got - 3) >= 3) MCUrev = in[3] * 256 + in[4] * 16 + in[5];
    return kOk;
}

int QM30DLL_USBhandlecheck(HidManager* manager) {
    if (manager == nullptr) return kNotConnected;
    return manager->IsConnected() ? kOk : kNotConnected;
}

int QM30DLL_USBconnect(HidManager* manager) {
    if (manager == nullptr) return kCannotOpen;
    return Darvik_connected(manager) ? kOk : kCannotOpen;
}

} // namespace vemlasdknative
