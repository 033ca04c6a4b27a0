#include <krnsim/frame.h>

#include <array>
#include <stdexcept>

namespace krnsim {

namespace {

constexpr std::uint16_t kPoly = 0x8408;

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t value = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? static_cast<std::uint16_t>((value >> 1) ^ kPoly) : value >> 1;
        table[i] = value;
    }
    return table;
}

constexpr auto kTable = makeTable();
static_assert(kTable[1] == 0x1189 && kTable[128] == 0x8408);

Bytes buildFrame(Form form, std::uint8_t address, std::uint8_t command, const std::uint8_t* status,
                 ByteView data) {
    const std::size_t overhead = (form == Form::Advanced ? 7 : 5) + (status ? 1 : 0);
    const std::size_t length = data.size() + overhead;
    const std::size_t limit = form == Form::Advanced ? kMaxFrameLength : 255;
    if (length > limit) throw std::invalid_argument("frame data too long for its form");
    Bytes frame;
    frame.reserve(length);
    if (form == Form::Advanced) {
        frame.push_back(kAdvancedMark);
        frame.push_back(static_cast<std::uint8_t>(length >> 8));
        frame.push_back(static_cast<std::uint8_t>(length));
    } else {
        frame.push_back(static_cast<std::uint8_t>(length));
    }
    frame.push_back(address);
    frame.push_back(command);
    if (status) frame.push_back(*status);
    frame.insert(frame.end(), data.begin(), data.end());
    appendCrc(frame);
    return frame;
}

} // namespace

std::uint16_t crc16(ByteView data) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : data)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ byte) & 0xFF]);
    return crc;
}

std::uint16_t crc16Bitwise(ByteView data, std::uint16_t poly, std::uint16_t preset) {
    std::uint16_t crc = preset;
    for (const std::uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ poly)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

void appendCrc(Bytes& frame) {
    const std::uint16_t crc = crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

void rewriteCrc(Bytes& frame) {
    if (frame.size() < 2) return;
    frame.resize(frame.size() - 2);
    appendCrc(frame);
}

Form replyForm(Form requestForm, std::size_t dataLength, bool forceAdvanced) {
    if (forceAdvanced || dataLength > kMaxStandardReplyData) return Form::Advanced;
    return requestForm;
}

Bytes buildReply(Form form, std::uint8_t address, std::uint8_t command, std::uint8_t status, ByteView data) {
    return buildFrame(form, address, command, &status, data);
}

Bytes buildRequest(Form form, std::uint8_t address, std::uint8_t command, ByteView data) {
    return buildFrame(form, address, command, nullptr, data);
}

} // namespace krnsim
