// The scan-mode thread: it reads what a reader in scan mode sends unasked and
// hands it to the reader's event-4 handlers. Started by the registration of an
// event-4 handler (under the event-list lock), which returns once the thread
// has put the port in scan mode, and stopped after its removal has released
// that lock. The thread takes no command lock, only the event-list lock
// of each delivery.
#include "exchange/port_api.h"
#include "reader/reader.h"
#include "tasks/worker_start.h"
#include "texts/error_codes.h"

#include <vkkrn_codec/hex.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <thread>

namespace {

using namespace vkkrn;

constexpr int kStartStopLevel = 8;
constexpr int kScanLevel = 4;
constexpr int kScanEvent = 4;
constexpr int kScanBufferSize = 8096;
constexpr int kHexBufferSize = 3 * kScanBufferSize + 1;
constexpr int kSerialTimeout = -1030;
constexpr int kTcpTypeBit = 0x20000000;
constexpr auto kPortTakeOverWait = std::chrono::seconds(1);

using PortCmdFn = int (*)(int, char*, char*);
using ReceiveFn = int (*)(int, std::uint8_t*, int);

struct ScanFunction {
    int id;
    const char* name;
};

constexpr ScanFunction kScanFunctions[] = {
    {1025, "lpfnDoPortCmd"},
    {1023, "lpfnGetPortPara"},
    {1024, "lpfnSetPortPara"},
    {1032, "lpfnComReceive"},
};

// "%02X " per byte.
int toHexText(const unsigned char* data, int n, unsigned char* out) {
    using vkkrn::codec::kHexDigits;
    for (int i = 0; i < n; ++i) {
        out[3 * i] = static_cast<unsigned char>(kHexDigits[data[i] >> 4]);
        out[3 * i + 1] = static_cast<unsigned char>(kHexDigits[data[i] & 0x0F]);
        out[3 * i + 2] = ' ';
    }
    out[3 * n] = '\0';
    return 3 * n;
}

} // namespace

int VKKRNReader::StartThreadScanMode() {
    {
        std::lock_guard<std::mutex> lock(workerMutex_);
        if (scanThreadSet_.load()) {
            StringToLogFile("StartThreadScanMode: Scan Thread is still running", kStartStopLevel);
            return kErrTaskRunning;
        }
        scanThreadPara_.Init();
        scanThreadPara_.reader = this;
        std::thread thread;
        if (deleting_.load() || !startWorkerThread(thread, [this] { threadScanMode(); })) {
            StringToLogFile("StartThreadScanMode: start Scan Thread failed", kStartStopLevel);
            return kErrTaskNotStarted;
        }
        scanThread_ = std::move(thread);
        scanThreadSet_.store(true);
    }
    // The thread flushes the input queue when it takes over the port: return
    // once it has, so that nothing the reader sends after this is thrown away.
    // Bounded, in case the caller holds up the port (a port event's callback).
    const auto deadline = std::chrono::steady_clock::now() + kPortTakeOverWait;
    while (scanThreadPara_.started.load() == 0 && scanThreadPara_.startFailed.load() == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
}

void VKKRNReader::RemoveThreadScanMode() {
    if (!scanThreadSet_.load()) {
        StringToLogFile("RemoveThreadScanMode: Scan Thread is not running", kStartStopLevel);
        return;
    }
    stopSequence(scanThreadPara_, scanThread_);
    scanThreadSet_.store(false);
}

void VKKRNReader::threadScanMode() {
    const WorkerMark mark(this);
    char line[128];
    std::snprintf(line, sizeof line, "VKKRN V%s : Enter VKKRN_ThreadScanMode", "07.04.01");
    StringToLogFile(line, kScanLevel);

    void* functions[4] = {};
    for (int i = 0; i < 4; ++i) {
        functions[i] = library_.BoundPortFunction(kScanFunctions[i].id);
        if (functions[i] == nullptr) {
            library_.SetLastError(kErrNullPointer);
            std::snprintf(line, sizeof line, "VKKRN_ThreadScanMode: %s == NULL (error %d)",
                          kScanFunctions[i].name, kErrNullPointer);
            StringToLogFile(line, kScanLevel);
            scanThreadPara_.startFailed.store(1);
            return;
        }
    }
    const auto portCmd = reinterpret_cast<PortCmdFn>(functions[0]);
    const auto getPara = reinterpret_cast<PortCmdFn>(functions[1]);
    const auto setPara = reinterpret_cast<PortCmdFn>(functions[2]);
    const auto receive = reinterpret_cast<ReceiveFn>(functions[3]);
    _VKKRN_STRUCT_THREAD_PARA& para = scanThreadPara_;

    const int port = GetPortHnd();
    char timeoutKey[] = "Timeout";
    char framingKey[] = "UseNUBO";
    char flushCmd[] = "FlushInQ";
    char empty[] = "";
    char saved[256] = {};
    const bool read = getPara(port, timeoutKey, saved) == 0;
    saved[sizeof saved - 1] = '\0';
    char scanTimeout[] = "10";
    char off[] = "0";
    setPara(port, timeoutKey, scanTimeout);
    setPara(port, framingKey, off);
    portCmd(port, flushCmd, empty);
    para.started.store(1);

    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[kScanBufferSize]);
    std::unique_ptr<unsigned char[]> hex(new (std::nothrow) unsigned char[kHexBufferSize]);
    if (!data || !hex) library_.SetLastError(kErrNoMemory);
    while (data && hex && para.stopRequest.load() == 0) {
        int n = receive(port, data.get(), kScanBufferSize);
        if (n > kScanBufferSize) n = kScanBufferSize;
        if (n > 0 && IsStopFlag() == 0) {
            SetActiveFlag();
            const unsigned char* out = data.get();
            int len = n;
            if (convHexToStringFlag_.load() != 0) {
                len = toHexText(data.get(), n, hex.get());
                out = hex.get();
            }
            std::snprintf(line, sizeof line, "VKKRN_ThreadScanMode: RecLen=%d", len);
            StringToLogFile(line, kScanLevel);
            if (IsStopFlag() == 0) ExecNotification(kScanEvent, out, len, len);
            ClearActiveFlag();
        }
        if (n < 0 && n != kSerialTimeout && (port & kTcpTypeBit) == 0) portCmd(port, flushCmd, empty);
        pauseWorker(para, std::chrono::milliseconds(1), false);
    }

    if (read) setPara(port, timeoutKey, saved);
    char on[] = "1";
    setPara(port, framingKey, on);
    StringToLogFile("Leave VKKRN_ThreadScanMode", kScanLevel);
}
