// One open serial port: line settings, text parameters, port commands,
// modem-line handlers, and the transfers with their two ways of completing a
// reply (by the host-protocol length field, or by a quiet line).
#ifndef VKCOM_VK_PORT_H
#define VKCOM_VK_PORT_H

#include <vkcom/vizer.h>
#include <vkcommon/late_reply_window.h>

#include <termios.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vkcom {

class VKPort {
  public:
    VKPort() = default;
    virtual ~VKPort() = default;
    VKPort(const VKPort&) = delete;
    VKPort& operator=(const VKPort&) = delete;

    // Opens `devicePath` for port number `portNumber` and makes the line raw,
    // 9600 baud 8E1. 0 or -1000.
    int OpenPort(int portNumber, const char* devicePath);
    // Restores the line settings found at opening and closes the device; 0.
    int ClosePort();

    int SetPortPara(const char* key, const char* value);
    int GetPortPara(const char* key, char* value);
    int DoPortCmd(const char* command, char* value);

    int Transceive(const std::uint8_t* request, int requestLength, std::uint8_t* reply, int replySize);
    int Transmit(const std::uint8_t* data, int length);
    int Receive(std::uint8_t* buffer, int bufferSize);
    int ReceiveNUBO(std::uint8_t* buffer, int bufferSize);

    void CalcCharTimeout(int baudRate);

    int AddEventHandler(const _VIZER_EVENT_INIT* record);
    int DelEventHandler(const _VIZER_EVENT_INIT* record);
    int AddEventHandlerEx(const _VIZER_INTERNAL_EVENT_INIT* record);
    int DelEventHandlerEx(const _VIZER_INTERNAL_EVENT_INIT* record);

    // Call the handlers of a line with its stored state byte.
    void ProcessRTSEvent();
    void ProcessCTSEvent();
    void ProcessDTREvent();
    void ProcessDSREvent();
    void ProcessDCDEvent();

    void SetPortHnd(int handle) { handle_.store(handle, std::memory_order_relaxed); }
    int GetPortHnd() const { return handle_.load(std::memory_order_relaxed); }
    int GetLastError() const { return lastError_.load(std::memory_order_relaxed); }
    int portNumber() const { return portNumber_.load(std::memory_order_relaxed); }
    std::int64_t charTimeoutMicroseconds() const { return charTimeout_.load(std::memory_order_relaxed); }

  private:
    struct Handler {
        std::uint32_t eventId;
        std::uint32_t flag;
        VIZER_EventCallback callback;
    };

    int store(int result); // keeps `result` as the last error and returns it
    int setLine(bool baud, const char* value);
    int setModemLine(int bit, std::uint32_t eventId, const char* value);
    int readModemLine(int bit, char* value);
    int receiveTimed(std::uint8_t* buffer, int bufferSize, std::int64_t firstWait);
    // Length-field framing into a buffer already checked; `afterRequest`: a
    // request has just been written, so the first read waits before it asks
    // what has arrived.
    int receiveFramed(std::uint8_t* buffer, int bufferSize, bool afterRequest);
    int discard(int count);
    // Reads and drops input for at most `windowUs`, ending once the line is
    // quiet again after something came.
    void dropLateReply(std::int64_t windowUs);
    void fire(std::uint32_t eventId, int state);
    termios currentSettings() const;

    int fd_ = -1;
    std::atomic<int> handle_{0};
    std::atomic<int> lastError_{0};
    std::atomic<bool> useNubo_{false};
    std::atomic<int> portNumber_{0};
    std::atomic<int> baudRate_{9600};
    std::atomic<std::int64_t> replyTimeout_{1000000};
    std::atomic<std::int64_t> charTimeout_{0};
    std::atomic<int> charTimeoutMultiplier_{1};
    std::atomic<std::int64_t> txDelay_{5000};
    std::atomic<bool> txTimeControl_{true};
    termios savedSettings_{};
    vk::LateReplyWindow lateReply_; // under ioMutex_

    // Serialises transfers, the line changes "BAUD" and "FRAME", the flushes and
    // the modem-line writes. First in the lock order; handlers run under it.
    std::mutex ioMutex_;
    // Guards currentSettings_ only; taken after ioMutex_, never before it.
    mutable std::mutex settingsMutex_;
    termios currentSettings_{};
    // Guards handlers_ only; taken after ioMutex_. Handlers are called from a copy.
    mutable std::mutex handlersMutex_;
    std::vector<Handler> handlers_;

    // Line states of RTS, CTS, DTR, DSR, DCD; nothing changes them.
    std::uint8_t rts_ = 0, cts_ = 0, dtr_ = 0, dsr_ = 0, dcd_ = 0;
};

} // namespace vkcom

#endif
