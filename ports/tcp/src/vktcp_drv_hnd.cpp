#include "vktcp_drv_hnd.h"

#include "error_codes.h"
#include "handle_counter.h"
#include "host_address.h"
#include "socket_io.h"

#include <vkcommon/language_id.h>
#include <vkcommon/param_text.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vktcp {

namespace {

constexpr char kVersion[] = "03.00.00";
constexpr int kHighestPort = 65535;
constexpr char kLanguageKey[] = "LANGUAGE";

bool validPort(int port) {
    return port >= 0 && port <= kHighestPort;
}

} // namespace

VKTCPDrvHnd::VKTCPDrvHnd(char* sharedErrorText)
    : language_(vk::kLanguageEnglish), sharedErrorText_(sharedErrorText) {}

VKTCPDrvHnd::~VKTCPDrvHnd() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : sockets_.release())
        entry.ref->DisConnect();
}

void VKTCPDrvHnd::GetDLLVersion(char* version) {
    if (version == nullptr) {
        Store(kErrNullPointer);
        return;
    }
    lastError_.store(kOk);
    std::memcpy(version, kVersion, sizeof kVersion);
}

int VKTCPDrvHnd::GetErrorText(int code, char* text) {
    if (text == nullptr) return Store(kErrNullPointer);
    lastError_.store(kOk);
    char formatted[kErrorTextBufferSize];
    const bool known = formatErrorText(code, language_.load(), formatted);
    if (!known) {
        {
            std::lock_guard<std::mutex> lock(sharedErrorTextMutex_);
            std::memcpy(sharedErrorText_, formatted, sizeof formatted);
        }
        lastError_.store(kErrUnknownCode);
    }
    std::memcpy(text, formatted, std::strlen(formatted) + 1);
    return known ? kOk : kErrUnknownCode;
}

int VKTCPDrvHnd::GetLastError(int handle, int* code, char* text) {
    SocketRef socket;
    if (const int rc = FindChecked(handle, code != nullptr && text != nullptr, true, socket); rc != kOk)
        return rc;
    *code = socket->GetLastError();
    return GetErrorText(*code, text);
}

int VKTCPDrvHnd::AddEventHandler(int handle, const _VKTCP_EVENT_INIT* record) {
    SocketRef socket;
    if (const int rc = FindChecked(handle, record != nullptr, true, socket); rc != kOk) return rc;
    return socket->AddEventHandler(record);
}

int VKTCPDrvHnd::DelEventHandler(int handle, const _VKTCP_EVENT_INIT* record) {
    SocketRef socket;
    if (const int rc = FindChecked(handle, record != nullptr, true, socket); rc != kOk) return rc;
    return socket->DelEventHandler(record);
}

int VKTCPDrvHnd::Detect(const char* host, int port) {
    if (host == nullptr) return Store(kErrNullPointer);
    if (!validPort(port)) return Store(kErrOutOfRange);
    lastError_.store(kOk);
    // A probe touches no registered socket: it does not hold the registry lock
    // through a name look-up and a connect that may take minutes.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Store(kErrCreateSocket);
    const std::optional<in_addr> address = resolveHost(host);
    if (!address) {
        ::close(fd);
        return Store(kErrBadHost);
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    peer.sin_addr = *address;
    const bool accepted = connectBlocking(fd, peer);
    ::close(fd);
    return accepted ? kOk : Store(kErrServerNotFound);
}

int VKTCPDrvHnd::Connect(const char* host, int port) {
    if (host == nullptr) return Store(kErrNullPointer);
    if (!ValidHostAndPort(host, port)) return Store(kErrOutOfRange);
    lastError_.store(kOk);
    SocketRef socket;
    int handle = 0;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // A caller connecting to the same host text and port waits for the one
        // under way and then shares its connection. A connection being
        // disconnected is not shared: its successor is made once it has ended.
        for (;;) {
            if (const SocketRef existing = FindByHostLocked(host, port)) return existing->GetSocketHnd();
            if (FindConnectingLocked(host, port) == connecting_.end() && !ClosingLocked(host, port)) break;
            changed_.wait(lock);
        }
        counter_ = nextSocketCount(counter_, [this](int candidate) { return sockets_.contains(candidate); });
        handle = socketHandle(counter_);
        try {
            socket = std::make_shared<VKSocket>();
            connecting_.push_back({host, port});
        } catch (const std::bad_alloc&) {
            return Store(kErrCreateSocket);
        }
    }
    const int rc = socket->Connect(host, port);
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = FindConnectingLocked(host, port); it != connecting_.end()) connecting_.erase(it);
    changed_.notify_all();
    if (rc != kOk) return Store(rc);
    socket->SetSocketHnd(handle);
    try {
        if (!sockets_.add(handle, socket)) return Store(kErrCreateSocket);
    } catch (const std::bad_alloc&) {
        return Store(kErrCreateSocket);
    }
    return handle;
}

