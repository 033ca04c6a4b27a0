// Asynchronous tasks of a reader: start, cancel and trigger; the inventory
// thread (tasks 1 and 2); the reply reader (tasks 4 and 5); and the commands 0xBC
// and 0xC0, which send their request and leave the reply to the reply reader.
//
// The reader owns its task thread and joins it once, at the next start, a cancel
// or the teardown, never from the thread itself. Start, cancel and teardown are
// serialised by the task-control lock, which the thread never takes, so they may
// hold it while they join. The thread takes the command lock for each receive
// attempt and for storing and logging a reply, and calls back without it.
#include "exchange/port_api.h"
#include "reader/reader.h"
#include "security/crypto_plugin.h"
#include "tasks/task_key.h"
#include "tasks/worker_start.h"
#include "texts/error_codes.h"

#include <vkkrn.h>
#include <vkkrn_plugin.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

using namespace vkkrn;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kTaskLevel = 2;
constexpr unsigned char kCmdInventory = 0xB0;
constexpr unsigned char kCmdSam = 0xC0;
constexpr unsigned char kCmdQueue = 0xBC;
constexpr unsigned char kCmdSecured = 0xAF;
constexpr unsigned char kCmdNotify = 0x22;
constexpr unsigned char kCmdMessage = 0x1F;
constexpr unsigned char kCmdBusMessage = 0x77;
constexpr int kMaxQueueData = 65526;
constexpr int kIdDoPortCmd = 1025;
constexpr int kPollPeriodMs = 10;
constexpr int kBusyWaits = 3;
constexpr auto kBusyWait = 100ms;

using DoPortCmdFn = int (*)(int, char*, char*);

bool isReceiveTimeout(int code) {
    return code == -1030 || code == -1130 || code == -1230;
}

char* chars(unsigned char* p) {
    return reinterpret_cast<char*>(p);
}

} // namespace

// Buffers of one task thread, on the heap.
struct VKKRNReader::TaskBuffers {
    std::unique_ptr<unsigned char[]> reply{new (std::nothrow) unsigned char[kReaderBufferSize]};
    std::unique_ptr<unsigned char[]> data{new (std::nothrow) unsigned char[kReaderBufferSize]};
    std::unique_ptr<unsigned char[]> wrapped{new (std::nothrow) unsigned char[kReaderBufferSize]};
    std::unique_ptr<unsigned char[]> frame{new (std::nothrow) unsigned char[kReaderBufferSize]};
    bool complete() const { return reply && data && wrapped && frame; }
};

bool VKKRNReader::OnOwnWorker() const {
    return currentWorkerOf() == this;
}

void VKKRNReader::wakeWorkers() {
    { std::lock_guard<std::mutex> lock(wakeMutex_); }
    wakeCondition_.notify_all();
}

bool VKKRNReader::pauseWorker(const _VKKRN_STRUCT_THREAD_PARA& para, std::chrono::milliseconds period,
                              bool trigger) {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    return wakeCondition_.wait_for(
        lock, period, [&] { return para.stopRequest.load() != 0 || (trigger && triggerFlag_.load() != 0); });
}

void VKKRNReader::joinWorker(std::thread& thread) {
    std::thread owned;
    {
        std::lock_guard<std::mutex> lock(workerMutex_);
        owned.swap(thread);
    }
    if (!owned.joinable()) return;
    // exit() in a callback tears the readers down on that very worker.
    if (owned.get_id() == std::this_thread::get_id())
        owned.detach();
    else
        owned.join();
}

void VKKRNReader::stopSequence(_VKKRN_STRUCT_THREAD_PARA& para, std::thread& thread) {
    {
        std::lock_guard<std::mutex> lock(workerMutex_);
        if (!thread.joinable()) return;
    }
    workerStops_.fetch_add(1);
    for (int i = 0; i < 10 && GetActiveFlag() != 0; ++i)
        std::this_thread::sleep_for(10ms);
    para.stopRequest.store(1);
    wakeWorkers();
    joinWorker(thread);
    workerStops_.fetch_sub(1);
}

