// One reader connection: one port, one blocking command at a time.
#ifndef VKKRN_READER_H
#define VKKRN_READER_H

#include "exchange/port_api.h"
#include "reader/library_services.h"
#include "security/cipher_slot.h"
#include "tasks/thread_para.h"

#include <vkcommon/zero_pages.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

namespace vkkrn {
class TextWriter;
namespace listener {
class Session;
}
} // namespace vkkrn

class VKKRN_PlugIn;
struct _VKKRN_EVENT_INIT;
struct _VKKRN_INTERNAL_EVENT_INIT;
struct _VKKRN_TASK_INIT;

inline constexpr int kReaderBufferSize = 0x10001;
inline constexpr int kReaderTextSize = 197123;

class VKKRNReader {
  public:
    // `library`: the library that makes the reader, asked for the language, the
    // bound port functions, the plug-in claims and the library's last error; it
    // outlives the reader. The other arguments (reader handle, port type, device
    // id, port number, host text) are not used: the registry binds the port and
    // sets the handle afterwards. Reads "vkkrn.ini" from the working directory.
    VKKRNReader(vkkrn::LibraryServices& library, int readerHnd, int portType, unsigned int deviceId,
                unsigned int portNumber, char* hostText);
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
    // The frame mode (1 STANDARD, 2 ADVANCED) and the frame lock that keeps it
    // (set by an authentication) change together in one atomic word.
    void SetCommFrame(int mode) { changeFrameMode(mode, true); }
    int GetCommFrame() const { return frameState_.load() & kFrameModeMask; }
    void LockFrameMode(int mode) { frameState_.store((mode & kFrameModeMask) | kFrameLocked); }
    void UnlockFrameMode() { frameState_.fetch_and(kFrameModeMask); }
    bool IsFrameLocked() const { return (frameState_.load() & kFrameLocked) != 0; }
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

    // The application's stop flag (LOCKPROTTOAPP, VKKRN_SetStopFlag) and the one a
    // worker's stop sequence holds are kept apart; the reader is silent while
    // either is set.
    void SetStopFlag() { stopFlag_.store(1); }
    void ClearStopFlag() { stopFlag_.store(0); }
    unsigned char IsStopFlag() const { return stopFlag_.load() != 0 || workerStops_.load() > 0 ? 1 : 0; }
    // The active flag counts the log writes and deliveries under way on any thread.
    unsigned char GetActiveFlag() const { return activeFlag_.load() > 0 ? 1 : 0; }
    void SetActiveFlag() { activeFlag_.fetch_add(1); }
    void ClearActiveFlag() { activeFlag_.fetch_sub(1); }
    int GetLastError() const { return lastError_.load(); }
    void SetLastError(int code) { lastError_.store(code); }
    int GetBusyTimeout() const { return busyTimeout_.load(); }
    int GetRepeatCount() const { return repeatCount_.load(); }

    // Settings read at construction and the USB generation (0 first, 1 second).
    int GetLogLevel() const { return logLevel_.load(); }
    unsigned char GetLogFileFlag() const { return logFileFlag_.load(); }
    unsigned char GetNoTimestampFlag() const { return noTimestampFlag_.load(); }
    int GetUsbGeneration() const { return usbGeneration_.load(); }
    // A USB reader of the first generation, which takes only a few commands, in
    // a request form of its own. Port type and generation are atomics: no lock.
    bool IsFirstGenerationUsb() const { return portType_.load() == 1 && usbGeneration_.load() == 0; }
    bool IsTcpRecordRegistered() const { return tcpRecordRegistered_.load() != 0; }

    // The cipher of the authenticated channel; empty when none is active.
    vkkrn::CipherSlot& Cipher() { return cipher_; }
    // The installed port plug-in; the caller holds the command lock.
    VKKRN_PlugIn* PlugInLocked() const { return plugIn_; }

    // Frames: the caller holds the command lock. Data formats
    // as the frame exports take them; `out` holds 65,537 bytes.
    int BuildAsyncSndProtocol(unsigned char adr, unsigned char cmd, unsigned char* data, int n,
                              unsigned char* out, int format, bool wrap);
    int BuildAsyncRecProtocol(unsigned char adr, unsigned char cmd, unsigned char status, unsigned char* data,
                              int n, unsigned char* out, int format);
    int SplitAsyncSndProtocol(unsigned char* frame, int count, unsigned char* adr, unsigned char* cmd,
                              unsigned char* data, int* n, int format);
    int SplitAsyncRecProtocol(unsigned char* frame, int count, unsigned char* adr, unsigned char* cmd,
                              unsigned char* data, int* n, int format, bool unwrap);