int VKTCPDrvHnd::DisConnect(int handle) {
    if (handle < 0) return Store(kErrHandleNegative);
    if (handle == 0) return Store(kErrHandleZero);
    SocketRef socket;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sockets_.empty()) return Store(kErrEmptyList);
        socket = FindLocked(handle);
        // Claimed under the lock: from here on no look-up by host finds it. A
        // second caller finds it claimed (-1223).
        if (socket && !socket->BeginDisConnect()) return Store(kErrHandleNotFound);
    }
    if (!socket) return Store(kErrHandleNotFound);
    lastError_.store(kOk);
    // The wait for the connection's end (up to half a second) runs without the
    // registry lock: every other socket's transfers look their handle up in it.
    const int rc = socket->EndConnection();
    {
        // A connect to the same host and port waits for this end, not for the
        // handlers, which may connect anew themselves.
        std::lock_guard<std::mutex> lock(mutex_);
        changed_.notify_all();
    }
    if (rc == kErrClose) return Store(rc);
    socket->ReportDisConnected();
    std::lock_guard<std::mutex> lock(mutex_);
    if (const SocketRef* listed = sockets_.find(handle); listed != nullptr && *listed == socket)
        sockets_.take(handle);
    return kOk;
}

int VKTCPDrvHnd::GetSocketList(int handle) {
    lastError_.store(kOk);
    if (handle < 0) return Store(kErrHandleNegative);
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle == 0) return sockets_.empty() ? Store(kErrEmptyList) : *sockets_.first();
    const std::optional<int> next = sockets_.next(handle);
    return next ? *next : Store(kErrUnknownListHandle);
}

int VKTCPDrvHnd::GetSocketPara(int handle, const char* key, char* value) {
    if (key == nullptr || value == nullptr) return Store(kErrNullPointer);
    if (handle < 0) return Store(kErrHandleNegative);
    char upper[vk::kKeyBufferSize];
    if (!vk::upperCaseKey(key, upper)) return Store(kErrOutOfRange);
    if (std::strcmp(upper, kLanguageKey) == 0) {
        std::snprintf(value, vk::kKeyBufferSize, "%d", language_.load());
        return kOk;
    }
    SocketRef socket;
    if (const int rc = FindChecked(handle, true, true, socket); rc != kOk) return rc;
    return socket->GetSocketPara(upper, value);
}

int VKTCPDrvHnd::SetSocketPara(int handle, const char* key, const char* value) {
    if (key == nullptr || value == nullptr) return Store(kErrNullPointer);
    if (handle < 0) return Store(kErrHandleNegative);
    char upper[vk::kKeyBufferSize];
    if (!vk::upperCaseKey(key, upper)) return Store(kErrOutOfRange);
    if (std::strcmp(upper, kLanguageKey) == 0) {
        if (vk::boundedLength(value, vk::kKeyBufferSize) >= vk::kKeyBufferSize) return Store(kErrOutOfRange);
        const std::int64_t language = vk::readSaturated(value);
        if (!vk::isLanguageId(language)) return Store(kErrOutOfRange);
        language_.store(static_cast<int>(language));
        return kOk;
    }
    SocketRef socket;
    if (const int rc = FindChecked(handle, true, true, socket); rc != kOk) return rc;
    return socket->SetSocketPara(upper, value);
}

