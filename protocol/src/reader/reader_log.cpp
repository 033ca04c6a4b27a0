// The reader's protocol lines: send, receive, error and diagnostic lines to the
// log file, and the protocol events to the application. Lines are composed in
// the reader's text buffers by the thread that holds the command lock; the
// capture mutex is held only while stored frames are read.
#include "reader/date_time.h"
#include "reader/protocol_events.h"
#include "reader/reader.h"
#include "texts/error_codes.h"
#include "texts/error_texts.h"
#include "texts/log_file.h"
#include "texts/protocol_lines.h"
#include "texts/status_texts.h"

#include <vkcommon/error_code_range.h>

#include <cstdint>
#include <cstring>

namespace {

using namespace vkkrn;

constexpr int kProtocolLevel = 1;
// A diagnostic line keeps 509 characters, 511 with its "\r\n".
constexpr std::size_t kDiagnosticCapacity = 510;
// An error line: time stamp, code and a text of the library's (a port library's
// text is at most kPortTextSize).
constexpr std::size_t kErrorLineCapacity = 1024;

using PortErrorTextFn = int (*)(int code, char* text);

int clampedLength(int len) {
    return len < 0 ? 0 : (len > kReaderBufferSize - 1 ? kReaderBufferSize - 1 : len);
}

// Codes of the USB port library that carry a system value above 0xE0000000.
bool isUsbSystemCode(int code) {
    const auto value = static_cast<std::uint32_t>(code);
    return value > 0xE0000000u && value <= 0xE8001000u;
}

int portTextId(int portType) {
    switch (portType) {
    case 0: return kIdSerialErrorText;
    case 1: return kIdUsbErrorText;
    case 2: return kIdTcpErrorText;
    default: return 0;
    }
}

} // namespace

char* VKKRNReader::VKGetDateTime(char* out) {
    return formatDateTime(out);
}

const char* VKKRNReader::lineStamp(char* buffer) const {
    return noTimestampFlag_.load() ? nullptr : formatDateTime(buffer);
}

int VKKRNReader::logErrorText(int code, bool usbSystemCodes, char* portText, LogErrorText& out) const {
    out = {};
    int id = 0;
    if (code >= -1999 && code <= -1000) {
        id = portTextId(GetCommMode());
        if (id == 0) return kErrCommMode;
        out.fromPort = true;
    } else if (usbSystemCodes && isUsbSystemCode(code)) {
        id = kIdUsbErrorText;
    } else if (vk::inRange(code, vk::kReaderErrors)) {
        out.text = errorText(code, library_);
        return 0;
    } else {
        return 0;
    }
    const auto fn = library_.PortFunction<PortErrorTextFn>(id);
    if (fn == nullptr) return kErrNullPointer;
    portText[0] = '\0';
    fn(code, portText);
    portText[kPortTextSize - 1] = '\0';
    out.text = portText;
    return 0;
}

void VKKRNReader::writeLogLine(const char* line, std::size_t length) {
    char fileName[sizeof logFileName_];
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        std::memcpy(fileName, logFileName_, sizeof fileName);
    }
    appendLogLine(fileName, line, length);
}

void VKKRNReader::toLogFileAndApp(const char* text, std::size_t length, int event, int value,
                                  const unsigned char* frame, int frameLength, int frameEvent) {
    if (logFileFlag_.load() && (logLevel_.load() & kProtocolLevel) != 0 && !IsStopFlag()) {
        SetActiveFlag();
        writeLogLine(text, length);
        ClearActiveFlag();
    }
    if (logProtFlag_.load() && !IsStopFlag()) {
        SetActiveFlag();
        ExecNotification(event, reinterpret_cast<const unsigned char*>(text), static_cast<int>(length),
                         value);
        if (frame != nullptr && frameLength > 0) ExecNotification(frameEvent, frame, frameLength, value);
        ClearActiveFlag();
    }
}

void VKKRNReader::SendProtStrToApp(int len, bool b1, bool b2) {
    sendProtocolLine(len, (b1 && b2) || Cipher().holds());
}

void VKKRNReader::sendProtocolLine(int len, bool secured) {
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        lastSendLength_ = len;
    }
    const bool toApp = sendProtToAppFlag_.load();
    if (!logProtFlag_.load() && !logFileFlag_.load() && !toApp) return;
    const int shown = clampedLength(len);
    char stamp[kDateTimeSize];
    TextWriter line(protocolText_, kReaderTextSize);
    TextWriter bytes(hexText_, kReaderTextSize);
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        composeSendLine(line, &bytes, lineStamp(stamp), secured,
                        {sendFrame_, static_cast<std::size_t>(shown)});
    }
    toLogFileAndApp(protocolText_, line.size(), kEventSendText, 0, sendFrame_, shown, kEventSendFrame);
    if (toApp && !IsStopFlag()) {
        SetActiveFlag();
        ExecNotification(kEventSendHex, reinterpret_cast<const unsigned char*>(hexText_),
                         static_cast<int>(bytes.size()), 0);
        ClearActiveFlag();
    }
}

