#include "iso15693_pcd.h"

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

} // namespace

int Iso15693Commands::Iso15693IsCorrectCRC16Residue(const byte_t* data, int length) const {
    if (data == nullptr || length <= 0) return kDefaultError;
    return crc16Register(data, length) == kResidueCrc16 ? kSuccessCode : kDefaultError;
}

} // namespace vemlasdknative