int VKTCPDrvHnd::GetSocketHnd(const char* host, int port) {
    if (host == nullptr) return Store(kErrNullPointer);
    if (!ValidHostAndPort(host, port)) return Store(kErrOutOfRange);
    std::lock_guard<std::mutex> lock(mutex_);
    if (const SocketRef existing = FindByHostLocked(host, port)) return existing->GetSocketHnd();
    return Store(kErrHandleNotFound);
}

int VKTCPDrvHnd::Transceive(int handle, const std::uint8_t* request, int requestLength, std::uint8_t* reply,
                            int replySize) {
    SocketRef socket;
    const int rc = FindChecked(handle, request != nullptr && reply != nullptr,
                               requestLength > 0 && replySize > 0, socket);
    if (rc != kOk) return rc;
    return socket->Transceive(request, requestLength, reply, replySize);
}

int VKTCPDrvHnd::Transmit(int handle, const std::uint8_t* data, int length) {
    SocketRef socket;
    if (const int rc = FindChecked(handle, data != nullptr, length > 0, socket); rc != kOk) return rc;
    return socket->Transmit(data, length);
}

int VKTCPDrvHnd::Receive(int handle, std::uint8_t* buffer, int bufferSize) {
    SocketRef socket;
    if (const int rc = FindChecked(handle, buffer != nullptr, bufferSize > 0, socket); rc != kOk) return rc;
    return socket->Receive(buffer, bufferSize);
}

int VKTCPDrvHnd::GetSocketState(const char* host, int port) {
    if (host == nullptr) return 0;
    // Touches no socket: the registry lock is not taken for a name look-up.
    const std::optional<in_addr> address = resolveHost(host);
    if (!address) return 0;
    char text[INET_ADDRSTRLEN];
    if (!dottedText(*address, text, sizeof text)) return 0;
    const int state = VKSocket::TestConnectionStatus(text, port);
    return state > 0 ? state : 0;
}

int VKTCPDrvHnd::FindChecked(int handle, bool pointersPresent, bool lengthsPositive, SocketRef& socket) {
    if (handle < 0) return Store(kErrHandleNegative);
    if (handle == 0) return Store(kErrHandleZero);
    if (!pointersPresent) return Store(kErrNullPointer);
    if (!lengthsPositive) return Store(kErrOutOfRange);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sockets_.empty()) return Store(kErrEmptyList);
        socket = FindLocked(handle);
    }
    if (!socket) return Store(kErrHandleNotFound);
    lastError_.store(kOk);
    return kOk;
}

VKTCPDrvHnd::SocketRef VKTCPDrvHnd::FindLocked(int handle) const {
    const SocketRef* socket = sockets_.find(handle);
    return socket != nullptr ? *socket : nullptr;
}

VKTCPDrvHnd::ConnectingList::const_iterator VKTCPDrvHnd::FindConnectingLocked(const char* host,
                                                                              int port) const {
    return std::find_if(connecting_.begin(), connecting_.end(),
                        [&](const Connecting& c) { return c.port == port && c.host == host; });
}

VKTCPDrvHnd::SocketRef VKTCPDrvHnd::FindByHostLocked(const char* host, int port) const {
    const auto found = std::find_if(sockets_.begin(), sockets_.end(), [&](const auto& entry) {
        return entry.ref->IsConnected() && Names(*entry.ref, host, port);
    });
    return found != sockets_.end() ? found->ref : nullptr;
}

bool VKTCPDrvHnd::ClosingLocked(const char* host, int port) const {
    return std::any_of(sockets_.begin(), sockets_.end(), [&](const auto& entry) {
        return entry.ref->IsClosing() && Names(*entry.ref, host, port);
    });
}

bool VKTCPDrvHnd::Names(const VKSocket& socket, const char* host, int port) {
    if (host[0] == '\0' || socket.GetPortNumber() != port) return false;
    const char* own = isDottedAddress(host) ? socket.GetSocketHost() : socket.GetSocketHostName();
    return std::strcmp(own, host) == 0;
}

bool VKTCPDrvHnd::ValidHostAndPort(const char* host, int port) const {
    // The socket keeps host texts in 127 characters; longer ones are refused here.
    return vk::boundedLength(host, vk::kKeyBufferSize) < vk::kKeyBufferSize && validPort(port);
}

} // namespace vktcp
