#include "vk_socket.h"

#include "connection_state.h"
#include "error_codes.h"
#include "host_address.h"
#include "socket_io.h"

#include <vkcommon/param_text.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace vktcp {

namespace {

constexpr int kDisconnectPolls = 5;
constexpr auto kDisconnectPollInterval = std::chrono::milliseconds(100);
// What Transceive drops before it sends, at most.
constexpr std::size_t kStaleInputLimit = 1 << 20;
constexpr std::int64_t kUsPerMs = 1000;

void copyText(char* out, std::size_t size, const char* text) {
    std::snprintf(out, size, "%s", text);
}

// A settable number: accepted range in the caller's unit.
struct Range {
    std::int64_t lowest;
    std::int64_t highest;
};

// Reads `value` as a number in `range`; false when out of range (overflowing
// digits included). A value without digits reads as 0.
bool readInRange(const char* value, Range range, std::int64_t& out) {
    const std::int64_t number = vk::readSaturated(value);
    if (number < range.lowest || number > range.highest) return false;
    out = number;
    return true;
}

} // namespace

VKSocket::~VKSocket() {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

int VKSocket::Connect(const char* host, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Fail(kErrCreateSocket);
    const std::optional<in_addr> address = resolveHost(host);
    if (!address) {
        ::close(fd);
        return Fail(kErrBadHost);
    }
    if (isDottedAddress(host)) {
        copyText(addressText_, sizeof addressText_, host);
        hostName_[0] = '\0';
    } else {
        copyText(hostName_, sizeof hostName_, host);
        dottedText(*address, addressText_, sizeof addressText_);
    }
    peer_ = sockaddr_in{};
    peer_.sin_family = AF_INET;
    peer_.sin_port = htons(static_cast<std::uint16_t>(port));
    peer_.sin_addr = *address;
    port_ = port;
    if (!connectBlocking(fd, peer_)) {
        ::close(fd);
        return Fail(kErrOpenTimeout);
    }
    fd_.store(fd);
    return kOk;
}

int VKSocket::DisConnect() {
    if (!BeginDisConnect()) return kErrHandleNotFound;
    const int rc = EndConnection();
    if (rc != kErrClose) ReportDisConnected();
    return rc;
}

bool VKSocket::BeginDisConnect() {
    Stage connected = Stage::Connected;
    return stage_.compare_exchange_strong(connected, Stage::Closing);
}

int VKSocket::EndConnection() {
    // Shutting down first wakes a transfer blocked on this socket, which then
    // gives up the I/O mutex. The descriptor stays this socket's until the close
    // below, which no one else makes.
    const int open = fd_.load();
    if (open >= 0) ::shutdown(open, SHUT_RDWR);
    {
        std::lock_guard<std::mutex> io(ioMutex_);
        // The descriptor counts as released whatever close says: its number may
        // already belong to someone else.
        const int fd = fd_.exchange(-1);
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
            stage_.store(Stage::Connected); // a later call takes the socket off the list
            return Fail(kErrClose);
        }
    }
    int state = TestConnectionStatus(addressText_, port_);
    for (int i = 0; i < kDisconnectPolls && state < kStateTimeWait; ++i) {
        std::this_thread::sleep_for(kDisconnectPollInterval);
        state = TestConnectionStatus(addressText_, port_);
    }
    stage_.store(Stage::Ended);
    return state >= kStateTimeWait ? kOk : state;
}

int VKSocket::GetSocketPara(const char* key, char* value) {
    if (key == nullptr || value == nullptr) return Fail(kErrNullPointer);
    if (vk::boundedLength(key, vk::kKeyBufferSize) >= vk::kKeyBufferSize) return Fail(kErrOutOfRange);
    constexpr std::size_t kValueSize = kTextSize;
    auto writeNumber = [&](long number) { std::snprintf(value, kValueSize, "%ld", number); };
    if (std::strcmp(key, "PORTNR") == 0)
        std::snprintf(value, kValueSize, "%d", port_);
    else if (std::strcmp(key, "HOSTADR") == 0)
        copyText(value, kValueSize, addressText_);
    else if (std::strcmp(key, "HOSTNAME") == 0)
        copyText(value, kValueSize, hostName_);
    else if (std::strcmp(key, "TIMEOUT") == 0)
        writeNumber(static_cast<long>(timeoutUs_.load() / kUsPerMs));
    else if (std::strcmp(key, "TXDELAYTIME") == 0)
        writeNumber(static_cast<long>(txDelayUs_.load() / kUsPerMs));
    else if (std::strcmp(key, "TXTIMECONTROL") == 0)
        copyText(value, kValueSize, txTimeControl_.load() ? "1" : "0");
    else if (std::strcmp(key, "CHARTIMEOUT") == 0)
        writeNumber(static_cast<long>(charTimeoutUs_.load() / kUsPerMs));
    else if (std::strcmp(key, "LASTSOCKETERROR") == 0)
        std::snprintf(value, kValueSize, "%d", lastSocketError_.load());
    else if (std::strcmp(key, "USENUBO") == 0)
        copyText(value, kValueSize, useNubo_.load() ? "1" : "0");
    else
        return Fail(kErrUnknownParameter);
    return Fail(kOk);
}

