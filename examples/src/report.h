// What the main example prints: hex dumps and the decoded reply data of 0x65,
// 0x66 mode 0 and the 0xB0 inventory.
#ifndef VKEXAMPLE_REPORT_H
#define VKEXAMPLE_REPORT_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vkexample {

using ByteSpan = std::span<const std::uint8_t>;

// One line per 16 bytes: indent, offset "%04X", two spaces, the bytes "%02X "
// padded to 16, and the printable ASCII between bars ('.' for the rest). Each
// line ends in '\n'; no bytes give "<indent>(no data)\n".
std::string hexDump(ByteSpan bytes, const std::string& indent = "    ");

// 0x66 mode 0: software version (2), development version, hardware type,
// reader type, transponder types (2), receive and transmit buffer sizes (2 each,
// big-endian), UHF transponder types (2). Lines of "name: value"; empty when
// fewer than 11 bytes came (the UHF line needs 13).
std::vector<std::string> describeReaderInfo(ByteSpan data);

// 0x65: the first three bytes as the software version "01.02.03"; empty when
// fewer came.
std::string describeSoftwareVersion(ByteSpan data);

struct Transponder {
    std::uint8_t type = 0;
    std::uint8_t uid[8] = {};
};

// 0xB0 inventory reply data [n][n x (type, 8-byte UID)]; nothing unless the
// data are exactly that long.
std::optional<std::vector<Transponder>> decodeInventory(ByteSpan data);

// The bytes of a reply the library wrote as hex text (two upper-case digits per
// byte, closed by a NUL); reading stops at the NUL or the first pair that is not
// two hex digits.
std::vector<std::uint8_t> bytesFromHexText(const char* text);

// "E0 04 01 00 12 34 56 78"
std::string uidText(const Transponder& transponder);

} // namespace vkexample

#endif