void VKKRNReader::ClearThreadAsyncTask() {
    if (taskThreadSet_.exchange(false)) StringToLogFile("Finish notification thread\r\n", kTaskLevel);
}

void VKKRNReader::StopWorkers() {
    deleting_.store(true);
    {
        std::lock_guard<std::mutex> control(taskControlMutex_);
        taskThreadPara_.stopRequest.store(1);
        stopSequence(taskThreadPara_, taskThread_);
        ClearThreadAsyncTask();
    }
    scanThreadPara_.stopRequest.store(1);
    stopSequence(scanThreadPara_, scanThread_);
    scanThreadSet_.store(false);
    closeKeptConnection();
}

int VKKRNReader::waitForTaskEnd() {
    for (int i = 0; i < kBusyWaits && taskThreadSet_.load(); ++i)
        std::this_thread::sleep_for(kBusyWait);
    return taskThreadSet_.load() ? kErrTaskRunning : 0;
}

int VKKRNReader::StartThreadAsyncTask(int taskId, const _VKKRN_TASK_INIT* init, void* /*ignored*/) {
    if (RefuseReentry()) return kErrBusy;
    std::lock_guard<std::mutex> control(taskControlMutex_);
    return storeResult(startTaskLocked(taskId, init));
}

int VKKRNReader::startTaskLocked(int taskId, const _VKKRN_TASK_INIT* init) {
    if (deleting_.load()) return kErrTaskNotStarted;
    if (const int rc = waitForTaskEnd()) return rc;
    joinWorker(taskThread_); // a task that ended by itself

    if (!taskRecord_) {
        taskRecord_.reset(new (std::nothrow) _VKKRN_TASK_INIT{});
        if (!taskRecord_) return kErrNoMemory;
    }
    _VKKRN_TASK_INIT& rec = *taskRecord_;
    rec = _VKKRN_TASK_INIT{};
    rec.pAny = init->pAny;
    rec.ucBusAdr = init->ucBusAdr;
    rec.uiMode = init->uiMode;
    rec.uiKeepConnection = init->uiKeepConnection;
    std::memcpy(rec.cAddress, init->cAddress, sizeof rec.cAddress);
    rec.cAddress[sizeof rec.cAddress - 1] = '\0';
    rec.uiTcpPort = init->uiTcpPort;
    rec.uiTimeout = init->uiTimeout;
    rec.uiCallbackVariant = init->uiCallbackVariant;
    if (init->ucKeepAlive != 0) {
        rec.ucKeepAlive = 1;
        rec.uiKeepAliveIdle = init->uiKeepAliveIdle;
        rec.uiKeepAliveProbes = init->uiKeepAliveProbes;
        rec.uiKeepAliveInterval = init->uiKeepAliveInterval;
    }
    rec.callback = init->callback;

    _VKKRN_STRUCT_THREAD_PARA& para = taskThreadPara_;
    para.Init();
    para.taskId = static_cast<unsigned int>(taskId);
    para.reader = this;
    para.taskRecord = &rec;
    const bool hasCallback = rec.callback.form1 != nullptr;
    void (VKKRNReader::*body)() = nullptr;
    switch (taskId) {
    case 1:
    case 2:
        if (!hasCallback) return kErrNullPointer;
        para.command = kCmdInventory;
        ResetAsyncTaskTriggerFlag();
        body = &VKKRNReader::threadAsyncInventory;
        break;
    case 3:
    case 7:
        if ((rec.uiCallbackVariant == 1 || rec.uiCallbackVariant == 2) && !hasCallback)
            return kErrNullPointer;
        if (taskId == 3) rec.uiAcknowledge = init->uiAcknowledge;
        if (rec.uiCallbackVariant == 3) rec.callback = {};
        para.command = taskId == 3 ? kCmdNotify : kCmdBusMessage;
        ResetAsyncTaskTriggerFlag();
        body = &VKKRNReader::threadNotification;
        break;
    case 6:
        if (!hasCallback) return kErrNullPointer;
        para.command = kCmdMessage;
        ResetAsyncTaskTriggerFlag();
        body = &VKKRNReader::threadNotification;
        break;
    case 4:
    case 5:
        if (!hasCallback) return kErrNullPointer;
        para.command = taskId == 4 ? kCmdSam : kCmdQueue;
        body = &VKKRNReader::threadAsyncRead;
        break;
    default: return kErrUnknownParameter;
    }
    // Only a listener reads the key, and it wipes it when it ends.
    const bool listener = body == &VKKRNReader::threadNotification;
    if (listener && init->ucCipher != 0 &&
        (init->uiKeyLength == 16 || init->uiKeyLength == 24 || init->uiKeyLength == 32)) {
        rec.ucCipher = 1;
        rec.uiKeyLength = init->uiKeyLength;
        std::memcpy(rec.ucKey, init->ucKey, init->uiKeyLength);
    }

    taskThreadSet_.store(true);
    std::thread thread;
    if (!startWorkerThread(thread, [this, body] { (this->*body)(); })) {
        wipeTaskKey(rec);
        taskThreadSet_.store(false);
        return kErrTaskNotStarted;
    }
    {
        std::lock_guard<std::mutex> lock(workerMutex_);
        taskThread_ = std::move(thread);
    }
    // A short task may have run and ended before the first look: its handle is
    // then clear without a failure.
    while (para.started.load() == 0 && para.startFailed.load() == 0 && taskThreadSet_.load())
        std::this_thread::sleep_for(1ms);
    return para.started.load() == 0 && para.startFailed.load() != 0 ? kErrTaskNotStarted : 0;
}

