#include "texts/protocol_lines.h"

#include <vkkrn_codec/frame.h>

namespace vkkrn {

namespace {

void putPrefix(TextWriter& line, const char* timestamp, std::string_view mark) {
    if (timestamp != nullptr) {
        line.put(timestamp);
        line.put("  ");
    }
    line.put(mark);
    line.put("  ");
}

} // namespace

void composeSendLine(TextWriter& line, TextWriter* bytePart, const char* timestamp, bool secured,
                     std::span<const std::uint8_t> frame) {
    putPrefix(line, timestamp, ">>");
    if (secured) line.put("(S) ");
    const codec::ByteRange keys = codec::keyBytes(frame);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        if (keys.contains(i)) {
            line.put("** ");
            if (bytePart != nullptr) bytePart->put("** ");
        } else {
            line.putHexByte(frame[i]);
            if (bytePart != nullptr) bytePart->putHexByte(frame[i]);
        }
    }
}

void composeReceiveLine(TextWriter& line, const ReceiveLine& r) {
    putPrefix(line, r.timestamp, "<<");
    if (r.secured) line.put("(S) ");
    if (r.result < 0) {
        line.put("Error: ");
        line.putInt(r.result);
        line.put("  (");
    }
    for (const std::uint8_t byte : r.frame)
        line.putHexByte(byte);
    if (!r.frame.empty() && r.result >= 0 && r.statusText != nullptr) {
        line.put("  ");
        line.put(r.statusText);
    }
    if (r.frame.empty() && r.result == 0 && r.usb) line.put("OK");
    if (r.result < 0) {
        if (r.errorText != nullptr) {
            if (!r.errorTextFromPort || !r.frame.empty()) line.put("  ");
            line.put(r.errorText);
        }
        line.put(")");
    }
}

void composeErrorLine(TextWriter& line, const char* timestamp, int code, const char* errorText) {
    putPrefix(line, timestamp, "!!");
    line.put("Error: ");
    line.putInt(code);
    if (errorText != nullptr) {
        line.put("  ");
        line.put(errorText);
    }
}

void composeDiagnosticLine(TextWriter& line, const char* timestamp, const char* text,
                           std::optional<int> value) {
    putPrefix(line, timestamp, "::");
    line.put(text);
    if (value) line.putInt(*value);
}

} // namespace vkkrn
