// One reader connection: one port, one blocking command at a time.
#ifndef VKKRN_READER_H
#define VKKRN_READER_H

#include "cipher_slot.h"
#include "port_api.h"
#include "thread_para.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

class VKKRN_PlugIn;
struct _VKKRN_INTERNAL_EVENT_INIT;

inline constexpr int kReaderBufferSize = 0x10001;
inline constexpr int kReaderTextSize = 197123;

class VKKRNReader {
  public:
    // The arguments (reader handle, port type, device id, port number, host text)
    // are not used: the registry binds the port and sets the handle afterwards.
    // Reads "vkkrn.ini" from the working directory.
    VKKRNReader(int readerHnd, int portType, unsigned int deviceId, unsigned int portNumber, char* host);
    // Unregisters the TCP disconnection handler, stops the worker threads,
    // releases the port plug-in and the cipher, frees the event handlers.
    virtual ~VKKRNReader();
    VKKRNReader(const VKKRNReader&) = delete;
    VKKRNReader& operator=(const VKKRNReader&) = delete;

    // The command lock: one exchange at a time. Not recursive.
    [[nodiscard]] std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(commandMutex_); }
    // The event-list lock: held while handlers are added, removed or called.
    [[nodiscard]] std::unique_lock<std::mutex> LockEventList() {
        return std::unique_lock<std::mutex>(eventListMutex_);
    }

    // Binds a port handle: decides the USB generation ("DeviceName"), switches a
    // serial port to length-field framing ("UseNUBO" "1"), stores the handle.
    // Port functions that cannot be bound skip their step.
    void SetPortHnd(int portHnd);
    int GetPortHnd() const { return portHandle_.load(); }
    // Replaces the port plug-in by the one of `mode` (0 serial, 1 USB, 2 TCP, 7 an
    // installed plug-in to come): 0, -4003 when none could be made, -4004 for
    // another mode (port type 255, no plug-in). Registers the TCP disconnection
    // handler in mode 2. The caller holds the command lock, or the reader is not
    // yet shared.
    int SetCommMode(int mode);
    int GetCommMode() const { return portType_.load(); }
    void SetCommFrame(int mode) { frameMode_.store(mode); }
    int GetCommFrame() const { return frameMode_.load(); }
    void SetReaderHnd(int handle) { readerHandle_.store(handle); }
    int GetReaderHnd() const { return readerHandle_.load(); }

    // External port plug-in. Each takes the command lock.
    int PlugIn_Install(void* plugIn);
    int PlugIn_Remove();
    int PlugIn_OpenPort(char* para);
    int PlugIn_ClosePort();
    int PlugIn_GetPortPara(char* key, char* value);
    int PlugIn_SetPortPara(char* key, char* value);
    int PlugIn_GetDLLVersion(char* version);
    int PlugIn_GetErrorText(int code, char* text);

    void SetStopFlag() { stopFlag_.store(1); }
    void ClearStopFlag() { stopFlag_.store(0); }
    unsigned char IsStopFlag() const { return stopFlag_.load(); }
    unsigned char GetActiveFlag() const { return activeFlag_.load(); }
    void SetActiveFlag() { activeFlag_.store(1); }
    void ClearActiveFlag() { activeFlag_.store(0); }
    int GetLastError() const { return lastError_.load(); }
    void SetLastError(int code) { lastError_.store(code); }
    int GetBusyTimeout() const { return busyTimeout_.load(); }
    int GetRepeatCount() const { return repeatCount_.load(); }

    // Settings read at construction and the USB generation (0 first, 1 second).
    int GetLogLevel() const { return logLevel_.load(); }
    unsigned char GetLogFileFlag() const { return logFileFlag_.load(); }
    unsigned char GetNoTimestampFlag() const { return noTimestampFlag_.load(); }
    int GetUsbGeneration() const { return usbGeneration_.load(); }
    bool IsTcpRecordRegistered() const { return tcpRecordRegistered_.load() != 0; }

    // The cipher of the authenticated channel; empty when none is active.
    vkkrn::CipherSlot& Cipher() { return cipher_; }
    // The installed port plug-in; the caller holds the command lock.
    VKKRN_PlugIn* PlugInLocked() const { return plugIn_; }

    // Called by the TCP port library when the reader's socket disconnects (any
    // thread, under that library's registry lock): ends the authenticated channel.
    // Takes no lock of the reader.
    static void cbsTcpEvent(void* reader, int socketHnd, int event, int value);

  private:
    // Releases the current plug-in: built-in ones are cleaned up and deleted,
    // library ones released as PlugIn_Remove does. Command lock held (or unshared).
    void releasePlugInLocked();
    // PlugIn_Remove's work without the checks: 0 or the release result.
    int removeLibraryPlugInLocked();
    void registerTcpRecord();
    void unregisterTcpRecord();
    void stopWorkerThreads();
    void freeEventHandlers();

    VKKRN_PlugIn* plugIn_ = nullptr; // owned as its origin says; guarded by commandMutex_
    vkkrn::CipherSlot cipher_;
    // Lock order: the registry lock, then this; before the buffer lock, the
    // event-list lock and the port libraries' locks.
    std::mutex commandMutex_;
    // Lock order: after the command and buffer locks, before the port libraries'.
    std::mutex eventListMutex_;
    std::vector<_VKKRN_INTERNAL_EVENT_INIT*> eventHandlers_; // owned copies; guarded by eventListMutex_
    std::FILE* logStream_ = nullptr;                         // open only while one log line is written
    _VKKRN_STRUCT_THREAD_PARA scanThreadPara_;
    _VKKRN_STRUCT_THREAD_PARA taskThreadPara_;
    std::thread scanThread_;
    std::thread taskThread_;
    std::atomic<unsigned char> triggerFlag_{0};
    _VKTCP_EVENT_INIT tcpEventRecord_{};
    std::atomic<unsigned char> tcpRecordRegistered_{0};
    std::atomic<int> tcpRegistrationHandle_{0};
    std::atomic<int> portType_{255};
    std::atomic<int> frameMode_{1};
    std::atomic<int> usbGeneration_{0};
    std::atomic<unsigned char> aliveFlag_{1};
    std::atomic<unsigned char> activeFlag_{0};
    std::atomic<unsigned char> stopFlag_{0};
    std::atomic<unsigned char> frameLock_{0};
    std::atomic<int> readerHandle_{0};
    std::atomic<int> lastError_{0};
    unsigned char dataBuffer_[kReaderBufferSize] = {};
    unsigned char sendFrame_[kReaderBufferSize] = {};
    unsigned char receiveFrame_[kReaderBufferSize] = {};
    unsigned char wrapData_[kReaderBufferSize] = {};
    unsigned char wrappedRequest_[kReaderBufferSize] = {};
    unsigned char wrappedReply_[kReaderBufferSize] = {};
    char scratchText_[128] = {};
    char logLine_[512] = {};
    char protocolText_[kReaderTextSize] = {};
    char hexText_[kReaderTextSize] = {};
    int lastSendLength_ = 0;
    int lastReceiveLength_ = 0;
    int lastReceiveResult_ = 0;
    unsigned char lastStatus_ = 0;
    unsigned char lastReceivedBusAddress_ = 0;
    char logFileName_[257] = {};
    std::atomic<int> logLevel_{1};
    std::atomic<int> portHandle_{0};
    std::atomic<unsigned char> logProtFlag_{0};
    std::atomic<unsigned char> logFileFlag_{0};
    std::atomic<unsigned char> noTimestampFlag_{0};
    std::atomic<unsigned char> sendProtToAppFlag_{0};
    std::atomic<int> busyTimeout_{5};
    std::atomic<int> repeatCount_{1};
    std::atomic<unsigned char> chkRecBusAdrFlag_{0};
    std::atomic<unsigned char> convHexToStringFlag_{0};
};

#endif
