#include "iso15693_pcd.h"

#include "lib_PCD.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vemlasdknative {

namespace {

std::uint16_t crc16Register(const byte_t* data, int length) {
    auto crc = static_cast<std::uint16_t>(Iso15693Commands::kPreloadCrc16);
    for (int i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool out = (crc & Iso15693Commands::kMaskCrc16) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (out) crc ^= static_cast<std::uint16_t>(Iso15693Commands::kPolyCrc16);
        }
    }
    return crc;
}

using C = Iso15693Commands;

// A mask entry of the anticollision: its length in bits and its bytes.
struct MaskEntry {
    int length = 0;
    byte_t bytes[C::kNbBitsMaskParameter / 8] = {};
};

// A work area of the reader's receive maximum; empty without a reader.
std::vector<byte_t> receiveArea() {
    return std::vector<byte_t>(static_cast<std::size_t>(std::max(PCD_GetMaxRxLength(), 0)));
}

bool sendable(byte_t flags, int maskLength) {
    return (flags & C::kMaskInventoryFlag) != 0 && maskLength >= 0 && maskLength <= C::kNbBitsMaskParameter;
}

} // namespace

std::uint16_t Iso15693Commands::Iso15693CalcCRC16(const byte_t* data, int length) const {
    if (data == nullptr || length <= 0) return static_cast<std::uint16_t>(~kPreloadCrc16);
    return static_cast<std::uint16_t>(~crc16Register(data, length));
}

int Iso15693Commands::Iso15693IsCorrectCRC16Residue(const byte_t* data, int length) const {
    if (data == nullptr || length <= 0) return kDefaultError;
    return crc16Register(data, length) == kResidueCrc16 ? kSuccessCode : kDefaultError;
}

int Iso15693Commands::Iso15693Inventory(byte_t flags, byte_t afi, int maskLength, const byte_t* mask,
                                        byte_t* answer, int capacity, int* answerLength) const {
    if (answerLength != nullptr) *answerLength = 0;
    if (answer != nullptr && capacity >= 2) {
        answer[0] = 0xFF;
        answer[1] = 0x00;
    }
    if ((flags & kMaskInventoryFlag) == 0) return kDefaultError;
    if (maskLength < 0 || maskLength > kNbBitsMaskParameter) return kParameterLength;
    const int wholeBytes = maskLength / 8;
    const int partBits = maskLength % 8;
    if (mask == nullptr && maskLength > 0) return kDefaultError;

    byte_t request[kMaxLengthInventory] = {};
    int n = 0;
    request[n++] = flags;
    request[n++] = KCmdCodeInventory;
    if ((flags & kMaskSelectorAfiFlag) != 0) request[n++] = afi;
    request[n++] = static_cast<byte_t>(maskLength);
    for (int i = 0; i < wholeBytes; ++i)
        request[n++] = mask[i];
    if (partBits != 0) request[n++] = static_cast<byte_t>(mask[wholeBytes] & ((1u << partBits) - 1));

    const byte_t status = PCD_SendRecv(static_cast<byte_t>(n), request, answer, capacity, answerLength);
    if (status == PCD_OK) return kSuccessCode;
    if (status == PCD_COLLISION) return kCollisionDetected;
    return kDefaultError;
}

int Iso15693Commands::Iso15693InventoryOneSlot(byte_t flags, byte_t afi, int maskLength, const byte_t* mask,
                                               byte_t* answer, int capacity, int* answerLength) const {
    return Iso15693Inventory(static_cast<byte_t>(flags + kMaskAddrOrNbSlotsFlag), afi, maskLength, mask,
                             answer, capacity, answerLength);
}