int VKKRNReader::RemoveThreadAsyncTask() {
    if (OnOwnWorker()) return storeResult(kErrTaskBusy);
    if (RefuseReentry()) return kErrBusy;
    std::lock_guard<std::mutex> control(taskControlMutex_);
    if (!taskThreadSet_.load()) {
        joinWorker(taskThread_); // one that ended by itself: it runs no callback any more
        return storeResult(kErrTaskNotStarted);
    }
    taskThreadPara_.stopRequest.store(1);
    wakeWorkers();
    if (taskThreadPara_.inCallback.load() != 0) {
        StringToLogFile("Cancel of async task failed: VKKRN_ERR_TASK_BUSY", kTaskLevel);
        return storeResult(kErrTaskBusy);
    }
    stopSequence(taskThreadPara_, taskThread_);
    ClearThreadAsyncTask();
    return storeResult(0);
}

int VKKRNReader::TriggerAsyncTask() {
    if (!taskThreadSet_.load()) return storeResult(kErrTaskNotStarted);
    triggerFlag_.store(1);
    wakeWorkers();
    return 0;
}

void VKKRNReader::resetUsbPipe() {
    auto lock = Lock();
    SetPortPara("ResetPipe", "");
}

void VKKRNReader::logTaskError(std::unique_lock<std::mutex>& lock, int code) {
    if (!lock.owns_lock()) lock.lock();
    if (IsStopFlag() == 0) {
        SetActiveFlag();
        ErrorStrToLogDoc(code);
        ClearActiveFlag();
    }
    lock.unlock();
}

bool VKKRNReader::refuseTaskRecord(std::unique_lock<std::mutex>& lock, int variantCode) {
    const _VKKRN_TASK_INIT& rec = *taskThreadPara_.taskRecord;
    if (rec.uiCallbackVariant == 1 && rec.callback.form1 != nullptr) return false;
    taskThreadPara_.startFailed.store(1);
    logTaskError(lock, rec.uiCallbackVariant != 1 ? variantCode : kErrNullPointer);
    ClearThreadAsyncTask();
    return true;
}

// Logs `code` (unless the reader is stopped), releases the command lock, calls
// back with `code` and length 0 and ends the task.
void VKKRNReader::taskFailure(TaskBuffers& buffers, std::unique_lock<std::mutex>& lock, int code) {
    _VKKRN_STRUCT_THREAD_PARA& para = taskThreadPara_;
    para.startFailed.store(1);
    logTaskError(lock, code);
    const _VKKRN_TASK_INIT& rec = *para.taskRecord;
    if (rec.uiCallbackVariant == 1 && rec.callback.form1 != nullptr) {
        unsigned char none = 0;
        unsigned char* data = buffers.data ? buffers.data.get() : &none;
        para.inCallback.store(1);
        if (para.stopRequest.load() == 0)
            rec.callback.form1(rec.pAny, GetReaderHnd(), static_cast<int>(para.taskId), code, para.command,
                               data, 0);
        para.inCallback.store(0);
    }
    ClearThreadAsyncTask();
}

