#include "iso14443a_pcd.h"

#include "lib_PCD.h"
#include "utils.h"

#include <algorithm>
#include <span>

namespace vemlasdknative {

namespace {

constexpr byte_t kReqA = 0x26;
constexpr byte_t kWupA = 0x52;
constexpr byte_t kShortFrameFlag = 0x07; // 7 valid bits
constexpr byte_t kWholeBytesFlag = 0x08;
constexpr byte_t kSplitFlag = 0x40;
constexpr int kCascadeBytes = 5; // 4 bytes and their check byte
constexpr int kMaxPosition = 0x50;

// The send and receive areas of one operation, sized by the reader's maxima.
struct Areas {
    std::vector<byte_t> tx = std::vector<byte_t>(static_cast<std::size_t>(std::max(PCD_GetMaxTxLength(), 0)));
    std::vector<byte_t> rx = std::vector<byte_t>(static_cast<std::size_t>(std::max(PCD_GetMaxRxLength(), 0)));
    int received = 0;

    // Sends a frame from the send area into `answer` (the receive area unless
    // given). A frame the send area cannot hold is not sent: PCD_ERROR.
    byte_t send(std::span<const byte_t> frame, byte_t flag, byte_t* answer = nullptr, int capacity = 0) {
        received = 0;
        if (frame.size() > tx.size() || frame.size() > 0xFF) return PCD_ERROR;
        std::copy(frame.begin(), frame.end(), tx.begin());
        if (answer == nullptr) {
            answer = rx.data();
            capacity = static_cast<int>(rx.size());
        }
        return PCD_SendRecv(static_cast<byte_t>(frame.size()), tx.data(), answer, capacity, &received, flag);
    }
};

// The reader's collision position; a reader that writes nothing leaves one
// no answer can have.
bool collisionPosition(int received, int& byte, int& bit) {
    std::uint8_t bytePos = 0xFF;
    std::uint8_t bitPos = 0xFF;
    PCD_GetCollisionPostion(&bytePos, &bitPos);
    byte = bytePos;
    bit = bitPos;
    return bit <= 7 && byte < received;
}

} // namespace

int Iso14443ACommands::shortFrame(byte_t command, byte_t* answer, int capacity) {
    Areas areas;
    const byte_t frame[] = {command, kShortFrameFlag};
    return areas.send(frame, PCD_FLAG_IN_FRAME, answer, capacity) == PCD_OK ? kSuccessCode : kDefaultError;
}

int Iso14443ACommands::Iso14443aReqA(byte_t* answer, int capacity) {
    return shortFrame(kReqA, answer, capacity);
}

int Iso14443ACommands::Iso14443aWupA(byte_t* answer, int capacity) {
    return shortFrame(kWupA, answer, capacity);
}

int Iso14443ACommands::Iso14443aHltA(byte_t* answer, int capacity) {
    Areas areas;
    const byte_t frame[] = {0x50, 0x00};
    areas.send(frame, PCD_FLAG_CRC, answer, capacity);
    return kSuccessCode;
}

int Iso14443ACommands::Iso14443aRats(byte_t* answer, int capacity) {
    Areas areas;
    const byte_t frame[] = {static_cast<byte_t>(kCommandRats), 0x80}; // FSDI 8, CID 0
    return areas.send(frame, PCD_FLAG_CRC, answer, capacity) == PCD_OK ? kSuccessCode : kDefaultError;
}

int Iso14443ACommands::Iso14443aIsPresent() {
    Areas areas;
    const byte_t frame[] = {kReqA, kShortFrameFlag};
    const byte_t result = areas.send(frame, PCD_FLAG_IN_FRAME);
    return result == PCD_OK || result == PCD_COLLISION ? kSuccessCode : kDefaultError;
}

int Iso14443ACommands::Iso14443aDeselectTag(const byte_t* /*uid*/) {
    Areas areas;
    const byte_t frame[] = {static_cast<byte_t>(kCommandSBlock)};
    return areas.send(frame, PCD_FLAG_CRC) == PCD_OK ? kSuccessCode : kDefaultError;
}

int Iso14443ACommands::Iso14443aAc(std::int32_t sel, byte_t* answer) {
    if (answer == nullptr) return kDefaultError;
    Areas areas;
    byte_t uid[kCascadeBytes] = {};
    const byte_t first[] = {static_cast<byte_t>(sel), static_cast<byte_t>(kIso14443aNvm20), kWholeBytesFlag};
    byte_t result = areas.send(first, PCD_FLAG_IN_FRAME);
    if (result == PCD_ERROR || areas.received == 0) return kDefaultError;
    std::copy_n(areas.rx.begin(), std::min(areas.received, kCascadeBytes), uid);
    if (result != PCD_COLLISION) {
        std::copy_n(uid, kCascadeBytes, answer);
        return kSuccessCode;
    }

    int byte = 0;
    int bit = 0;
    if (!collisionPosition(areas.received, byte, bit)) return kDefaultError;
    // Known bits: bits 0 to b of byte B, the colliding bit as received; a whole
    // known byte moves the position on instead.
    int position = kIso14443aNvm20 + kIso14443aNvm10 * byte;
    int bits = bit + 1;
    if (bits == 8) {
        bits = 0;
        position += kIso14443aNvm10;
    }
    int known = 0;
    for (;;) {
        const int total = (position / 16 - 2) * 8 + bits;
        // Each round must learn more than the one before: a reader reporting a
        // collision where nothing is left to resolve cannot loop for ever.
        if (position < kIso14443aNvm20 || position > kMaxPosition || total <= known) return kDefaultError;
        known = total;
        const int split = position / 16 - 2;
        const byte_t partial = static_cast<byte_t>(uid[split] & ((1u << bits) - 1));
        std::vector<byte_t> frame{static_cast<byte_t>(sel), static_cast<byte_t>(position + bits)};
        frame.insert(frame.end(), uid, uid + split);
        frame.push_back(partial);
        frame.push_back(static_cast<byte_t>(kSplitFlag + bits));

        int repeats = 0;
        do {
            result = areas.send(frame, PCD_FLAG_IN_FRAME);
            if (result == PCD_ERROR) return kDefaultError;
        } while ((result == PCD_ACK || result == PCD_NACK) && repeats++ < kMaxAcknowledgedRepeats);
        if (result == PCD_ACK || result == PCD_NACK || areas.received == 0) return kDefaultError;

        uid[split] = static_cast<byte_t>(areas.rx[0] | partial);
        for (int i = 1; i < areas.received && split + i < 4; ++i)
            uid[split + i] = areas.rx[static_cast<std::size_t>(i)];
        if (result != PCD_COLLISION) break;

        if (!collisionPosition(areas.received, byte, bit)) return kDefaultError;
        if (bit == 7) {
            bits = 0;
            position += kIso14443aNvm10 * (byte + 1);
        } else {
            bits = bit + 1;
            position += kIso14443aNvm10 * byte;
        }
    }
    std::copy_n(uid, 4, answer);
    answer[4] = ComputeXor(uid, 4);
    return kSuccessCode;
}

int Iso14443ACommands::selectLevel(std::int32_t sel, const byte_t* cascade, byte_t* sak) {
    Areas areas;
    const byte_t frame[] = {static_cast<byte_t>(sel),
                            static_cast<byte_t>(kIso14443aNvm70),
                            cascade[0],
                            cascade[1],
                            cascade[2],
                            cascade[3],
                            cascade[4]};
    if (areas.send(frame, PCD_FLAG_CRC) != PCD_OK || areas.received == 0) return kDefaultError;
    if (sak != nullptr) *sak = areas.rx[0];
    return kSuccessCode;
}

int Iso14443ACommands::Iso14443aAcLevel1(Iso14443Tag& tag) {
    byte_t answer[kCascadeBytes] = {};
    if (Iso14443aAc(kSelectCascadeL1, answer) != kSuccessCode) return kDefaultError;
    if (answer[0] == kIso14443aCt) {
        std::copy_n(answer + 1, Iso14443Tag::kIso14443aUidPart, tag.uid);
    } else {
        tag.uid_size = Iso14443Tag::kIso14443aUidSingleSize;
        std::copy_n(answer, 4, tag.uid);
    }
    return selectLevel(kSelectCascadeL1, answer, &tag.sak);
}

int Iso14443ACommands::Iso14443aAcLevel2(Iso14443Tag& tag) {
    byte_t answer[kCascadeBytes] = {};
    if (Iso14443aAc(kSelectCascadeL2, answer) != kSuccessCode) return kDefaultError;
    if (answer[0] == kIso14443aCt) {
        tag.uid_size = Iso14443Tag::kIso14443aUidTripleSize;
        std::copy_n(answer + 1, Iso14443Tag::kIso14443aUidPart, tag.uid + 3);
    } else {
        tag.uid_size = Iso14443Tag::kIso14443aUidDoubleSize;
        std::copy_n(answer, 4, tag.uid + 3);
    }
    return selectLevel(kSelectCascadeL2, answer, &tag.sak);
}

int Iso14443ACommands::Iso14443aAcLevel3(Iso14443Tag& tag) {
    byte_t answer[kCascadeBytes] = {};
    if (Iso14443aAc(kSelectCascadeL3, answer) != kSuccessCode) return kDefaultError;
    std::copy_n(answer, 4, tag.uid + 6);
    return selectLevel(kSelectCascadeL3, answer, &tag.sak);
}

int Iso14443ACommands::StartAnticollision(std::vector<Iso14443Tag>& tags) {
    Iso14443Tag tag;
    if (Iso14443aAcLevel1(tag) != kSuccessCode) return kDefaultError;
    if ((tag.sak & SakFlagUidNotComplete) != 0) {
        if (Iso14443aAcLevel2(tag) != kSuccessCode) return kDefaultError;
        if ((tag.sak & SakFlagUidNotComplete) != 0 && Iso14443aAcLevel3(tag) != kSuccessCode)
            return kDefaultError;
    }
    tag.ats_supported = (tag.sak & SakFlagAtsSupported) != 0;
    Areas areas;
    Iso14443aHltA(areas.rx.data(), static_cast<int>(areas.rx.size()));
    tags.push_back(tag);
    return kSuccessCode;
}

int Iso14443ACommands::Iso14443aAnticollision(std::vector<Iso14443Tag>& tags) {
    // Selected tags are halted and answer REQA no more; a tag that answers but
    // cannot be resolved stays, so the rounds are bounded.
    for (int round = 0; round < kMaxAnticollisionRounds && Iso14443aIsPresent() == kSuccessCode; ++round)
        StartAnticollision(tags);
    return kSuccessCode;
}

int Iso14443ACommands::Iso14443aSelectTag(const byte_t* uid, byte_t size) {
    if (uid == nullptr ||
        (size != Iso14443Tag::kIso14443aUidSingleSize && size != Iso14443Tag::kIso14443aUidDoubleSize &&
         size != Iso14443Tag::kIso14443aUidTripleSize))
        return kDefaultError;
    Areas areas;
    const int capacity = static_cast<int>(areas.rx.size());
    Iso14443aHltA(areas.rx.data(), capacity);
    if (Iso14443aWupA(areas.rx.data(), capacity) != kSuccessCode) return kDefaultError;

    // The cascade levels in order: a cascade tag and three UID bytes before the
    // last level, which carries four.
    const std::int32_t sels[] = {kSelectCascadeL1, kSelectCascadeL2, kSelectCascadeL3};
    const int levels = size / 3;
    for (int level = 0; level < levels; ++level) {
        byte_t cascade[kCascadeBytes] = {};
        const byte_t* part = uid + level * Iso14443Tag::kIso14443aUidPart;
        if (level + 1 < levels) {
            cascade[0] = static_cast<byte_t>(kIso14443aCt);
            std::copy_n(part, Iso14443Tag::kIso14443aUidPart, cascade + 1);
        } else {
            std::copy_n(part, 4, cascade);
        }
        cascade[4] = ComputeXor(cascade, 4);
        if (selectLevel(sels[level], cascade, nullptr) != kSuccessCode) return kDefaultError;
    }
    return Iso14443aRats(areas.rx.data(), capacity);
}

RfReaderBase::ReaderStatus Iso14443aIntoBuffer(int (Iso14443ACommands::*routine)(byte_t*, int), Buffer* rx) {
    if (rx == nullptr) return RfReaderBase::DEFAULT_ERROR;
    Iso14443ACommands commands;
    const int capacity = std::clamp(rx->length, 0, rx->capacity());
    return (commands.*routine)(rx->buf, capacity) == kSuccessCode ? RfReaderBase::TRANSFER_OK
                                                                  : RfReaderBase::DEFAULT_ERROR;
}

} // namespace vemlasdknative
