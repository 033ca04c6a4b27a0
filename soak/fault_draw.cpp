#include "fault_draw.h"

#include <algorithm>

namespace vksoak {
namespace {

using krnsim::Fault;
using krnsim::FaultKind;
using Millis = std::chrono::milliseconds;

// Codes of the reader library for a reply it cannot take.
constexpr int kErrLength = -4030;
constexpr int kErrCrc = -4031;
constexpr int kErrCommand = -4035;
constexpr int kErrBusAddress = -4037;
constexpr int kErrSplitProtocol = -4065;
constexpr int kErrDecipher = -4094;

constexpr std::array<std::string_view, kFaultKinds> kNames = {
    "bad CRC", "wrong command", "wrong address", "length delta", "truncate", "surplus",       "split",
    "delay",   "silence",       "raw bytes",     "noise",        "close",    "close after k", "reset"};

int uniform(std::mt19937_64& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

krnsim::Bytes randomBytes(std::mt19937_64& random, int count) {
    krnsim::Bytes bytes(static_cast<std::size_t>(count));
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(uniform(random, 0, 255));
    return bytes;
}

} // namespace

PortCodes portCodes(Link link) {
    return link == Link::Tcp ? PortCodes{-1230, -1232, -1237} : PortCodes{-1030, -1032, -1037};
}

std::string_view kindName(std::size_t kind) {
    return kind < kNames.size() ? kNames[kind] : "?";
}

Draw drawFault(std::mt19937_64& random, std::size_t frameLength, std::uint8_t replyCommand, Millis timeout) {
    const int t = static_cast<int>(timeout.count());
    const int length = static_cast<int>(frameLength);
    switch (static_cast<FaultKind>(uniform(random, 0, static_cast<int>(kFaultKinds) - 1))) {
    case FaultKind::BadCrc: return {Fault::badCrc(), false, false};
    case FaultKind::WrongCommand: {
        // Any command byte but the reply's own.
        const int other = uniform(random, 0, 0xFE);
        return {Fault::wrongCommand(static_cast<std::uint8_t>(other >= replyCommand ? other + 1 : other)),
                false, false};
    }
    case FaultKind::WrongAddress:
        return {Fault::wrongAddress(static_cast<std::uint8_t>(uniform(random, 2, 0xFD))), false, false};
    case FaultKind::LengthDelta: {
        const int k = uniform(random, 1, 3);
        const bool shorter = uniform(random, 0, 1) == 0;
        return {Fault::lengthDelta(shorter ? -k : k), false, false, shorter};
    }
    case FaultKind::Truncate:
        return {Fault::truncate(static_cast<std::size_t>(uniform(random, 1, length - 1))), false, false};
    case FaultKind::Surplus:
        return {Fault::surplus(randomBytes(random, uniform(random, 1, 16))), true, false};
    case FaultKind::Split: {
        std::vector<std::size_t> pieces;
        std::vector<Millis> gaps;
        int left = length;
        while (left > 1 && pieces.size() < 4) {
            const int piece = uniform(random, 1, left - 1);
            pieces.push_back(static_cast<std::size_t>(piece));
            gaps.push_back(Millis(uniform(random, 0, std::max(1, t / 10))));
            left -= piece;
        }
        return {Fault::split(std::move(pieces), std::move(gaps)), true, false};
    }
    case FaultKind::Delay:
        // Below the time-out the reply still counts; above it the late reply
        // must not be taken by the exchange after this one. The ports guard
        // one more time-out after a time-out: later replies cannot be told
        // from the next one's.
        if (uniform(random, 0, 1) == 0) return {Fault::delay(Millis(uniform(random, 0, t / 2))), true, false};
        return {Fault::delay(Millis(uniform(random, t + t / 20, t + t / 4))), false, false, true};
    case FaultKind::Silence: return {Fault::silence(), false, false};
    case FaultKind::Raw: return {Fault::raw(randomBytes(random, uniform(random, 1, 24))), false, false};
    case FaultKind::Noise: return {Fault::noise(randomBytes(random, uniform(random, 1, 8))), false, false};
    case FaultKind::Close: return {Fault::close(), false, true};
    case FaultKind::CloseAfter:
        return {Fault::closeAfter(static_cast<std::size_t>(uniform(random, 1, length - 1))), false, true};
    case FaultKind::Reset: return {Fault::reset(), false, true};
    }
    return {Fault::silence(), false, false};
}

bool allowedCode(FaultKind kind, Link link, int code) {
    const PortCodes port = portCodes(link);
    auto oneOf = [code](std::initializer_list<int> codes) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    };
    switch (kind) {
    case FaultKind::BadCrc: return code == kErrCrc;
    case FaultKind::WrongCommand: return code == kErrCommand;
    case FaultKind::WrongAddress: return code == kErrBusAddress;
    // A shorter length ends the frame early (its CRC fails, or it is too short to
    // be a frame, which the port library may refuse itself); a longer one waits
    // for bytes that never come.
    case FaultKind::LengthDelta: return oneOf({kErrCrc, kErrLength, port.read, port.receiveTimeout});
    case FaultKind::Truncate:
    case FaultKind::Delay:
    case FaultKind::Silence: return code == port.receiveTimeout;
    // Other bytes where the frame should start: whatever the first bytes make of
    // the length field decides which check refuses them.
    case FaultKind::Raw:
    case FaultKind::Noise:
        return oneOf({kErrLength, kErrCrc, kErrCommand, kErrBusAddress, port.read, port.receiveTimeout});
    // A serial line has no connection to lose: the hang-up of a pty after part
    // of a frame can look like a line that went quiet.
    case FaultKind::Close:
    case FaultKind::CloseAfter:
    case FaultKind::Reset:
        return oneOf({port.read, port.transmit}) || (link == Link::Pty && code == port.receiveTimeout);
    case FaultKind::Surplus:
    case FaultKind::Split: return false; // these must succeed
    }
    return false;
}

bool outOfStepCode(int code) {
    return code == kErrLength || code == kErrCrc || code == kErrSplitProtocol || code == kErrDecipher;
}

} // namespace vksoak
