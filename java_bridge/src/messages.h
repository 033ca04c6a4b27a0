// Exception messages, the choice of exception class by code range, and the
// version numbers: the parts of the bridge's frame that need no JVM.
#ifndef NUBOKRN4J_MESSAGES_H
#define NUBOKRN4J_MESSAGES_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class VKDM_ReaderManager;
class VKDM_FunctionUnitManager;

namespace nubokrn4j {

inline constexpr char kBridgeVersion[] = "04.07.0";

enum class ExceptionClass { Vkdm, PortDriver, ReaderDriver };

// The Java class name of each.
const char* exceptionClassName(ExceptionClass cls);

// A native's range table: codes low..high (low <= high, both negative) go to
// `cls`; every other negative code goes to ExceptionClass::Vkdm.
struct CodeRange {
    int low;
    int high;
    ExceptionClass cls;
};
using RangeTable = std::span<const CodeRange>;

// The standard choice: port libraries' ranges to VkPortDriverException, the
// reader protocol library's -4099..-4001 to VkReaderDriverException.
inline constexpr CodeRange kStandardRangeRows[] = {
    {-1299, -1000, ExceptionClass::PortDriver},
    {-4099, -4001, ExceptionClass::ReaderDriver},
};
inline constexpr RangeTable kStandardRanges{kStandardRangeRows};
// Every negative code to VkdmException.
inline constexpr RangeTable kVkdmOnly{};

// Nothing for a code of 0 or more.
std::optional<ExceptionClass> chooseException(int code, RangeTable ranges);

// The text of a code for the message: from the module (bit 28 of the handle) or
// the unit (bit 29) when listed, else the core's static text; a handle of no
// kind takes the text of -106. `status` (c >= 0) asks for the status text of
// c & 0xFF. The text is the core's bytes, not yet converted.
std::string codeText(int handle, int code, bool status, VKDM_ReaderManager& modules,
                     VKDM_FunctionUnitManager& units);

// "\nError %d - " (or "\nStatus 0x%02X - " when `status`), the text, "\n(in
// Function: ", the function name, ", Line: ", the line, ")\nnative Library
// Version: 04.07.0". `text` and `function` are modified UTF-8.
std::string composeMessage(int code, bool status, std::string_view text, std::string_view function, int line);

// Version numbers. The "%d.%d.%d" form packed as major * 65536 + minor * 256 +
// patch (unsigned), each number read saturating and 0 when missing.
std::uint32_t packedVersion(std::string_view text);
// The text split at each "."; the first three parts read as numbers
// (saturating; 0 when missing or not a number).
std::array<int, 3> versionFields(std::string_view text);

} // namespace nubokrn4j

#endif
