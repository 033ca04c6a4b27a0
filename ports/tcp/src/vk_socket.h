// VKSocket: one TCP client connection, its parameters, transfers and event
// handlers.
#ifndef VKTCP_VK_SOCKET_H
#define VKTCP_VK_SOCKET_H

#include <vkcommon/late_reply_window.h>
#include <vktcp.h>

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vktcp {

class VKSocket {
  public:
    VKSocket() = default;
    virtual ~VKSocket();
    VKSocket(const VKSocket&) = delete;
    VKSocket& operator=(const VKSocket&) = delete;

    // Resolves `host` (at most 127 characters) and connects; 0, or -1200, -1211, -1212.
    int Connect(const char* host, int port);
    // Closes, waits up to half a second for time-wait, calls the event-2 handlers.
    // 0 when time-wait was reached, the last state seen (0..10) otherwise, -1213
    // when closing failed, -1223 while another caller disconnects the socket.
    int DisConnect();

    // DisConnect in its three steps, for a caller that must act between them.
    // Claims the disconnection: false when it has begun already.
    bool BeginDisConnect();
    // After the claim: closes and waits for the connection's end. Results as
    // DisConnect's; after -1213 the socket is connected again and unclaimed.
    int EndConnection();
    // After the end: calls the event-2 handlers.
    void ReportDisConnected() { FireEvent(VKTCP_EVENT_DISCONNECT, 0); }

    // No disconnection has begun.
    bool IsConnected() const { return stage_.load() == Stage::Connected; }
    // A disconnection has begun and the connection has not ended yet.
    bool IsClosing() const { return stage_.load() == Stage::Closing; }

    // `key` upper-cased by the caller.
    int GetSocketPara(const char* key, char* value);
    int SetSocketPara(const char* key, const char* value);

    int Transceive(const std::uint8_t* request, int requestLength, std::uint8_t* reply, int replySize);
    int Transmit(const std::uint8_t* data, int length);
    int Receive(std::uint8_t* buffer, int bufferSize);

    int AddEventHandler(const _VKTCP_EVENT_INIT* record);
    int DelEventHandler(const _VKTCP_EVENT_INIT* record);

    static int TestConnectionStatus(const char* addressText, int port);

    void SetSocketHnd(int handle) { handle_ = handle; }
    int GetSocketHnd() const { return handle_; }
    const char* GetSocketHost() const { return addressText_; }
    const char* GetSocketHostName() const { return hostName_; }
    int GetPortNumber() const { return port_; }
    int GetLastError() const { return lastError_.load(); }

  private:
    // Reads one reply on `fd` as "USENUBO" says and stores its errors;
    // `afterRequest`: a request has just been sent. Called with the I/O mutex held.
    int ReceiveReply(int fd, std::uint8_t* buffer, int bufferSize, bool afterRequest);
    void FireEvent(int eventId, int value);
    int Fail(int code) {
        lastError_.store(code);
        return code;
    }

    static constexpr std::size_t kTextSize = 128;

    std::vector<_VKTCP_EVENT_INIT> handlers_; // guarded by handlerMutex_
    // I/O mutex: one transfer at a time, and the closing of the descriptor. Taken
    // after the registry mutex, never together with handlerMutex_.
    std::mutex ioMutex_;
    // Handler-list mutex: registration, removal and firing. Taken after the
    // registry mutex.
    std::mutex handlerMutex_;
    // The descriptor, -1 when none. Changed only under ioMutex_ (and before the
    // socket is listed); read by DisConnect without it to wake a blocked transfer.
    std::atomic<int> fd_{-1};
    // Where a disconnection stands. Closing: claimed by one caller, who alone
    // shuts the descriptor down and closes it (so no other can reach a number the
    // system gave anew), and waits for the end; Ended: closed and waited for.
    enum class Stage { Connected, Closing, Ended };
    std::atomic<Stage> stage_{Stage::Connected};
    vk::LateReplyWindow lateReply_; // under ioMutex_
    int handle_ = 0;
    char addressText_[kTextSize] = {};
    char hostName_[kTextSize] = {};
    int port_ = 0;
    sockaddr_in peer_{};
    // Parameters and errors are read and written without a lock.
    std::atomic<int> lastError_{0};
    std::atomic<int> lastSocketError_{0};
    std::atomic<bool> useNubo_{true};
    std::atomic<std::int64_t> timeoutUs_{3'000'000};
    std::atomic<std::int64_t> charTimeoutUs_{250'000};
    std::atomic<std::int64_t> txDelayUs_{5'000};
    std::atomic<std::int64_t> sendFailureTime_{0};
    std::atomic<bool> txTimeControl_{false};
};

} // namespace vktcp

#endif
