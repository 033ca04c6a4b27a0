#include "report.h"

#include <cstdio>

namespace vkexample {

namespace {

constexpr std::size_t kDumpWidth = 16;
constexpr std::size_t kInventoryRecord = 9;

std::string format(const char* pattern, unsigned a, unsigned b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

unsigned bigEndian16(ByteSpan data, std::size_t at) {
    return static_cast<unsigned>(data[at] << 8 | data[at + 1]);
}

} // namespace

std::string hexDump(ByteSpan bytes, const std::string& indent) {
    if (bytes.empty()) return indent + "(no data)\n";
    std::string out;
    for (std::size_t offset = 0; offset < bytes.size(); offset += kDumpWidth) {
        const ByteSpan row = bytes.subspan(offset, std::min(kDumpWidth, bytes.size() - offset));
        out += indent + format("%04X  ", static_cast<unsigned>(offset));
        for (std::size_t i = 0; i < kDumpWidth; ++i)
            out += i < row.size() ? format("%02X ", row[i]) : std::string("   ");
        out += " |";
        for (const std::uint8_t byte : row)
            out += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
        out += "|\n";
    }
    return out;
}

std::vector<std::string> describeReaderInfo(ByteSpan data) {
    if (data.size() < 11) return {};
    std::vector<std::string> lines{
        format("RF controller software: %02X.%02X", data[0], data[1]),
        format("development version: %02X", data[2]),
        format("hardware type: 0x%02X", data[3]),
        format("reader type: %u", data[4]),
        format("transponder types: %02X %02X", data[5], data[6]),
        format("receive buffer: %u bytes", bigEndian16(data, 7)),
        format("transmit buffer: %u bytes", bigEndian16(data, 9)),
    };
    if (data.size() >= 13) lines.push_back(format("UHF transponder types: %02X %02X", data[11], data[12]));
    return lines;
}

std::string describeSoftwareVersion(ByteSpan data) {
    if (data.size() < 3) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%02X.%02X.%02X", data[0], data[1], data[2]);
    return text;
}

std::optional<std::vector<Transponder>> decodeInventory(ByteSpan data) {
    if (data.empty() || data.size() != 1 + data[0] * kInventoryRecord) return std::nullopt;
    std::vector<Transponder> found(data[0]);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const ByteSpan record = data.subspan(1 + i * kInventoryRecord, kInventoryRecord);
        found[i].type = record[0];
        for (std::size_t j = 0; j < 8; ++j)
            found[i].uid[j] = record[1 + j];
    }
    return found;
}

std::vector<std::uint8_t> bytesFromHexText(const char* text) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; text[i] != '\0' && text[i + 1] != '\0'; i += 2) {
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0) break;
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return out;
}

std::string uidText(const Transponder& transponder) {
    std::string text;
    for (const std::uint8_t byte : transponder.uid) {
        if (!text.empty()) text += ' ';
        text += format("%02X", byte);
    }
    return text;
}

} // namespace vkexample
