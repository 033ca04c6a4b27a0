// The dongle's inventories run by the bridge's own protocol logic: the ISO
// 15693 software anticollision and the QB anticollision loop for ISO 14443-B.
#include "iso14443qb_pcd.h"
#include "iso15693_pcd.h"
#include "qm30.h"

#include <algorithm>
#include <array>
#include <memory>

namespace vemlasdknative {

namespace {

constexpr int kEntryBytes = Iso15693Commands::kUidEntryLength;
constexpr int kUidBytes = Iso15693Commands::kNbByteUid;
constexpr byte_t kInventoryFlags = Iso15693Commands::kMaskDataRateFlag | Iso15693Commands::kMaskInventoryFlag;
constexpr byte_t kNoAfi = 0;

} // namespace

void Qm30::appendInventoryEntries(const byte_t* entries, int count, std::vector<Uid>& uids) {
    for (int i = 0; i < count; ++i) {
        const byte_t* entry = entries + kEntryBytes * i;
        std::array<byte_t, kUidBytes> uid{};
        std::reverse_copy(entry + 1, entry + kEntryBytes, uid.begin());
        uids.emplace_back(uid.data(), kUidBytes);
    }
}

void Qm30::softwareInventory15693(std::vector<Uid>& uids) {
    std::array<byte_t, kInventoryArea> area{};
    int count = 0;
    const int room = std::min(kInventoryArea / kEntryBytes, kMaxInventoryTags);
    if (Iso15693Commands().Iso15693RunAntiCollision(kInventoryFlags, kNoAfi, &count, area.data(), room) !=
        Iso15693Commands::kSuccessCode)
        return;
    appendInventoryEntries(area.data(), std::clamp(count, 0, room), uids);
}

void Qm30::inventory14443b(std::vector<Uid>& uids) {
    byte_t* found = nullptr;
    int bytes = 0;
    if (ISO14443QB_AnticollisionLoop(&found, &bytes) != ISO14443QB_SUCCESSCODE) return;
    const std::unique_ptr<byte_t[]> owned(found);
    for (int at = 0; at + ISO14443QB_UID_SIZE <= bytes; at += ISO14443QB_UID_SIZE)
        uids.emplace_back(owned.get() + at, ISO14443QB_UID_SIZE);
}

} // namespace vemlasdknative