std::uint16_t Iso15693Commands::Iso15693Inventory16Slots(byte_t flags, byte_t afi, int maskLength,
                                                         const byte_t* mask, int* tagCount, byte_t* answers,
                                                         int capacity) const {
    int found = 0;
    std::uint16_t collisions = 0;
    if (tagCount != nullptr) *tagCount = 0;
    if (!sendable(flags, maskLength)) return 0;
    std::vector<byte_t> work = receiveArea();
    const int room = static_cast<int>(work.size());

    // A slot's answer goes in when it is a whole inventory answer and fits.
    auto keep = [&](int received) {
        if (received < kInventoryAnswerLength || answers == nullptr) return;
        if ((found + 1) * kInventoryAnswerLength > capacity) return;
        std::memcpy(answers + found * kInventoryAnswerLength, work.data(), kInventoryAnswerLength);
        ++found;
    };

    int received = 0;
    const int first = Iso15693Inventory(static_cast<byte_t>(flags & ~kMaskAddrOrNbSlotsFlag), afi, maskLength,
                                        mask, work.data(), room, &received);
    if (first == kSuccessCode) keep(received);
    if (first == kCollisionDetected) collisions |= 1u;
    for (int slot = 1; slot < kNbSlots; ++slot) {
        const byte_t status = PCD_SendEof(work.data(), room, &received);
        if (status == PCD_OK) keep(received);
        if (status == PCD_COLLISION) collisions = static_cast<std::uint16_t>(collisions | (1u << slot));
    }
    if (tagCount != nullptr) *tagCount = found;
    return collisions;
}

int Iso15693Commands::Iso15693StayQuiet(byte_t flags, const byte_t* uid) const {
    if ((flags & kMaskAddrOrNbSlotsFlag) == 0 || uid == nullptr) return kDefaultError;
    byte_t request[2 + kNbByteUid] = {flags, static_cast<byte_t>(KCmdCodeStayQuiet)};
    std::memcpy(request + 2, uid, kNbByteUid);
    const byte_t status = PCD_SendRecv(sizeof request, request, nullptr, 0);
    return status == PCD_OK ? kSuccessCode : kDefaultError;
}

int Iso15693Commands::Iso15693RunAntiCollision(byte_t flags, byte_t afi, int* count, byte_t* uids,
                                               int capacity) const {
    if (count != nullptr) *count = 0;
    if (count == nullptr || uids == nullptr || capacity <= 0) return kDefaultError;
    const auto quietFlags = static_cast<byte_t>((flags & ~kMaskInventoryFlag) + kMaskAddrOrNbSlotsFlag);

    // A tag's inventory answer {flags, DSFID, UID}: silenced and entered.
    auto enter = [&](const byte_t* answer) {
        Iso15693StayQuiet(quietFlags, answer + kInventoryOffSetUid);
        byte_t* entry = uids + *count * kUidEntryLength;
        entry[0] = answer[kInventoryOffSetdsfid];
        std::memcpy(entry + 1, answer + kInventoryOffSetUid, kNbByteUid);
        ++*count;
    };

    std::vector<byte_t> work = receiveArea();
    int received = 0;
    const int first = Iso15693InventoryOneSlot(flags, afi, 0, nullptr, work.data(),
                                               static_cast<int>(work.size()), &received);
    if (first == kDefaultError || first == kParameterLength) return kDefaultError;
    if (first == kSuccessCode && received >= kInventoryAnswerLength && work[0] == kResultFlagStatusok) {
        enter(work.data());
        return kSuccessCode;
    }

    // Several tags: 16-slot rounds. A slot that collided is searched again
    // with its 4 bits added to the mask; the last mask pushed goes first.
    std::vector<MaskEntry> stack(1);
    byte_t answers[kNbSlots * kInventoryAnswerLength] = {};
    for (int round = 0; round < kMaxAnticollisionRounds && !stack.empty(); ++round) {
        const MaskEntry entry = stack.back();
        stack.pop_back();
        int found = 0;
        const std::uint16_t collisions =
            Iso15693Inventory16Slots(flags, afi, entry.length, entry.bytes, &found, answers, sizeof answers);
        for (int i = 0; i < found; ++i) {
            const byte_t* answer = answers + i * kInventoryAnswerLength;
            if (answer[kInventoryOffSetFlags] != kResultFlagStatusok) continue;
            if (*count >= capacity) return kSuccessCode;
            enter(answer);
        }
        // Past 60 bits the slots have no UID bits left to tell tags apart.
        if (entry.length + 4 > kNbBitsMaskParameter) continue;
        for (int slot = 0; slot < kNbSlots; ++slot) {
            if ((collisions & (1u << slot)) == 0) continue;
            MaskEntry next = entry;
            next.bytes[entry.length / 8] =
                static_cast<byte_t>(next.bytes[entry.length / 8] | (slot << (entry.length % 8)));
            next.length = entry.length + 4;
            stack.push_back(next);
        }
    }
    return kSuccessCode;
}

} // namespace vemlasdknative
