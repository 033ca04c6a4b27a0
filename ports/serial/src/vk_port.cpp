#include "vk_port.h"

#include "error_codes.h"
#include "length_frame.h"
#include "line_io.h"
#include "line_ops.h"
#include "line_speed.h"

#include <vkcommon/param_text.h>

#include <fcntl.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

namespace vkcom {

namespace {

constexpr int kMaxTransferLength = 0x10001;
constexpr std::int64_t kMicrosecondsPerMs = 1000;

bool tooLong(const char* text) {
    return vk::boundedLength(text, vk::kKeyBufferSize) >= vk::kKeyBufferSize;
}

void writeText(char* out, const char* text) {
    std::strcpy(out, text);
}

void writeNumber(char* out, long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", value);
    writeText(out, text);
}

// Reads "%d%c%d" as data bits, parity letter and stop bits. False when a part is
// missing.
bool parseFrame(const char* text, long long& dataBits, char& parity, long long& stopBits) {
    const vk::ParsedNumber bits = vk::parseDecimal(text);
    if (!bits.hasDigits || text[bits.used] == '\0') return false;
    parity = text[bits.used];
    const vk::ParsedNumber stops = vk::parseDecimal(text + bits.used + 1);
    if (!stops.hasDigits) return false;
    dataBits = bits.value;
    stopBits = stops.value;
    return true;
}

} // namespace

VKPort::~VKPort() {
    if (fd_ >= 0) ::close(fd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

int VKPort::store(int result) {
    lastError_.store(result, std::memory_order_relaxed);
    return result;
}

termios VKPort::currentSettings() const {
    std::lock_guard lock(settingsMutex_);
    return currentSettings_;
}

int VKPort::OpenPort(int portNumber, const char* devicePath) {
    const int fd = ::open(devicePath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return store(kErrCreatePort);
    LineOps& ops = lineOps();
    termios saved{};
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0 || ops.getAttr(fd, saved) != 0) {
        if (wake >= 0) ::close(wake);
        ::close(fd);
        return store(kErrCreatePort);
    }
    termios line = saved;
    // Other status flags off; the line stays non-blocking: every wait, for input
    // and for room to write, goes through ppoll beside the wake-up, so that a
    // close ends it.
    ::fcntl(fd, F_SETFL, O_NONBLOCK);

    ::cfsetispeed(&line, B9600);
    ::cfsetospeed(&line, B9600);
    CalcCharTimeout(9600);
    line.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ISIG | IEXTEN);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARODD | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | PARENB;
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | BRKINT | ISTRIP | ICRNL | INLCR | IGNCR |
                                           PARMRK | IGNPAR);
    line.c_iflag |= IGNBRK | INPCK;
    line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (ops.setAttr(fd, line) != 0) {
        ::close(wake);
        ::close(fd);
        return store(kErrCreatePort);
    }
    fd_ = fd;
    wakeFd_ = wake;
    savedSettings_ = saved;
    {
        std::lock_guard lock(settingsMutex_);
        currentSettings_ = line;
    }
    portNumber_.store(portNumber, std::memory_order_relaxed);
    baudRate_.store(9600, std::memory_order_relaxed);
    return store(kOk);
}

int VKPort::ClosePort() {
    // A call waiting inside the port wakes, ends and gives the I/O mutex up.
    if (wakeFd_ >= 0) signalWake(wakeFd_);
    std::lock_guard io(ioMutex_);
    std::lock_guard line(lineMutex_);
    if (fd_ >= 0) {
        lineOps().setAttr(fd_, savedSettings_);
        ::close(fd_);
        fd_ = -1;
    }
    return store(kOk);
}

void VKPort::CalcCharTimeout(int baudRate) {
    if (baudRate <= 0) return;
    const std::int32_t multiplier = charTimeoutMultiplier_.load(std::memory_order_relaxed);
    const std::int32_t perCharacter = (20000000 / baudRate) * 50;
    charTimeout_.store(static_cast<std::int64_t>(multiplier * perCharacter), std::memory_order_relaxed);
}

int VKPort::setLine(bool baud, const char* value) {
    speed_t speed = B0;
    long long rate = 0, dataBits = 0, stopBits = 0;
    char parity = 0;
    if (baud) {
        rate = vk::readSaturated(value);
        speed = speedOfRate(rate);
        if (speed == B0) return kErrOutOfRange;
    } else {
        if (!parseFrame(value, dataBits, parity, stopBits)) return kErrOutOfRange;
        parity = static_cast<char>(parity >= 'a' && parity <= 'z' ? parity - 'a' + 'A' : parity);
        if ((dataBits != 7 && dataBits != 8) || (stopBits != 1 && stopBits != 2) ||
            (parity != 'E' && parity != 'N' && parity != 'O'))
            return kErrOutOfRange;
    }

    std::lock_guard io(ioMutex_);
    if (fd_ < 0) return kErrNoHandle;
    // Change a copy; the current settings take it only once the line has.
    termios line = currentSettings();
    if (baud) {
        if (::cfsetispeed(&line, speed) != 0 || ::cfsetospeed(&line, speed) != 0) return kErrOutOfRange;
    } else {
        line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
        line.c_cflag |= dataBits == 7 ? CS7 : CS8;
        if (parity != 'N') line.c_cflag |= PARENB;
        if (parity == 'O') line.c_cflag |= PARODD;
        if (stopBits == 2) line.c_cflag |= CSTOPB;
    }
    if (lineOps().setAttr(fd_, line) != 0) return kErrChangeParameter;
    {
        std::lock_guard lock(settingsMutex_);
        currentSettings_ = line;
    }
    if (baud) {
        baudRate_.store(static_cast<int>(rate), std::memory_order_relaxed);
        CalcCharTimeout(static_cast<int>(rate));
    }
    return kOk;
}

int VKPort::SetPortPara(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) return store(kErrNullPointer);
    if (tooLong(key) || tooLong(value)) return store(kErrOutOfRange);
    const auto is = [key](const char* name) { return std::strcmp(key, name) == 0; };
    if (is("BAUD")) return store(setLine(true, value));
    if (is("FRAME")) return store(setLine(false, value));

