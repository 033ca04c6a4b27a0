#include "rf_crc.h"

namespace vemlasdknative {

namespace {

std::uint16_t computeCrc(std::uint16_t preset, const byte_t* data, int length) {
    std::uint16_t crc = preset;
    if (data == nullptr) return crc;
    for (int i = 0; i < length; ++i)
        crc = Update_CRC_ISO13239(data[i], crc);
    return crc;
}

} // namespace

std::uint16_t Update_CRC_ISO13239(byte_t byte, std::uint16_t crc) {
    byte_t t = static_cast<byte_t>(byte ^ (crc & 0xFF));
    t = static_cast<byte_t>(t ^ (t << 4));
    return static_cast<std::uint16_t>((crc >> 8) ^ (t << 8) ^ (t << 3) ^ (t >> 4));
}

std::uint16_t Compute_CRC_ISO14443_A(const byte_t* data, int length) {
    return computeCrc(0x6363, data, length);
}

std::uint16_t Compute_CRC_ISO14443_B(const byte_t* data, int length) {
    return static_cast<std::uint16_t>(~computeCrc(0xFFFF, data, length));
}

void ComputeCrc(bool typeB, const byte_t* data, int length, byte_t* out) {
    if (out == nullptr) return;
    const std::uint16_t crc =
        typeB ? Compute_CRC_ISO14443_B(data, length) : Compute_CRC_ISO14443_A(data, length);
    out[0] = static_cast<byte_t>(crc & 0xFF);
    out[1] = static_cast<byte_t>(crc >> 8);
}

int CheckCrc(bool typeB, const byte_t* data, int length) {
    if (data == nullptr || length < 2) return 1;
    byte_t expected[2];
    ComputeCrc(typeB, data, length - 2, expected);
    return data[length - 2] == expected[0] && data[length - 1] == expected[1] ? 0 : 1;
}

} // namespace vemlasdknative