int VKKRNReader::composeLastReceive(TextWriter& line, bool secured) {
    int length;
    int result;
    unsigned char status;
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        length = clampedLength(lastReceiveLength_);
        result = lastReceiveResult_;
        status = lastStatus_;
    }
    char statusText[kStatusTextSize];
    char portText[kPortTextSize];
    ReceiveLine r;
    if (result >= 0) {
        if (writeStatusText(status, library_.GetLanguage(), statusText) != kErrUnknownParameter)
            r.statusText = statusText;
    } else {
        LogErrorText text;
        if (const int rc = logErrorText(result, true, portText, text)) return rc;
        r.errorText = text.text;
        r.errorTextFromPort = text.fromPort;
    }
    char stamp[kDateTimeSize];
    r.timestamp = lineStamp(stamp);
    r.secured = secured;
    r.result = result;
    r.usb = GetCommMode() == 1;
    std::lock_guard<std::mutex> lock(captureMutex_);
    r.frame = {receiveFrame_, static_cast<std::size_t>(length)};
    composeReceiveLine(line, r);
    return 0;
}

void VKKRNReader::RecProtStrToLogDoc(int len, int result, bool b1, bool b2) {
    receiveProtocolLine(len, result, (b1 && b2) || Cipher().holds());
}

void VKKRNReader::receiveProtocolLine(int len, int result, bool secured) {
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        lastReceiveLength_ = len;
        lastReceiveResult_ = result;
        if (result >= 0) lastStatus_ = static_cast<unsigned char>(result);
    }
    if (!logProtFlag_.load() && !logFileFlag_.load()) return;
    TextWriter line(protocolText_, kReaderTextSize);
    if (const int rc = composeLastReceive(line, secured)) {
        SetLastError(rc);
        return;
    }
    toLogFileAndApp(protocolText_, line.size(), kEventReceiveText, result, receiveFrame_, clampedLength(len),
                    kEventReceiveFrame);
}

int VKKRNReader::errorLine(int code, char* buffer, std::size_t capacity) {
    char portText[kPortTextSize];
    LogErrorText text;
    if (const int rc = logErrorText(code, false, portText, text)) return rc;
    char stamp[kDateTimeSize];
    TextWriter line(buffer, capacity);
    composeErrorLine(line, formatDateTime(stamp), code, text.text);
    toLogFileAndApp(buffer, line.size(), kEventErrorText, code, nullptr, 0, 0);
    return 0;
}

void VKKRNReader::ErrorStrToLogDoc(int code) {
    if (const int rc = errorLine(code, protocolText_, kReaderTextSize)) SetLastError(rc);
}

int VKKRNReader::CommandFailure(int code) {
    SetLastError(code);
    char buffer[kErrorLineCapacity];
    errorLine(code, buffer, sizeof buffer);
    return code;
}

void VKKRNReader::StringToLogFile(const char* text, int level) {
    diagnosticLine(text, std::nullopt, level);
}

void VKKRNReader::StringToLogFile(const char* text, int value, int level) {
    diagnosticLine(text, value, level);
}

void VKKRNReader::diagnosticLine(const char* text, std::optional<int> value, int level) {
    if (!logFileFlag_.load() || (logLevel_.load() & level) == 0) return;
    char buffer[kDiagnosticCapacity];
    char stamp[kDateTimeSize];
    TextWriter line(buffer, sizeof buffer);
    composeDiagnosticLine(line, formatDateTime(stamp), text != nullptr ? text : "", value);
    writeLogLine(line.text(), line.size());
}

int VKKRNReader::BuildLastSndStr(bool b1, bool b2) {
    return composeLastSend(protocolText_, kReaderTextSize, (b1 && b2) || Cipher().holds());
}

int VKKRNReader::composeLastSend(char* out, std::size_t capacity, bool secured) {
    char stamp[kDateTimeSize];
    TextWriter line(out, capacity);
    std::lock_guard<std::mutex> lock(captureMutex_);
    if (lastSendLength_ <= 0) return kErrNoValue;
    composeSendLine(line, nullptr, lineStamp(stamp), secured,
                    {sendFrame_, static_cast<std::size_t>(clampedLength(lastSendLength_))});
    return 0;
}

int VKKRNReader::BuildLastRecStr(bool b1, bool b2) {
    TextWriter line(protocolText_, kReaderTextSize);
    return composeLastReceive(line, (b1 && b2) || Cipher().holds());
}

void VKKRNReader::SetNotificationObserver(NotificationObserver observer) {
    auto lock = LockEventList();
    notificationObserver_ = std::move(observer);
}
