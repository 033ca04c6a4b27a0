#include "messages.h"

#include "registry.h"

#include <climits>
#include <cstdio>

namespace nubokrn4j {

namespace {

constexpr int kNoKindText = -106;
constexpr std::size_t kTextSize = 256; // the core writes at most 128 bytes

// A number as "%d" reads it (blanks, sign, digits), saturating at the int
// range. Advances `pos`; false when no digit follows.
bool readNumber(std::string_view text, std::size_t& pos, int& value) {
    std::size_t i = pos;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digits = i;
    long long n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (n <= static_cast<long long>(INT_MAX) + 1) n = n * 10 + (text[i] - '0');
        ++i;
    }
    if (i == digits) return false;
    if (negative) n = -n;
    value = n > INT_MAX ? INT_MAX : (n < INT_MIN ? INT_MIN : static_cast<int>(n));
    pos = i;
    return true;
}

} // namespace

const char* exceptionClassName(ExceptionClass cls) {
    switch (cls) {
    case ExceptionClass::PortDriver: return "de/varek/VkPortDriverException";
    case ExceptionClass::ReaderDriver: return "de/varek/VkReaderDriverException";
    case ExceptionClass::Vkdm: break;
    }
    return "de/varek/VkdmException";
}

std::optional<ExceptionClass> chooseException(int code, RangeTable ranges) {
    if (code >= 0) return std::nullopt;
    for (const CodeRange& r : ranges)
        if (code >= r.low && code <= r.high) return r.cls;
    return ExceptionClass::Vkdm;
}

namespace {

// The text of the object's code or status byte; the core's static text when
// the object is not listed.
template <typename T> void objectText(T* object, int code, bool status, char* text) {
    if (object == nullptr)
        VKDM_Base::GetErrorText(text, code);
    else if (status)
        object->GetStatusText(text, static_cast<unsigned char>(code & 0xFF));
    else
        object->GetErrorText(text, code);
}

} // namespace

std::string codeText(int handle, int code, bool status, VKDM_ReaderManager& modules,
                     VKDM_FunctionUnitManager& units) {
    char text[kTextSize] = {};
    if ((handle & kModuleHandleBit) != 0)
        objectText(modules.SearchReaderModule(handle), code, status, text);
    else if ((handle & kUnitHandleBit) != 0)
        objectText(units.SearchModule(handle), code, status, text);
    else
        VKDM_Base::GetErrorText(text, kNoKindText);
    text[kTextSize - 1] = '\0';
    return text;
}

std::string composeMessage(int code, bool status, std::string_view text, std::string_view function,
                           int line) {
    char head[40];
    if (status)
        std::snprintf(head, sizeof head, "\nStatus 0x%02X - ", static_cast<unsigned>(code));
    else
        std::snprintf(head, sizeof head, "\nError %d - ", code);
    std::string message = head;
    message.append(text);
    message.append("\n(in Function: ");
    message.append(function);
    message.append(", Line: ");
    message.append(std::to_string(line));
    message.append(")\nnative Library Version: ");
    message.append(kBridgeVersion);
    return message;
}

std::uint32_t packedVersion(std::string_view text) {
    int numbers[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            if (pos >= text.size() || text[pos] != '.') break;
            ++pos;
        }
        if (!readNumber(text, pos, numbers[k])) break;
    }
    return static_cast<std::uint32_t>(numbers[0]) * 65536u + static_cast<std::uint32_t>(numbers[1]) * 256u +
           static_cast<std::uint32_t>(numbers[2]);
}

std::array<int, 3> versionFields(std::string_view text) {
    std::array<int, 3> fields{0, 0, 0};
    std::size_t start = 0;
    for (int k = 0; k < 3 && start <= text.size(); ++k) {
        const std::size_t dot = text.find('.', start);
        const std::string_view part =
            text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        std::size_t pos = 0;
        if (!readNumber(part, pos, fields[static_cast<std::size_t>(k)]))
            fields[static_cast<std::size_t>(k)] = 0;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return fields;
}

} // namespace nubokrn4j