int VKSocket::SetSocketPara(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) return Fail(kErrNullPointer);
    if (vk::boundedLength(key, vk::kKeyBufferSize) >= vk::kKeyBufferSize ||
        vk::boundedLength(value, vk::kKeyBufferSize) >= vk::kKeyBufferSize)
        return Fail(kErrOutOfRange);
    struct Setting {
        const char* key;
        Range range;
        std::atomic<std::int64_t>* microseconds; // stored times 1,000
        std::atomic<bool>* flag;                 // stored as a switch
    };
    const Setting settings[] = {
        {"TIMEOUT", {0, 99999}, &timeoutUs_, nullptr},
        {"TXDELAYTIME", {0, 999}, &txDelayUs_, nullptr},
        {"TXTIMECONTROL", {0, 1}, nullptr, &txTimeControl_},
        {"CHARTIMEOUT", {1, 999}, &charTimeoutUs_, nullptr},
        {"USENUBO", {0, 1}, nullptr, &useNubo_},
    };
    for (const Setting& setting : settings) {
        if (std::strcmp(key, setting.key) != 0) continue;
        std::int64_t number = 0;
        if (!readInRange(value, setting.range, number)) return Fail(kErrOutOfRange);
        if (setting.microseconds != nullptr) setting.microseconds->store(number * kUsPerMs);
        if (setting.flag != nullptr) setting.flag->store(number != 0);
        return Fail(kOk);
    }
    return Fail(kErrUnknownParameter); // unknown, or one of the read-only keys
}

int VKSocket::Transceive(const std::uint8_t* request, int requestLength, std::uint8_t* reply, int replySize) {
    {
        std::lock_guard<std::mutex> io(ioMutex_);
        const int fd = fd_.load();
        if (fd < 0) return Fail(kErrRead);
        // A reply that came after its request timed out must not answer this one.
        if (const std::int64_t window = lateReply_.take(); window > 0)
            dropLateReply(fd, window, charTimeoutUs_.load(), kStaleInputLimit);
        discardPendingInput(fd, kStaleInputLimit);
        const IoResult sent =
            sendAll(fd, request, static_cast<std::size_t>(requestLength), timeoutUs_.load());
        if (sent.result == kOk) {
            const int received = ReceiveReply(fd, reply, replySize, true);
            if (received == kErrReceiveTimeout) lateReply_.open(timeoutUs_.load());
            return received;
        }
        lastSocketError_.store(sent.systemError);
        lastError_.store(kErrTransmit);
    }
    sendFailureTime_.store(0);
    FireEvent(VKTCP_EVENT_SEND_FAILED, static_cast<int>(sendFailureTime_.load()));
    return kErrTransmit;
}

int VKSocket::Transmit(const std::uint8_t* data, int length) {
    std::lock_guard<std::mutex> io(ioMutex_);
    const int fd = fd_.load();
    if (fd < 0) return Fail(kErrRead);
    const IoResult sent = sendAll(fd, data, static_cast<std::size_t>(length), timeoutUs_.load());
    if (sent.result == kOk) return kOk;
    lastSocketError_.store(sent.systemError);
    return Fail(kErrTransmit);
}

int VKSocket::Receive(std::uint8_t* buffer, int bufferSize) {
    std::lock_guard<std::mutex> io(ioMutex_);
    const int fd = fd_.load();
    if (fd < 0) return Fail(kErrRead);
    return ReceiveReply(fd, buffer, bufferSize, false);
}

int VKSocket::ReceiveReply(int fd, std::uint8_t* buffer, int bufferSize, bool afterRequest) {
    const std::int64_t timeoutUs = timeoutUs_.load();
    const std::int64_t charTimeoutUs = charTimeoutUs_.load();
    const IoResult received =
        useNubo_.load() ? readLengthFramed(fd, buffer, bufferSize, timeoutUs, charTimeoutUs, afterRequest)
                        : readUntilQuiet(fd, buffer, bufferSize, timeoutUs, charTimeoutUs);
    if (received.result == kErrRead) lastSocketError_.store(received.systemError);
    if (received.result < 0) return Fail(received.result);
    if (received.clearsLastError) lastError_.store(kOk);
    return received.result;
}

int VKSocket::AddEventHandler(const _VKTCP_EVENT_INIT* record) {
    if (record == nullptr) return kErrNullPointer;
    std::lock_guard<std::mutex> lock(handlerMutex_);
    if (record->flag != VKTCP_EVENT_FLAG_CONTEXT) return kErrUnknownParameter;
    for (const _VKTCP_EVENT_INIT& stored : handlers_) {
        if (stored.flag == VKTCP_EVENT_FLAG_CONTEXT && stored.eventId == record->eventId &&
            stored.callback == record->callback)
            return kOk;
    }
    try {
        handlers_.push_back({record->pAny, record->eventId, 0, VKTCP_EVENT_FLAG_CONTEXT, record->callback});
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    }
    return kOk;
}

int VKSocket::DelEventHandler(const _VKTCP_EVENT_INIT* record) {
    if (record == nullptr) return kErrNullPointer;
    std::lock_guard<std::mutex> lock(handlerMutex_);
    if (record->flag != VKTCP_EVENT_FLAG_CONTEXT) return kErrUnknownParameter;
    for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
        if (it->eventId == record->eventId && it->callback == record->callback) {
            handlers_.erase(it);
            return kOk;
        }
    }
    return kErrUnknownParameter;
}

void VKSocket::FireEvent(int eventId, int value) {
    std::lock_guard<std::mutex> lock(handlerMutex_);
    for (const _VKTCP_EVENT_INIT& handler : handlers_) {
        if (handler.eventId == static_cast<std::uint32_t>(eventId) &&
            handler.flag == VKTCP_EVENT_FLAG_CONTEXT && handler.callback != nullptr)
            handler.callback(handler.pAny, handle_, eventId, value);
    }
}

int VKSocket::TestConnectionStatus(const char* addressText, int port) {
    return testConnectionStatus(addressText, port);
}

} // namespace vktcp