    const long long number = vk::readSaturated(value);
    const auto within = [number](long long low, long long high) { return number >= low && number <= high; };
    if (is("TIMEOUT")) {
        if (!within(0, 99999)) return store(kErrOutOfRange);
        replyTimeout_.store(number * kMicrosecondsPerMs, std::memory_order_relaxed);
    } else if (is("TXDELAYTIME")) {
        if (!within(0, 999)) return store(kErrOutOfRange);
        txDelay_.store(number * kMicrosecondsPerMs, std::memory_order_relaxed);
    } else if (is("TXTIMECONTROL")) {
        if (!within(0, 1)) return store(kErrOutOfRange);
        txTimeControl_.store(number == 1, std::memory_order_relaxed);
    } else if (is("CHARTIMEOUTMPY")) {
        if (!within(1, 99)) return store(kErrOutOfRange);
        charTimeoutMultiplier_.store(static_cast<int>(number), std::memory_order_relaxed);
        CalcCharTimeout(baudRate_.load(std::memory_order_relaxed));
    } else if (is("USENUBO")) {
        if (!within(0, 1)) return store(kErrOutOfRange);
        useNubo_.store(number == 1, std::memory_order_relaxed);
    } else {
        return store(kErrUnknownParameter); // PORTNR, ERRCODE and unknown keys
    }
    return store(kOk);
}

int VKPort::GetPortPara(const char* key, char* value) {
    if (key == nullptr || value == nullptr) return store(kErrNullPointer);
    if (tooLong(key)) return store(kErrOutOfRange);
    const auto is = [key](const char* name) { return std::strcmp(key, name) == 0; };
    if (is("PORTNR")) {
        writeNumber(value, portNumber());
    } else if (is("BAUD")) {
        const termios line = currentSettings();
        const int rate = rateOfSpeed(::cfgetospeed(&line));
        if (rate == 0) return store(kErrReadLine);
        writeNumber(value, rate);
    } else if (is("FRAME")) {
        const termios line = currentSettings();
        const tcflag_t size = line.c_cflag & CSIZE;
        const int bits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
        const char parity = !(line.c_cflag & PARENB) ? 'N' : (line.c_cflag & PARODD) ? 'O' : 'E';
        char text[8];
        std::snprintf(text, sizeof text, "%d%c%d", bits, parity, (line.c_cflag & CSTOPB) ? 2 : 1);
        writeText(value, text);
    } else if (is("TIMEOUT")) {
        writeNumber(value, replyTimeout_.load(std::memory_order_relaxed) / kMicrosecondsPerMs);
    } else if (is("TXDELAYTIME")) {
        writeNumber(value, txDelay_.load(std::memory_order_relaxed) / kMicrosecondsPerMs);
    } else if (is("TXTIMECONTROL")) {
        writeText(value, txTimeControl_.load(std::memory_order_relaxed) ? "1" : "0");
    } else if (is("CHARTIMEOUTMPY")) {
        writeNumber(value, charTimeoutMultiplier_.load(std::memory_order_relaxed));
    } else if (is("ERRCODE")) {
        writeNumber(value, GetLastError()); // the read itself then clears it
    } else if (is("USENUBO")) {
        writeText(value, useNubo_.load(std::memory_order_relaxed) ? "1" : "0");
    } else {
        return store(kErrUnknownParameter);
    }
    return store(kOk);
}