    // Capture: the last frames, read back by callers without the command lock.
    void SetLastSendProt(const unsigned char* frame, int len);
    void SetLastRecProt(const unsigned char* frame, int len);
    int GetLastSendProt(unsigned char* out, int hex);
    int GetLastRecProt(unsigned char* out, int hex);
    int GetLastState(char* text);
    int GetLastRecProtLen();

    // Protocol lines to the log file and the protocol events (the caller holds
    // the command lock); diagnostic lines from any thread.
    void SendProtStrToApp(int len, bool b1, bool b2);
    void RecProtStrToLogDoc(int len, int result, bool b1, bool b2);
    // The same lines for a frame of a notification connection: marked "(S) " when
    // that connection is secured, whatever the reader's own channel holds.
    void ConnectionSendLine(int len, bool secured);
    void ConnectionReceiveLine(int len, int result, bool secured);
    void ErrorStrToLogDoc(int code);
    // A command's own failure (-4006 refusal, bad argument, bad hex, overflow):
    // `code` becomes the last error and its error line is composed in a buffer of
    // the call's own, so the caller need not hold the command lock. Returns code.
    int CommandFailure(int code);
    void StringToLogFile(const char* text, int level);
    void StringToLogFile(const char* text, int value, int level);
    // The send or receive line of the last frames into the protocol text: 0, or
    // -4010 (no frame sent), -4004 or -4002 (no port text for its code).
    int BuildLastSndStr(bool b1, bool b2);
    int BuildLastRecStr(bool b1, bool b2);
    // Writes the local date and time ("%x %X" and ".%03d" milliseconds).
    static char* VKGetDateTime(char* out);

    // ---- Transceive engine and transparent exchange. The caller of
    // Exe_Transceive holds the command lock and has put `*len` request data bytes
    // into DataBuffer(); the reply data come back there. The transparent methods
    // take the command lock themselves.
    int Exe_Transceive(unsigned char adr, unsigned char cmd, int mode, void* record, int* len,
                       bool* replyParsing);
    int Exe_SendTransparent(unsigned char* tx, int txLen, unsigned char* rx, int rxSize, int crc, int hex);
    int Exe_Transmit(unsigned char* tx, int txLen, int crc, int hex);
    int Exe_Receive(unsigned char* rx, int rxSize, int hex);
    unsigned char* DataBuffer() { return dataBuffer_.data(); }
    // The send line of the first `len` bytes of the send frame buffer, not handed
    // to the application as event 102 (SENDPROTTOAPP "0" for this line).
    void SendLineWithoutApp(int len);

