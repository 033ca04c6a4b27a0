// The dongle's inventories run by the bridge's own protocol logic: the ISO
// 15693 software anticollision.
#include "iso15693_pcd.h"
#include "qm30.h"

#include <algorithm>
#include <array>

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

} // namespace vemlasdknative