int VKPort::setModemLine(int bit, std::uint32_t eventId, const char* value) {
    if (tooLong(value)) return kErrOutOfRange;
    const bool on = ::strcasecmp(value, "ON") == 0;
    std::lock_guard io(ioMutex_);
    if (fd_ < 0) return kErrNoHandle;
    LineOps& ops = lineOps();
    int bits = 0;
    if (ops.getModem(fd_, bits) != 0) return kErrReadLine;
    bits = on ? (bits | bit) : (bits & ~bit);
    if (ops.setModem(fd_, bits) != 0) return kErrChangeParameter;
    fire(eventId, on ? 1 : 0);
    return kOk;
}

int VKPort::readModemLine(int bit, char* value) {
    int bits = 0;
    {
        std::lock_guard line(lineMutex_);
        if (fd_ < 0) return kErrNoHandle;
        if (lineOps().getModem(fd_, bits) != 0) return kErrReadLine;
    }
    writeText(value, (bits & bit) ? "ON" : "OFF");
    return kOk;
}

int VKPort::DoPortCmd(const char* command, char* value) {
    if (command == nullptr || value == nullptr) return store(kErrNullPointer);
    char name[vk::kKeyBufferSize];
    if (!vk::upperCaseKey(command, name)) return store(kErrOutOfRange);
    const auto is = [&name](const char* candidate) { return std::strcmp(name, candidate) == 0; };
    if (is("FLUSHINQ")) {
        std::lock_guard io(ioMutex_);
        if (fd_ < 0) return store(kErrNoHandle);
        return store(lineOps().flush(fd_, TCIFLUSH) == 0 ? kOk : kErrFlushInput);
    }
    if (is("FLUSHOUTQ")) {
        std::lock_guard io(ioMutex_);
        if (fd_ < 0) return store(kErrNoHandle);
        return store(lineOps().flush(fd_, TCOFLUSH) == 0 ? kOk : kErrFlushOutput);
    }
    if (is("SETDTR")) return store(setModemLine(TIOCM_DTR, VIZER_EVENT_DTR, value));
    if (is("SETRTS")) return store(setModemLine(TIOCM_RTS, VIZER_EVENT_RTS, value));
    if (is("GETDTR")) return store(readModemLine(TIOCM_DTR, value));
    if (is("GETRTS")) return store(readModemLine(TIOCM_RTS, value));
    if (is("GETCTS")) return store(readModemLine(TIOCM_CTS, value));
    if (is("GETDCD")) return store(readModemLine(TIOCM_CAR, value));
    if (is("GETDSR")) return store(readModemLine(TIOCM_DSR, value));
    return store(kErrUnknownParameter);
}

int VKPort::Transmit(const std::uint8_t* data, int length) {
    if (data == nullptr) return store(kErrNullPointer);
    if (length < 1 || length > kMaxTransferLength) return store(kErrOutOfRange);
    std::lock_guard io(ioMutex_);
    if (fd_ < 0) return store(kErrNoHandle);
    const WriteResult sent = writeAll(fd_, wakeFd_, data, static_cast<std::size_t>(length));
    if (sent.woken) return store(kErrNoHandle);
    return store(sent.written == static_cast<std::size_t>(length) ? kOk : kErrTransmit);
}