int VKKRNReader::receiveTaskFrame(TaskBuffers& buffers, const char* timeout) {
    VKKRN_PlugIn* plugIn = plugIn_;
    if (plugIn == nullptr) return kErrNoPlugIn;
    char saved[256] = {};
    const bool read = GetPortPara("Timeout", saved) == 0;
    const bool set = SetPortPara("Timeout", timeout) == 0;
    const auto cipher = Cipher().load();
    unsigned char* into = cipher ? buffers.wrapped.get() : buffers.reply.get();
    int count = plugIn->receive_protocol(chars(into), kReaderBufferSize);
    if (read && set) SetPortPara("Timeout", saved);
    if (count == 0 || isReceiveTimeout(count)) return 0;
    if (count < 0) return count;
    if (count > kReaderBufferSize) return kErrBufferOverflow;
    if (!cipher) return count;
    return unwrapTaskFrame(buffers, count, cipher);
}

int VKKRNReader::unwrapTaskFrame(TaskBuffers& buffers, int count,
                                 const std::shared_ptr<VKKRN_CryptoPlugIn>& cipher) {
    unsigned char adr = 0;
    unsigned char cmd = 0;
    int n = 0;
    // Ends the channel itself on 0x82.
    const int status =
        SplitAsyncRecProtocol(buffers.wrapped.get(), count, &adr, &cmd, buffers.data.get(), &n, 0, false);
    if (status < 0) return status;
    if (cmd != kCmdSecured) return kErrWrongCommand;
    if (status != 0) return kSecuredOuterStatus | status;
    return decipherInner(*cipher, buffers.data.get(), n, buffers.reply.get());
}

int VKKRNReader::splitTaskFrame(TaskBuffers& buffers, int count, int* dataLen) {
    VKKRN_PlugIn* plugIn = plugIn_;
    if (plugIn == nullptr) return kErrNoPlugIn;
    *dataLen = -1;
    int status = plugIn->split_protocol(0, 0, chars(buffers.reply.get()), count, chars(buffers.data.get()),
                                        kReaderBufferSize, dataLen);
    if (status < 0) return status;
    if (status == 0 && *dataLen == -1) {
        unsigned char adr = 0;
        unsigned char cmd = 0;
        status = SplitAsyncRecProtocol(buffers.reply.get(), count, &adr, &cmd, buffers.data.get(), dataLen, 0,
                                       false);
        if (status < 0) return status;
    }
    if (*dataLen == -1) *dataLen = 0;
    if (*dataLen < 0 || *dataLen > kReaderBufferSize) return kErrSplitProtocol;
    return status;
}

bool VKKRNReader::deliverTaskReply(TaskBuffers& buffers, std::unique_lock<std::mutex>& lock, int count) {
    _VKKRN_STRUCT_THREAD_PARA& para = taskThreadPara_;
    int dataLen = 0;
    const int status = splitTaskFrame(buffers, count, &dataLen);
    if (status < 0) {
        taskFailure(buffers, lock, status);
        return false;
    }
    if (IsStopFlag() == 0) {
        SetActiveFlag();
        SetLastRecProt(buffers.reply.get(), count);
        RecProtStrToLogDoc(count, status, false, false);
        ClearActiveFlag();
    }
    lock.unlock();
    const _VKKRN_TASK_INIT& rec = *para.taskRecord;
    para.inCallback.store(1);
    if (para.stopRequest.load() == 0)
        rec.callback.form1(rec.pAny, GetReaderHnd(), static_cast<int>(para.taskId), status, para.command,
                           buffers.data.get(), dataLen);
    para.inCallback.store(0);
    return true;
}

