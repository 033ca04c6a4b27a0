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

// The registry shares each port with the calls running on it, so a port lives
// until the last of them has left; ClosePort ends those calls and waits for them.
class VKPort {
  public:
    VKPort() = default;
    virtual ~VKPort();
    VKPort(const VKPort&) = delete;
    VKPort& operator=(const VKPort&) = delete;

    // Opens `devicePath` for port number `portNumber` and makes the line raw,
    // 9600 baud 8E1. 0 or -1000.
    int OpenPort(int portNumber, const char* devicePath);
    // Ends every call waiting inside the port (with -1023), waits until it has
    // left, then restores the line settings found at opening and closes the
    // device; 0. Every later call on the port gives -1023.
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
    // Reads and drops `count` bytes as they come; false when the port was
    // closed meanwhile.
    bool discard(int count);
    // Reads and drops input for at most `windowUs`, ending once the line is
    // quiet again after something came; false when the port was closed meanwhile.
    bool dropLateReply(std::int64_t windowUs);
    void fire(std::uint32_t eventId, int state);
    termios currentSettings() const;

    // The device, -1 once closed. Written with ioMutex_ and lineMutex_ both
    // held; read with either.
    int fd_ = -1;
    // Signalled by ClosePort: ends every wait of a call inside the port.
    int wakeFd_ = -1;
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

    // Serialises transfers, the line changes "BAUD" and "FRAME", the flushes,
    // the modem-line writes and the close. First in the lock order; handlers run
    // under it.
    std::mutex ioMutex_;
    // Guards fd_ for the modem-line reads, which do not wait behind a transfer,
    // and for the close; taken after ioMutex_.
    std::mutex lineMutex_;
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