int VKPort::Transceive(const std::uint8_t* request, int requestLength, std::uint8_t* reply, int replySize) {
    if (request == nullptr || reply == nullptr) return store(kErrNullPointer);
    if (requestLength < 1 || requestLength > kMaxTransferLength || replySize < 1)
        return store(kErrOutOfRange);
    std::lock_guard io(ioMutex_);
    reply[0] = 0;
    if (fd_ < 0) return store(kErrNoHandle);
    // A reply that came after its request timed out must not answer this one.
    if (const std::int64_t window = lateReply_.take(); window > 0 && !dropLateReply(window))
        return store(kErrNoHandle);
    if (lineOps().flush(fd_, TCIFLUSH) != 0) return store(kErrFlushInput);
    const WriteResult sent = writeAll(fd_, wakeFd_, request, static_cast<std::size_t>(requestLength));
    if (sent.woken) return store(kErrNoHandle);
    if (sent.written != static_cast<std::size_t>(requestLength)) return store(kErrTransmit);
    const std::int64_t timeout = replyTimeout_.load(std::memory_order_relaxed);
    const int received = useNubo_.load(std::memory_order_relaxed)
                             ? receiveFramed(reply, replySize, true)
                             : receiveTimed(reply, replySize, timeout + 1);
    if (received == kErrReceiveTimeout) lateReply_.open(timeout);
    return received;
}

bool VKPort::dropLateReply(std::int64_t windowUs) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::microseconds(windowUs);
    const std::int64_t charTimeout = charTimeout_.load(std::memory_order_relaxed);
    std::uint8_t sink[4096];
    bool dropped = false;
    for (;;) {
        const std::int64_t left =
            std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
        if (left <= 0) return true;
        // Once the late reply has begun, its rest follows within a character time.
        const std::int64_t wait = dropped && charTimeout > 0 ? std::min(left, charTimeout) : left;
        const WaitResult ready = waitReadable(fd_, wakeFd_, wait);
        if (ready == WaitResult::Woken) return false;
        if (ready != WaitResult::Readable || readSome(fd_, sink, sizeof sink) <= 0) return true;
        dropped = true;
    }
}

int VKPort::Receive(std::uint8_t* buffer, int bufferSize) {
    if (buffer == nullptr) return store(kErrNullPointer);
    if (bufferSize < 1) return store(kErrOutOfRange);
    std::lock_guard io(ioMutex_);
    buffer[0] = 0;
    if (fd_ < 0) return store(kErrNoHandle);
    if (useNubo_.load(std::memory_order_relaxed)) return receiveFramed(buffer, bufferSize, false);
    return receiveTimed(buffer, bufferSize, replyTimeout_.load(std::memory_order_relaxed));
}

int VKPort::receiveTimed(std::uint8_t* buffer, int bufferSize, std::int64_t firstWait) {
    int count = 0;
    std::int64_t wait = firstWait;
    for (;;) {
        const WaitResult ready = waitReadable(fd_, wakeFd_, wait);
        if (ready == WaitResult::Woken) return store(kErrNoHandle);
        if (ready == WaitResult::Failed) return store(kErrRead);
        if (ready == WaitResult::Expired) return count > 0 ? (store(kOk), count) : store(kErrReceiveTimeout);
        const ssize_t n = readSome(fd_, buffer + count, static_cast<std::size_t>(bufferSize - count));
        if (n <= 0) return store(kErrRead);
        count += static_cast<int>(n);
        if (count >= bufferSize) return store(kErrBufferOverflow);
        wait = charTimeout_.load(std::memory_order_relaxed);
    }
}

bool VKPort::discard(int count) {
    std::uint8_t sink[4096];
    const std::int64_t wait = replyTimeout_.load(std::memory_order_relaxed);
    while (count > 0) {
        const WaitResult ready = waitReadable(fd_, wakeFd_, wait);
        if (ready == WaitResult::Woken) return false;
        if (ready != WaitResult::Readable) break;
        const ssize_t n =
            readSome(fd_, sink, std::min<std::size_t>(sizeof sink, static_cast<std::size_t>(count)));
        if (n <= 0) break;
        count -= static_cast<int>(n);
    }
    return true;
}

int VKPort::ReceiveNUBO(std::uint8_t* buffer, int bufferSize) {
    if (buffer == nullptr) return store(kErrNullPointer);
    if (bufferSize < 1) return store(kErrOutOfRange);
    std::lock_guard io(ioMutex_);
    if (fd_ < 0) return store(kErrNoHandle);
    return receiveFramed(buffer, bufferSize, false);
}

