#include "qm30_rf_front.h"

namespace qm30sim {

namespace {

constexpr std::uint8_t kFieldOff = 0, kIso15693 = 1, kIso14443A = 2, kIso14443B = 3;
constexpr std::uint8_t kAppendCrc = 0x01; // select parameter byte, ISO 15693 and B

constexpr std::uint8_t kFlagCrc = 0x20, kFlagSplit = 0x40, kFlagBits = 0x0F;

constexpr std::uint8_t kReceived = 0x80, kReceivedPartial = 0x90, kFrom256 = 0xA0, kFrom512 = 0xC0;
constexpr std::uint8_t kNoTag = 0x87, kOverflow = 0x89, kFraming = 0x8A;
constexpr std::uint8_t kCollision14443A = 0x80, kCollision15693 = 0x03;

FrameAnswer noTag() {
    return FrameAnswer{kNoTag, {}};
}

// The payload with its result code and length byte, as the transfer carries it.
FrameAnswer sized(std::uint8_t code, std::vector<std::uint8_t> payload, std::size_t room) {
    const std::size_t n = payload.size();
    if (n > room) return FrameAnswer{kOverflow, {}};
    if (n >= 512)
        code = kFrom512;
    else if (n >= 256)
        code = kFrom256;
    FrameAnswer answer{code, std::move(payload)};
    answer.lengthByte = static_cast<std::uint8_t>(n & 0xFF);
    return answer;
}

} // namespace

void RfFront::select(const std::vector<std::uint8_t>& payload) {
    protocol_ = payload.empty() ? kFieldOff : payload[0];
    appendCrc_ = payload.size() > 1 && (payload[1] & kAppendCrc) != 0;
    if (protocol_ == kFieldOff) field_.switchOff();
}

FrameAnswer RfFront::exchange(const std::vector<std::uint8_t>& frame, std::size_t room) {
    switch (protocol_) {
    case kIso14443A: return typeA(frame, room);
    case kIso14443B: return typeB(frame, room);
    case kIso15693: return vicinity(frame, room);
    default: return noTag();
    }
}

FrameAnswer RfFront::typeA(const std::vector<std::uint8_t>& frame, std::size_t room) {
    if (frame.size() < 2) return noTag();
    const std::uint8_t flag = frame.back();
    std::vector<std::uint8_t> data(frame.begin(), frame.end() - 1);
    int lastBits = flag & kFlagBits;
    if (lastBits == 0 && (flag & kFlagSplit) != 0) {
        data.pop_back(); // the split byte carries no bit
        lastBits = 8;
    }
    if (data.empty() || lastBits < 1 || lastBits > 8) return noTag();
    const auto heard =
        field_.exchange(rfsim::Frame{data, lastBits, (flag & kFlagCrc) != 0, rfsim::Protocol::Iso14443A});
    if (!heard) return noTag();
    std::vector<std::uint8_t> payload = heard->bytes;
    if (heard->collision) {
        payload.push_back(kCollision14443A);
        payload.push_back(static_cast<std::uint8_t>(heard->collision->byte));
        payload.push_back(static_cast<std::uint8_t>(heard->collision->bit));
    } else {
        payload.insert(payload.end(), 3, 0x00);
    }
    return sized(heard->lastBits == 8 ? kReceived : kReceivedPartial, std::move(payload), room);
}

FrameAnswer RfFront::typeB(const std::vector<std::uint8_t>& frame, std::size_t room) {
    if (frame.empty()) return noTag();
    const auto heard = field_.exchange(rfsim::Frame{frame, 8, appendCrc_, rfsim::Protocol::Iso14443B});
    if (!heard) return noTag();
    if (heard->collision) return FrameAnswer{kFraming, {}};
    std::vector<std::uint8_t> payload = heard->bytes;
    payload.push_back(0x00);
    return sized(kReceived, std::move(payload), room);
}

FrameAnswer RfFront::vicinity(const std::vector<std::uint8_t>& frame, std::size_t room) {
    // An end of frame carries no CRC.
    const bool crc = appendCrc_ && !frame.empty();
    const auto heard = field_.exchange(rfsim::Frame{frame, 8, crc, rfsim::Protocol::Iso15693});
    if (!heard) return noTag();
    std::vector<std::uint8_t> payload = heard->bytes;
    payload.push_back(heard->collision ? kCollision15693 : 0x00);
    return sized(kReceived, std::move(payload), room);
}

} // namespace qm30sim