    // ---- Reader commands: the bus address first, then the command's own
    // arguments. Each takes the command lock (see command_call.h) and returns the
    // reader's status byte (0 or more) or a negative code, also the last error.
    int Exe_0x18_Destroy(unsigned char adr, unsigned char mode, unsigned char* identifier,
                         unsigned char* code);
    int Exe_0x1A_Halt(unsigned char adr);
    int Exe_0x1B_ResetQuietBit(unsigned char adr);
    int Exe_0x1C_EASRequest(unsigned char adr);
    int Exe_0x1E_TableDataExchange(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                   unsigned char b4, unsigned char b5, unsigned char* data, int count,
                                   unsigned char* out, int* outLength);
    int Exe_0x1F_MAXDataExchange(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                 unsigned char* data, int count, unsigned char* out, int* outLength,
                                 int format);
    int Exe_0x21_ReadBuffer(unsigned char adr, unsigned char b, unsigned char* head, unsigned char* count,
                            unsigned char* out, int format);
    int Exe_0x22_ReadBuffer(unsigned char adr, int number, unsigned char* head, int* count,
                            unsigned char* out, int format);
    int Exe_0x31_ReadDataBufferInfo(unsigned char adr, unsigned char* first, unsigned char* second,
                                    unsigned char* third, int format);
    int Exe_0x32_ClearDataBuffer(unsigned char adr);
    int Exe_0x33_InitBuffer(unsigned char adr);
    int Exe_0x34_ForceNotifyTrigger(unsigned char adr, unsigned char b);
    int Exe_0x35_SoftwareTrigger(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                 unsigned int time);
    int Exe_0x52_GetBaud(unsigned char adr);
    // Sent to bus address 0. Status 0 ends the authenticated channel.
    int Exe_0x55_StartFlashLoader();
    int Exe_0x55_StartFlashLoaderEx(unsigned char adr);
    int Exe_0x63_CPUReset(unsigned char adr);
    int Exe_0x64_SystemReset(unsigned char adr, unsigned char b);
    int Exe_0x65_SoftVersion(unsigned char adr, unsigned char* out, int format);
    int Exe_0x66_ReaderInfo(unsigned char adr, unsigned char mode, unsigned char* out, int format);
    int Exe_0x68_FFT(unsigned char adr, unsigned char m1, unsigned char m2, unsigned char b3,
                     unsigned char b4, int count, long* values);
    int Exe_0x69_RFReset(unsigned char adr);
    int Exe_0x6A_RFOnOff(unsigned char adr, unsigned char b);
    int Exe_0x6B_InitNoiseThreshold(unsigned char adr);
    int Exe_0x6B_CentralizedRFSync(unsigned char adr, unsigned char a, unsigned char b, int time,
                                   unsigned char c, unsigned char d);
    int Exe_0x6C_SetNoiseLevel(unsigned char adr, unsigned char* levels, int format);
    int Exe_0x6D_GetNoiseLevel(unsigned char adr, unsigned char* out, int format);
    int Exe_0x6E_RdDiag(unsigned char adr, unsigned char mode, unsigned char* buffer);
    int Exe_0x6F_AntennaTuning(unsigned char adr);
    int Exe_0x71_SetOutput(unsigned char adr, int v1, int v2, int v3, int v4);
    int Exe_0x72_SetOutput(unsigned char adr, unsigned char mode, unsigned char count,
                           unsigned char* records);
    int Exe_0x74_ReadInput(unsigned char adr, unsigned char* out);
    int Exe_0x75_AdjAntenna(unsigned char adr, unsigned char* out, int format);
    int Exe_0x76_CheckAntennas(unsigned char adr, unsigned char b, unsigned char* out, int* outLength);
    int Exe_0x7A_WriteDisplay(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                              unsigned char b4, unsigned char b5, unsigned char length, char* text);
    int Exe_0x80_ReadConfBlock(unsigned char adr, unsigned char address, unsigned char* out, int format);
    int Exe_0x81_WriteConfBlock(unsigned char adr, unsigned char address, unsigned char* data, int format);
    int Exe_0x82_SaveConfBlock(unsigned char adr, unsigned char address);
    int Exe_0x83_ResetConfBlock(unsigned char adr, unsigned char address);
    int Exe_0x85_SetSysTimer(unsigned char adr, unsigned char* timer, int format);
    int Exe_0x86_GetSysTimer(unsigned char adr, unsigned char* out, int format);
    int Exe_0x87_SetSystemDate(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                               unsigned char b4, unsigned char b5, unsigned char b6, unsigned char b7,
                               int value);
    int Exe_0x88_GetSystemDate(unsigned char adr, unsigned char* d1, unsigned char* d2, unsigned char* d3,
                               unsigned char* d4, unsigned char* d5, unsigned char* d6, unsigned char* d7,
                               int* value);
    int Exe_0x8A_ReadConfiguration(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                   unsigned int value, unsigned char b5, unsigned char* blockCount,
                                   unsigned char* blockSize, unsigned char* out);
    int Exe_0x8B_WriteConfiguration(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                    unsigned char blockCount, unsigned char blockSize, unsigned char* data);
    int Exe_0x8C_ResetConfiguration(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                    unsigned int value, unsigned char b5);
    int Exe_0x9F_PiggybackCommand(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                  unsigned char* data, int count, unsigned char* out, int* outLength);
    int Exe_0xA0_RdLogin(unsigned char adr, unsigned char* login, int format);
    int Exe_0xA2_WriteMifareKeys(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char* key,
                                 int format);
    int Exe_0xA3_Write_DES_AES_Keys(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                    unsigned char keyLength, unsigned char* key, int format);
    int Exe_0xAD_WriteReaderAuthentKey(unsigned char adr, unsigned char b1, unsigned char b2,
                                       unsigned char keyLength, unsigned char* key, int format);
    // Reader authentication: on success the reader's exchanges run on the
    // authenticated channel (frame mode ADVANCED and locked). 0, the reader's
    // status, or a negative code; the frame mode and lock are restored on failure.
    int Exe_0xAE_ReaderAuthent(unsigned char adr, unsigned char first, unsigned char keyType,
                               unsigned char keyLength, unsigned char* key, int format);