// Receives until a frame came (the command lock is then held): its length; 0
// after a stop request; otherwise the task has failed and ended.
int VKKRNReader::awaitTaskFrame(TaskBuffers& buffers, std::unique_lock<std::mutex>& lock, const char* timeout,
                                std::chrono::microseconds span) {
    _VKKRN_STRUCT_THREAD_PARA& para = taskThreadPara_;
    const bool usb = GetCommMode() == 1;
    const auto start = Clock::now();
    for (;;) {
        if (para.stopRequest.load() != 0) return 0;
        lock.lock();
        const int count = receiveTaskFrame(buffers, timeout);
        if (count > 0 && (count & kSecuredOuterStatus) == 0) return count;
        if (count != 0) {
            taskFailure(buffers, lock, count > 0 ? count & 0xFF : count);
            return -1;
        }
        lock.unlock();
        if (Clock::now() - start > span) {
            if (usb) resetUsbPipe();
            taskFailure(buffers, lock, kErrTaskTimeout);
            return -1;
        }
        pauseWorker(para, std::chrono::milliseconds(kPollPeriodMs), false);
    }
}

void VKKRNReader::threadAsyncInventory() {
    const WorkerMark mark(this);
    _VKKRN_STRUCT_THREAD_PARA& para = taskThreadPara_;
    const _VKKRN_TASK_INIT& rec = *para.taskRecord;
    std::unique_lock<std::mutex> lock(commandMutex_, std::defer_lock);
    if (refuseTaskRecord(lock, kErrNullPointer)) return;
    TaskBuffers buffers;
    if (!buffers.complete()) return taskFailure(buffers, lock, kErrNoMemory);
    const auto doPortCmd = library_.PortFunction<DoPortCmdFn>(kIdDoPortCmd);
    const int mode = GetCommMode();
    if (rec.uiMode != 1) return taskFailure(buffers, lock, kErrUnsupportedOption);
    if (mode == 0 && doPortCmd == nullptr) return taskFailure(buffers, lock, kErrNullPointer);
    if (mode != 0 && mode != 1 && mode != 2 && mode != 7) return taskFailure(buffers, lock, kErrCommMode);
    para.started.store(1);

    const unsigned long long t = rec.uiTimeout;
    char timeout[32];
    std::snprintf(timeout, sizeof timeout, "%llu", t * 110ULL + 7000ULL);
    const std::chrono::microseconds span(static_cast<long long>(t * 120000ULL + 7000000ULL));
    unsigned char request[3] = {0x01, 0x40, static_cast<unsigned char>(t & 0xFF)};
    for (;;) {
        if (para.stopRequest.load() != 0) {
            if (mode == 1) resetUsbPipe();
            break;
        }
        lock.lock();
        if (mode == 0) {
            char flush[] = "FlushInQ";
            char empty[] = "";
            doPortCmd(GetPortHnd(), flush, empty);
        }
        const int frameLen = BuildAsyncSndProtocol(rec.ucBusAdr, kCmdInventory, request, sizeof request,
                                                   buffers.frame.get(), 0, false);
        lock.unlock();
        if (frameLen < 0) return taskFailure(buffers, lock, frameLen);
        const int sent = Exe_Transmit(buffers.frame.get(), frameLen, 0, 0);
        if (sent < 0) {
            if (mode == 1) resetUsbPipe();
            return taskFailure(buffers, lock, sent);
        }
        const int count = awaitTaskFrame(buffers, lock, timeout, span);
        if (count < 0) return;
        if (count == 0) continue; // stopped
        if (!deliverTaskReply(buffers, lock, count)) return;
        if (para.taskId == 1) break;
        while (!pauseWorker(para, 100ms, true)) {
        }
        ResetAsyncTaskTriggerFlag();
    }
    ClearThreadAsyncTask();
    para.started.store(0);
}