int VKPort::receiveFramed(std::uint8_t* buffer, int bufferSize, bool afterRequest) {
    buffer[0] = 0;
    LengthFrame frame(bufferSize);
    const std::int64_t wait = replyTimeout_.load(std::memory_order_relaxed) + 1;
    int count = 0;
    for (;;) {
        const LengthFrame::Step step = frame.step(buffer, count);
        switch (step.next) {
        case LengthFrame::Next::Complete: return step.bound; // success leaves the last error
        case LengthFrame::Next::Noise:
            std::puts("Fehler: noise data");
            std::fflush(stdout);
            return store(kErrRead);
        case LengthFrame::Next::BadLength: return store(kErrRead);
        case LengthFrame::Next::Overflow: return store(kErrBufferOverflow);
        case LengthFrame::Next::Discard:
            return store(discard(step.bound) ? kErrBufferOverflow : kErrNoHandle);
        case LengthFrame::Next::Read: break;
        }
        // The reply to a request just written cannot be there yet: wait for it.
        // Later bytes (mostly the whole rest of the frame, come with its head)
        // are read at once when they are there, and waited for only when not.
        const bool arrived = (count > 0 || !afterRequest) && arrivedInput(fd_) > 0;
        if (!arrived) {
            const WaitResult ready = waitReadable(fd_, wakeFd_, wait);
            if (ready == WaitResult::Woken) return store(kErrNoHandle);
            if (ready == WaitResult::Failed) return store(kErrRead);
            if (ready == WaitResult::Expired) return store(kErrReceiveTimeout);
        }
        const ssize_t n = readSome(fd_, buffer + count, static_cast<std::size_t>(step.bound));
        if (n <= 0) return store(kErrRead);
        count += static_cast<int>(n);
    }
}

int VKPort::AddEventHandler(const _VIZER_EVENT_INIT* record) {
    if (record == nullptr) return store(kErrNullPointer);
    if (record->flag != VIZER_EVENT_FLAG_CALLBACK) return store(kErrUnknownParameter);
    std::lock_guard lock(handlersMutex_);
    for (const Handler& handler : handlers_)
        if (handler.eventId == record->eventId && handler.callback == record->callback) return store(kOk);
    try {
        handlers_.push_back(Handler{record->eventId, VIZER_EVENT_FLAG_CALLBACK, record->callback});
    } catch (const std::bad_alloc&) {
        return store(kErrNoMemory);
    }
    return store(kOk);
}

int VKPort::DelEventHandler(const _VIZER_EVENT_INIT* record) {
    if (record == nullptr) return store(kErrNullPointer);
    if (record->flag != VIZER_EVENT_FLAG_CALLBACK) return store(kErrUnknownParameter);
    std::lock_guard lock(handlersMutex_);
    const auto found = std::find_if(handlers_.begin(), handlers_.end(), [record](const Handler& handler) {
        return handler.eventId == record->eventId && handler.callback == record->callback;
    });
    if (found == handlers_.end()) return store(kErrUnknownParameter);
    handlers_.erase(found);
    return store(kOk);
}

int VKPort::AddEventHandlerEx(const _VIZER_INTERNAL_EVENT_INIT* record) {
    if (record == nullptr) return store(kErrNullPointer);
    return store(record->flag == 101 ? kErrUnsupported : kErrUnknownParameter);
}

int VKPort::DelEventHandlerEx(const _VIZER_INTERNAL_EVENT_INIT* record) {
    return AddEventHandlerEx(record);
}

void VKPort::fire(std::uint32_t eventId, int state) {
    std::vector<Handler> handlers;
    {
        std::lock_guard lock(handlersMutex_);
        handlers = handlers_;
    }
    const int number = portNumber();
    for (const Handler& handler : handlers)
        if (handler.eventId == eventId && handler.callback != nullptr) handler.callback(number, state);
}

void VKPort::ProcessRTSEvent() {
    fire(VIZER_EVENT_RTS, rts_);
}
void VKPort::ProcessCTSEvent() {
    fire(VIZER_EVENT_CTS, cts_);
}
void VKPort::ProcessDTREvent() {
    fire(VIZER_EVENT_DTR, dtr_);
}
void VKPort::ProcessDSREvent() {
    fire(VIZER_EVENT_DSR, dsr_);
}
void VKPort::ProcessDCDEvent() {
    fire(VIZER_EVENT_DCD, dcd_);
}

} // namespace vkcom
