// The reader information and diagnostic records as Java objects: which group
// of fields a record fills, and the rows (field, JNI type, where in the record,
// group) in the order the objects are filled. No JVM here.
#ifndef NUBOKRN4J_REPORT_RULES_H
#define NUBOKRN4J_REPORT_RULES_H

#include <vkdm/vkdm_core.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace nubokrn4j {

enum class InfoGroup : std::uint8_t {
    Always,
    Mode00,
    Mode01,
    Mode02,
    Mode03,
    Mode04Template, // mode 0x04 read, reader type 80 to 89 or 100
    Mode04List,     // mode 0x04 read, reader type 82 to 87, 89 or 100
    Mode05,
    Mode06,
    Mode07,
    Mode08,
    Mode10,
    Mode11,
    Mode12,
    Mode40,
    Mode41,
    LanMac,
    LanIp,
    LanNetmask,
    LanGateway,
    WlanMac,
    WlanIp,
    WlanNetmask,
    WlanGateway,
    Mode60,
    Mode61,
    Mode80,
    Frequency,
};

enum class DiagnosticGroup : std::uint8_t { Always, Mode01, Mode03, Mode04, Mode05, Mode20, Mode21 };

// How a row's value comes out of the record.
enum class RowValue : std::uint8_t {
    Flag,          // "Z": the bool at the offset
    Byte,          // "B": the byte at the offset
    Bytes,         // "[B": `count` bytes from the offset
    PeopleCounter, // "B": the people-counter entries that count
    FirmwareText,  // String: the firmware status text, 31 bytes at most
};

template <typename Group> struct RecordRow {
    const char* field;
    RowValue value;
    std::size_t offset;
    int count;
    Group group;
};
using InfoRow = RecordRow<InfoGroup>;
using DiagnosticRow = RecordRow<DiagnosticGroup>;

bool groupSet(const VKDM_ReaderInfo& info, InfoGroup group);
bool groupSet(const VKDM_ReaderDiagnostic& diagnostic, DiagnosticGroup group);

// Reader types with a mode-0x04 function template and list byte 0, and those
// that also have list bytes 1 and 2 and a firmware identifier.
bool hasFunctionTemplate(std::uint8_t readerType);
bool hasFunctionList(std::uint8_t readerType);

// The three 2-byte people-counter entries whose first byte is 1 (0 to 3).
int peopleCounterCount(std::span<const std::uint8_t, 6> entries);

// A text field of a record: up to its first NUL, `max` bytes at most (the
// firmware status fills its 31 bytes without a NUL).
std::string_view boundedText(const std::uint8_t* text, std::size_t max);

// The rows in fill order (flags first, then the groups as the class lists them).
std::span<const InfoRow> infoRows();
std::span<const DiagnosticRow> diagnosticRows();

} // namespace nubokrn4j

#endif
