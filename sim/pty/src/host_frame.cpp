#include <vksim/host_frame.h>

namespace vksim {

std::uint16_t hostCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

namespace {

Bytes withCrc(Bytes frame) {
    const std::uint16_t crc = hostCrc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

} // namespace

Bytes standardReply(std::uint8_t busAddress, std::uint8_t command, std::uint8_t status, const Bytes& data) {
    Bytes frame{static_cast<std::uint8_t>(6 + data.size()), busAddress, command, status};
    frame.insert(frame.end(), data.begin(), data.end());
    return withCrc(std::move(frame));
}

Bytes advancedReply(std::uint8_t busAddress, std::uint8_t command, std::uint8_t status, const Bytes& data) {
    const std::size_t length = 8 + data.size();
    Bytes frame{0x02,
                static_cast<std::uint8_t>(length >> 8),
                static_cast<std::uint8_t>(length & 0xFF),
                busAddress,
                command,
                status};
    frame.insert(frame.end(), data.begin(), data.end());
    return withCrc(std::move(frame));
}

} // namespace vksim