void VKKRNReader::threadAsyncRead() {
    const WorkerMark mark(this);
    _VKKRN_STRUCT_THREAD_PARA& para = taskThreadPara_;
    const _VKKRN_TASK_INIT& rec = *para.taskRecord;
    std::unique_lock<std::mutex> lock(commandMutex_, std::defer_lock);
    if (refuseTaskRecord(lock, kErrUnsupportedOption)) return;
    TaskBuffers buffers;
    if (!buffers.complete()) return taskFailure(buffers, lock, kErrNoMemory);
    const bool usb = GetCommMode() == 1;
    const unsigned long long t = rec.uiTimeout;
    char timeout[32] = "10";
    if (usb) std::snprintf(timeout, sizeof timeout, "%llu", t * 100ULL);
    const std::chrono::microseconds span(static_cast<long long>(t * 120000ULL));
    para.started.store(1);
    const int count = awaitTaskFrame(buffers, lock, timeout, span);
    if (count < 0) return;
    if (count > 0) {
        if (!deliverTaskReply(buffers, lock, count)) return;
    } else if (usb) {
        resetUsbPipe();
    }
    ClearThreadAsyncTask();
    para.started.store(0);
}

int VKKRNReader::sendAsyncRequest(unsigned char cmd, int taskId, const unsigned char* head, int headLen,
                                  const unsigned char* data, int len, const _VKKRN_TASK_INIT* init) {
    if (RefuseReentry()) return kErrBusy;
    if (GetCommMode() == 1 && GetUsbGeneration() == 0) {
        auto lock = Lock();
        return failLogged(kErrUsbGeneration);
    }
    if (len < 0 || len > kMaxQueueData) {
        auto lock = Lock();
        return failLogged(kErrOutOfRange);
    }
    // The reply reader's own start conditions, before anything is sent.
    if (init->callback.form1 == nullptr) return storeResult(kErrNullPointer);
    if (init->uiCallbackVariant != 1) {
        {
            auto lock = Lock();
            ErrorStrToLogDoc(kErrUnsupportedOption);
        }
        return storeResult(kErrTaskNotStarted);
    }
    std::unique_ptr<unsigned char[]> frame(new (std::nothrow) unsigned char[kReaderBufferSize]);
    if (!frame) return storeResult(kErrNoMemory);

    // The task slot stays reserved from here: no other start comes between the
    // request and its reply reader.
    std::lock_guard<std::mutex> control(taskControlMutex_);
    if (deleting_.load()) return storeResult(kErrTaskNotStarted);
    if (const int rc = waitForTaskEnd()) return storeResult(rc);
    int frameLen = 0;
    {
        auto lock = Lock();
        std::memcpy(dataBuffer_.data(), head, static_cast<std::size_t>(headLen));
        if (len > 0) std::memcpy(dataBuffer_.data() + headLen, data, static_cast<std::size_t>(len));
        dataBuffer_[headLen + len] = 0;
        frameLen = BuildAsyncSndProtocol(init->ucBusAdr, cmd, dataBuffer_.data(), headLen + len, frame.get(),
                                         0, false);
        if (frameLen < 0) return failLogged(frameLen);
    }
    const int sent = Exe_Transmit(frame.get(), frameLen, 0, 0);
    if (sent < 0) {
        auto lock = Lock();
        return failLogged(sent);
    }
    if (cmd == kCmdSam) std::this_thread::sleep_for(50ms);
    return storeResult(startTaskLocked(taskId, init));
}

int VKKRNReader::Exe_0xBC_CmdQueue(int first, int second, unsigned char* data, int len,
                                   const _VKKRN_TASK_INIT* init) {
    const unsigned char head[2] = {static_cast<unsigned char>(first & 0xFF),
                                   static_cast<unsigned char>(second & 0xFF)};
    return sendAsyncRequest(kCmdQueue, 5, head, 2, data, len, init);
}

int VKKRNReader::Exe_0xC0_SAMCmd(int slot, unsigned char* data, int len, const _VKKRN_TASK_INIT* init) {
    if (GetCommMode() == 255) {
        auto lock = Lock();
        return failLogged(kErrCommMode);
    }
    const unsigned char head[2] = {static_cast<unsigned char>(slot & 0xFF),
                                   static_cast<unsigned char>(init->uiTimeout & 0xFF)};
    return sendAsyncRequest(kCmdSam, 4, head, 2, data, len, init);
}
