// The lines of the protocol log, composed into fixed buffers. Two spaces stand on
// each side of the marks ">>", "<<", "!!" and "::"; bytes are "%02X " each; the
// time stamp is optional for send and receive lines only. Lines carry no line
// end: the log file adds "\r\n".
#ifndef VKKRN_PROTOCOL_LINES_H
#define VKKRN_PROTOCOL_LINES_H

#include "texts/text_writer.h"

#include <cstdint>
#include <optional>
#include <span>

namespace vkkrn {

// T "  >>  " ["(S) "] bytes, or ">>  " ... without a time stamp; key bytes of
// the request are shown as "** ". The byte part alone also goes to `bytePart`
// when given.
void composeSendLine(TextWriter& line, TextWriter* bytePart, const char* timestamp, bool secured,
                     std::span<const std::uint8_t> frame);

struct ReceiveLine {
    const char* timestamp = nullptr; // null: the line starts "<<  "
    bool secured = false;
    std::span<const std::uint8_t> frame;
    int result = 0;                   // status (0..255) or negative code
    const char* statusText = nullptr; // shown after the bytes of a status result
    bool usb = false;                 // an empty reply with result 0 shows "OK" on USB
    const char* errorText = nullptr;  // shown for a negative result; null for none
    bool errorTextFromPort = false;   // a port text: its "  " only follows bytes
};

// T "  <<  " ["(S) "] ["Error: " code "  ("] bytes ["  " status] ["OK"]
// ["  " error text] [")"].
void composeReceiveLine(TextWriter& line, const ReceiveLine& receive);

// T "  !!  Error: " code ["  " text].
void composeErrorLine(TextWriter& line, const char* timestamp, int code, const char* errorText);

// T "  ::  " text [value as "%d"].
void composeDiagnosticLine(TextWriter& line, const char* timestamp, const char* text,
                           std::optional<int> value);

} // namespace vkkrn

#endif