    // ---- Transponder, transparent, SAM and card-crypto commands: the leading or
    // parameter bytes and the caller's request (hex text only with format 1) go
    // out; the reply data come back as bytes and a NUL with format 0, else as
    // "%02X" text. *replyLen is 0 on every failure.
    int Exe_0xB0_ISOCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                        int* replyLen, int format);
    int Exe_0xB2_ISOCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                        int* replyLen, int format);
    int Exe_0xB3_EPCCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                        int* replyLen, int format);
    int Exe_0xB1_ISOCustAndPropCmd(unsigned char adr, unsigned char lead, unsigned char* request, int len,
                                   unsigned char* reply, int* replyLen, int format);
    int Exe_0xB5_ISOCustAndPropCmd(unsigned char adr, unsigned char lead, unsigned char* request, int len,
                                   unsigned char* reply, int* replyLen, int format);
    int Exe_0xB4_EPC_UHF_Cmd(unsigned char adr, unsigned char lead, unsigned char* request, int len,
                             unsigned char* reply, int* replyLen, int format);
    int Exe_0xFE_Transceive(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                            int* replyLen);
    int Exe_0xBB_C1G2_TranspCmd(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char b3,
                                unsigned int value1, unsigned int value2, unsigned char* request,
                                unsigned int len, unsigned char* reply, unsigned int* replyLen);
    int Exe_0xBD_ISOTranspCmd(unsigned char adr, int mode, int value, unsigned char* request, int len,
                              unsigned char* reply, int* replyLen, int format);
    int Exe_0xBE_ISOTranspCmd(unsigned char adr, int mode, int value, unsigned char* request, int len,
                              unsigned char* reply, int* replyLen, int format);
    int Exe_0xBF_ISOTranspCmd(unsigned char adr, int mode, int value, unsigned char* request, int len,
                              unsigned char* reply, int* replyLen, int format);
    // The port's "Timeout" is 100 x `timeout` ms for the exchange, then restored.
    int Exe_0xC0_SAMCmd_Sync(unsigned char adr, int slot, int timeout, unsigned char* request, int len,
                             unsigned char* reply, int* replyLen);
    // `field`: three bytes, or six hex characters with format 1.
    int Exe_0xC1_DESFireCmd(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char* field,
                            unsigned char b4, unsigned char* request, int len, unsigned char* reply,
                            int* replyLen, int format);
    int Exe_0xC2_MifarePlusCmd(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char* request,
                               int len, unsigned char* reply, int* replyLen, int format);
    int Exe_0xC3_DESFireCmd(unsigned char adr, unsigned char b1, unsigned char b2, unsigned char* request,
                            int len, unsigned char* reply, int* replyLen, int format);

    // ---- Event handlers: 0 or a negative code, also stored as the last error.
    int AddEventHandler(const _VKKRN_EVENT_INIT* record);
    int DelEventHandler(const _VKKRN_EVENT_INIT* record);
    int AddEventHandlerEx(const _VKKRN_INTERNAL_EVENT_INIT* record);
    int DelEventHandlerEx(const _VKKRN_INTERNAL_EVENT_INIT* record);
    // True when this thread is inside a handler of this reader, where a command,
    // Add or Del of this reader would deadlock on its own locks: stores -4032.
    bool RefuseReentry();
    // ---- Worker threads (reader_tasks.cpp, reader_scan.cpp). The reader owns
    // each thread and joins it once: at the next start, cancel, scan removal or
    // teardown, never from the thread itself and never holding a lock it takes.
    // The scan-mode thread: 0, -4080 while one runs, -4081 when none starts.
    int StartThreadScanMode();
    void RemoveThreadScanMode();
    // Asynchronous tasks: 0 or a negative code, also the reader's last error.
    int StartThreadAsyncTask(int taskId, const _VKKRN_TASK_INIT* init, void* ignored);
    int RemoveThreadAsyncTask();
    int TriggerAsyncTask();
    unsigned char GetAsyncTaskTriggerFlag() const { return triggerFlag_.load(); }
    // The reader's copy of the last task's record (null before the first task);
    // to be read only while no task runs.
    const _VKKRN_TASK_INIT* TaskRecord() const { return taskRecord_.get(); }
    void ResetAsyncTaskTriggerFlag() { triggerFlag_.store(0); }
    int Exe_0xBC_CmdQueue(int first, int second, unsigned char* data, int len, const _VKKRN_TASK_INIT* init);
    int Exe_0xC0_SAMCmd(int slot, unsigned char* data, int len, const _VKKRN_TASK_INIT* init);
    // True on a worker thread of this reader (its callbacks and handlers).
    bool OnOwnWorker() const;
    // Stops and joins both workers, waiting out a callback; afterwards the reader
    // starts no thread (-4081). For deletion, holding no lock.
    void StopWorkers();

    // Raises an event to the application's handlers of this reader, in
    // registration order, under the event-list lock.
    void ExecNotification(int event, const unsigned char* data, int len, int value);
    // Internal observer of the raised events, for tests; unset in production.
    using NotificationObserver =
        std::function<void(int event, const unsigned char* data, int len, int value)>;
    void SetNotificationObserver(NotificationObserver observer);

    // Parameters by upper-cased key: 0 or a negative code.
    int SetReaderPara(const char* key, const char* value);
    int GetReaderPara(const char* key, char* value);
    // Port parameters through the port library of the port handle's type (0 and
    // no call for other types); the result becomes the last error.
    int SetPortPara(const char* key, const char* value);
    int GetPortPara(const char* key, char* value);

    // Called for every reader on a socket when the TCP port library reports its
    // disconnection (any thread, under that library's registry lock and the
    // fan-out's leaf lock, see tcp_fan_out.h): ends the authenticated channel.
    // Takes no lock of the reader.
    static void cbsTcpEvent(void* reader, int socketHnd, int event, int value);

  private:
    static constexpr int kFrameModeMask = 0xFF;
    static constexpr int kFrameLocked = 0x100;

    // The code a negative result's text comes from in a log line.
    struct LogErrorText {
        const char* text = nullptr; // null: no text
        bool fromPort = false;      // a port library's text
    };
    static constexpr std::size_t kPortTextSize = 512;

    // Engine steps (command lock held).
    static constexpr int kSecuredEnded = 0x7FFFFFFE;  // the reader answered 0x82: the channel is over
    static constexpr int kSecuredStatus = 0x7FFFFFFF; // the reader answered 0x19
    int receiveFailure(int len, int code);
    // Puts the reply frame in the receive frame buffer under `cmd` (new CRC).
    void putUnderCommand(unsigned char cmd, int count);
    bool busAddressDiffers(unsigned char requested, unsigned char received) const;
    // Exchanges the send frame (`frameLen` bytes) wrapped in 0xAF through `plugIn`:
    // the plain reply frame's length in the receive frame buffer (> 0), a
    // negative code (stored and logged), kSecuredEnded when the channel ended
    // with 0x82 (send in plain now), or kSecuredStatus when the reader answered
    // 0x19 (its frame is in the receive frame buffer under `cmd`, its length in
    // *count). A wrapped reply above `replyLimit` bytes gives -4070.
    int exchangeSecured(VKKRN_PlugIn* plugIn, const std::shared_ptr<VKKRN_CryptoPlugIn>& cipher,
                        unsigned char adr, unsigned char cmd, int frameLen, int replyLimit, int* count);
    // Deciphers the data of a reply to 0xAF (`n` bytes) into its inner frame at
    // `out`: the frame's length (1 or more), the cipher's code, or -4030 when the
    // reply carries no frame (no data: the reader could not read the request, and
    // the two ends are out of step) or more than a frame buffer holds. Neither
    // stored nor logged.
    static int decipherInner(VKKRN_CryptoPlugIn& cipher, const unsigned char* data, int n,
                             unsigned char* out);
    // Copies or hex-decodes a caller's frame into the send frame buffer and
    // appends the CRC: its length, or a negative code (stored).
    // One unwrapped 0xAE exchange of the authentication: 0 with the reply data in
    // the data buffer (*replyLength bytes), the reader's status, or a negative code
    // (stored and logged).
    int authentExchange(VKKRN_PlugIn* plugIn, unsigned char adr, unsigned char* data, int n,
                        int* replyLength);
    int takeCallerFrame(const unsigned char* tx, int txLen, int crc, int hex, bool crcOnEveryPort);
    int writeCallerReply(unsigned char* rx, int count, int hex);
    void dispatch(int event, const unsigned char* data, int len, int value);
    // Handler list changes under the event-list lock; `logPrefix` names the Java
    // form's diagnostic lines (null: the native form writes none).
    int addHandler(const _VKKRN_INTERNAL_EVENT_INIT& entry, const char* logPrefix);
    int removeHandler(const _VKKRN_INTERNAL_EVENT_INIT& entry, const char* logPrefix);
    int javaFlagCheck(const _VKKRN_INTERNAL_EVENT_INIT* record, const char* prefix);
    void logAbout(const char* prefix, const char* what);

    // Sets the frame mode unless the lock is set (or `force`); false when locked.
    bool changeFrameMode(int mode, bool force);
    bool changeFrameModeUnlocked(int mode) { return changeFrameMode(mode, false); }
    int failLogged(int code);
    int storeResult(int rc);
    const char* lineStamp(char* buffer) const;
    int logErrorText(int code, bool usbSystemCodes, char* portText, LogErrorText& out) const;
    void writeLogLine(const char* line, std::size_t length);
    // Composes the error line of `code` in `buffer` and hands it out: 0, or the
    // code of a port text that could not be had (no line then).
    int errorLine(int code, char* buffer, std::size_t capacity);
    void toLogFileAndApp(const char* text, std::size_t length, int event, int value,
                         const unsigned char* frame, int frameLength, int frameEvent);
    void sendProtocolLine(int len, bool secured);
    void receiveProtocolLine(int len, int result, bool secured);
    int composeLastSend(char* out, std::size_t capacity, bool secured);
    int composeLastReceive(vkkrn::TextWriter& line, bool secured);
    void diagnosticLine(const char* text, std::optional<int> value, int level);
    std::atomic<unsigned char>* switchOf(std::string_view key);
    int setFrameSupport(const char* value);
    int setPortHandle(int handle);
    int portPara(const char* key, char* value, bool get);

    // Releases the current plug-in: built-in ones are cleaned up and deleted,
    // library ones released as PlugIn_Remove does. Command lock held (or unshared).
    void releasePlugInLocked();
    // PlugIn_Remove's work without the checks: 0 or the release result.
    int removeLibraryPlugInLocked();
    void registerTcpRecord();
    void unregisterTcpRecord();
    void stopWorkerThreads();
    void freeEventHandlers();

    // Worker steps (reader_tasks.cpp, reader_scan.cpp).
    struct TaskBuffers;
    int startTaskLocked(int taskId, const _VKKRN_TASK_INIT* init);
    int waitForTaskEnd();
    void joinWorker(std::thread& thread);
    void stopSequence(_VKKRN_STRUCT_THREAD_PARA& para, std::thread& thread);
    void ClearThreadAsyncTask();
    void wakeWorkers();
    // Sleeps up to `period`, less when woken: true when the stop request (or,
    // with `trigger`, the trigger flag) is set.
    bool pauseWorker(const _VKKRN_STRUCT_THREAD_PARA& para, std::chrono::milliseconds period, bool trigger);
    int sendAsyncRequest(unsigned char cmd, int taskId, const unsigned char* head, int headLen,
                         const unsigned char* data, int len, const _VKKRN_TASK_INIT* init);
    void threadAsyncInventory();
    void threadAsyncRead();
    void threadScanMode();
    // The notification listener (reader_listener.cpp).
    void threadNotification();
    int serveListenerConnection(vkkrn::listener::Session& session, int fd, unsigned char* buffer);
    void closeListenerConnection(int fd, int number);
    // A connection left open when its listener stopped (keep-connection not 0):
    // the reader holds the newest one and closes it when it dies.
    void keepConnection(int fd);
    void closeKeptConnection();
    // Marks a reader's status in the outer frame of an authenticated reply (not
    // 0: 0x82 ended the channel, 0x19, ...), returned in place of a length.
    static constexpr int kSecuredOuterStatus = 0x40000000;
    // Writes `code` to the protocol log under the command lock (taken if needed,
    // released afterwards) unless the reader is stopped.
    void logTaskError(std::unique_lock<std::mutex>& lock, int code);
    // A task record this thread cannot serve (callback variant not 1: `variantCode`;
    // no callback: -4002) ends the thread with the code logged and no callback.
    bool refuseTaskRecord(std::unique_lock<std::mutex>& lock, int variantCode);
    void taskFailure(TaskBuffers& buffers, std::unique_lock<std::mutex>& lock, int code);
    // One receive attempt under the command lock with the port's "Timeout" set to
    // `timeout` and restored: the plain frame's length in the reply buffer, 0 for
    // none (a time-out), a negative code, or kSecuredOuterStatus | status.
    int receiveTaskFrame(TaskBuffers& buffers, const char* timeout);
    // The 0xAF frame in the wrapped buffer to the plain frame in the reply buffer.
    int unwrapTaskFrame(TaskBuffers& buffers, int count, const std::shared_ptr<VKKRN_CryptoPlugIn>& cipher);
    int splitTaskFrame(TaskBuffers& buffers, int count, int* dataLen);
    int awaitTaskFrame(TaskBuffers& buffers, std::unique_lock<std::mutex>& lock, const char* timeout,
                       std::chrono::microseconds span);
    // Splits, stores and logs the reply, unlocks and calls back; false when the
    // task failed (and ended).
    bool deliverTaskReply(TaskBuffers& buffers, std::unique_lock<std::mutex>& lock, int count);
    void resetUsbPipe();

    vkkrn::LibraryServices& library_;
    VKKRN_PlugIn* plugIn_ = nullptr; // owned as its origin says; guarded by commandMutex_
    vkkrn::CipherSlot cipher_;
    // Lock order: the registry lock, then this; before the buffer lock, the
    // event-list lock and the port libraries' locks.
    std::mutex commandMutex_;
    // Lock order: after the command and buffer locks, before the port libraries'.
    std::mutex eventListMutex_;
    std::vector<_VKKRN_INTERNAL_EVENT_INIT*> eventHandlers_; // owned copies; guarded by eventListMutex_
    NotificationObserver notificationObserver_;              // guarded by eventListMutex_
    // Guards the captured frames (send and receive frame buffers), the last
    // lengths, result, status and bus address, and the log file name. A leaf,
    // held only while they are copied.
    mutable std::mutex captureMutex_;
    std::FILE* logStream_ = nullptr; // open only while one log line is written
    _VKKRN_STRUCT_THREAD_PARA scanThreadPara_;
    _VKKRN_STRUCT_THREAD_PARA taskThreadPara_;
    std::thread scanThread_;                       // guarded by workerMutex_
    std::thread taskThread_;                       // guarded by workerMutex_
    std::unique_ptr<_VKKRN_TASK_INIT> taskRecord_; // the running task's copy; written before its start
    // Serialises task start, cancel and teardown (held while they join the task
    // thread, which never takes it).
    std::mutex taskControlMutex_;
    // Guards the thread objects; a leaf.
    std::mutex workerMutex_;
    // Wakes a pausing worker on a stop or a trigger; a leaf.
    std::mutex wakeMutex_;
    std::condition_variable wakeCondition_;
    std::atomic<bool> taskThreadSet_{false}; // the task-thread "handle"
    std::atomic<bool> scanThreadSet_{false};
    std::atomic<bool> deleting_{false};
    std::atomic<int> workerStops_{0}; // stop sequences under way
    std::atomic<unsigned char> triggerFlag_{0};
    std::atomic<int> keptConnection_{-1};
    std::atomic<unsigned char> tcpRecordRegistered_{0};
    std::atomic<int> tcpRegistrationHandle_{0};
    std::atomic<int> portType_{255};
    std::atomic<int> frameState_{1}; // frame mode | kFrameLocked
    std::atomic<int> usbGeneration_{0};
    std::atomic<unsigned char> aliveFlag_{1};
    std::atomic<int> activeFlag_{0};
    std::atomic<unsigned char> stopFlag_{0};
    std::atomic<int> readerHandle_{0};
    std::atomic<int> lastError_{0};
    // The fixed buffers: every byte reads as zero until written, and only the
    // pages an exchange has written cost memory.
    vk::ZeroPages<unsigned char> dataBuffer_{kReaderBufferSize};
    vk::ZeroPages<unsigned char> sendFrame_{kReaderBufferSize};
    vk::ZeroPages<unsigned char> receiveFrame_{kReaderBufferSize};
    vk::ZeroPages<unsigned char> wrapData_{kReaderBufferSize};
    vk::ZeroPages<unsigned char> wrappedRequest_{kReaderBufferSize};
    vk::ZeroPages<unsigned char> wrappedReply_{kReaderBufferSize};
    char scratchText_[128] = {};
    char logLine_[512] = {};
    vk::ZeroPages<char> protocolText_{kReaderTextSize};
    vk::ZeroPages<char> hexText_{kReaderTextSize};
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
