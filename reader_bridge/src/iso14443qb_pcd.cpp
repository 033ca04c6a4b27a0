#include "iso14443qb_pcd.h"

#include "lib_PCD.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace vemlasdknative {

namespace {

constexpr byte_t kResetToInventory = 0x0C;
constexpr byte_t kCall = 0x06; // also the low nibble of every slot marker
constexpr byte_t kInitiate = 0x00;
constexpr byte_t kPCall16 = 0x04;
constexpr byte_t kSelect = 0x0E;
constexpr byte_t kGetUid = 0x0B;

// One frame with flag 0; 0 when the reader answered at least `needed` bytes.
int send(std::initializer_list<byte_t> frame, byte_t* answer, int capacity, int needed) {
    const std::vector<byte_t> bytes(frame);
    int received = 0;
    const byte_t status = PCD_SendRecv(static_cast<byte_t>(bytes.size()), bytes.data(), answer, capacity,
                                       &received, PCD_FLAG_IN_FRAME);
    if (status != PCD_OK || received < needed) return ISO14443QB_ERRORCODE_DEFAULT;
    return ISO14443QB_SUCCESSCODE;
}

} // namespace

int ISO14443QB_ResetToInventory() {
    send({kResetToInventory}, nullptr, 0, 0);
    return ISO14443QB_SUCCESSCODE;
}

int ISO14443QB_Initiate(byte_t* answer, int capacity) {
    return send({kCall, kInitiate}, answer, capacity, 1);
}

int ISO14443QB_PCall16(byte_t* answer, int capacity) {
    return send({kCall, kPCall16}, answer, capacity, 1);
}

int ISO14443QB_SlotMarker(int slot, byte_t* answer, int capacity) {
    if (slot < 0 || slot >= ISO14443QB_SLOTS) return ISO14443QB_ERRORCODE_DEFAULT;
    return send({static_cast<byte_t>((slot << 4) + kCall)}, answer, capacity, 1);
}

int ISO14443QB_Select(byte_t chipId, byte_t* answer, int capacity) {
    return send({kSelect, chipId}, answer, capacity, 0);
}

int ISO14443QB_GetUID(byte_t* answer, int capacity) {
    return send({kGetUid}, answer, capacity, ISO14443QB_UID_SIZE);
}

int ISO14443QB_Anticollision(int* count, byte_t* uids) {
    if (count == nullptr || uids == nullptr) return ISO14443QB_ERRORCODE_DEFAULT;
    *count = 0;
    if (ISO14443QB_ResetToInventory() != ISO14443QB_SUCCESSCODE) return ISO14443QB_ERRORCODE_DEFAULT;
    const int room = PCD_GetMaxRxLength();
    if (room <= 0) return ISO14443QB_ERRORCODE_DEFAULT;
    std::vector<byte_t> answer(static_cast<std::size_t>(room));

    std::vector<byte_t> chips;
    if (ISO14443QB_Initiate(answer.data(), room) == ISO14443QB_SUCCESSCODE) {
        chips.push_back(answer[0]);
    } else {
        // Several chips answered at once. A clean PCall16 answer is the chip of
        // slot 0; the other slots may still hold chips, so their markers follow.
        int firstSlot = 0;
        if (ISO14443QB_PCall16(answer.data(), room) == ISO14443QB_SUCCESSCODE) {
            chips.push_back(answer[0]);
            firstSlot = 1;
        }
        for (int slot = firstSlot; slot < ISO14443QB_SLOTS; ++slot)
            if (ISO14443QB_SlotMarker(slot, answer.data(), room) == ISO14443QB_SUCCESSCODE)
                chips.push_back(answer[0]);
    }

    for (const byte_t chip : chips) {
        if (ISO14443QB_Select(chip, answer.data(), room) != ISO14443QB_SUCCESSCODE) continue;
        if (ISO14443QB_GetUID(answer.data(), room) != ISO14443QB_SUCCESSCODE) continue;
        std::memcpy(uids + *count * ISO14443QB_UID_SIZE, answer.data(), ISO14443QB_UID_SIZE);
        ++*count;
    }
    return ISO14443QB_SUCCESSCODE;
}

int ISO14443QB_AnticollisionLoop(byte_t** uids, int* byteCount) {
    if (uids == nullptr || byteCount == nullptr) return ISO14443QB_ERRORCODE_DEFAULT;
    *uids = nullptr;
    *byteCount = 0;
    byte_t area[ISO14443QB_SLOTS * ISO14443QB_UID_SIZE] = {};
    int count = 0;
    if (ISO14443QB_Anticollision(&count, area) != ISO14443QB_SUCCESSCODE || count <= 0)
        return ISO14443QB_ERRORCODE_DEFAULT;
    const int n = count * ISO14443QB_UID_SIZE;
    auto* out = new (std::nothrow) byte_t[static_cast<std::size_t>(n)];
    if (out == nullptr) return ISO14443QB_ERRORCODE_DEFAULT;
    std::reverse_copy(area, area + n, out);
    *uids = out;
    *byteCount = n;
    return ISO14443QB_SUCCESSCODE;
}

void AppendQbInventory(std::vector<RfReaderBase::Uid>& uids) {
    byte_t* found = nullptr;
    int bytes = 0;
    if (ISO14443QB_AnticollisionLoop(&found, &bytes) != ISO14443QB_SUCCESSCODE) return;
    const std::unique_ptr<byte_t[]> owned(found);
    for (int at = 0; at + ISO14443QB_UID_SIZE <= bytes; at += ISO14443QB_UID_SIZE)
        uids.emplace_back(owned.get() + at, ISO14443QB_UID_SIZE);
}

} // namespace vemlasdknative
