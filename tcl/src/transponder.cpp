#include "transponder.h"

#include "codes.h"
#include "manager.h"

#include <vkkrn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

namespace vktcl {

namespace {

// Every buffer libvkkrn fills without being told its size holds any frame.
constexpr std::size_t kBufferSize = 65538;
constexpr int kReadSize = 65536;
constexpr int kFormatBytes = 0;
constexpr int kFormatUnwrapped = 20; // as the transparent exchange hands frames over
constexpr int kCommandIso = 0xB2;
constexpr int kTimeoutCeiling = 6500;

bool readInt(const char* text, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text) return false;
    out = static_cast<int>(value);
    return true;
}

int setPortTimeout(int reader, int value) {
    char key[] = "Timeout";
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return VKKRN_PI_SetPortPara(reader, key, text);
}

} // namespace

VKTransponder::VKTransponder(VKManager& manager, int transponderHandle, int readerHandle,
                             unsigned char busAddress, unsigned char cid, unsigned char nad, bool useCid,
                             bool useNad)
    : manager_(manager), handle_(transponderHandle), readerHandle_(readerHandle), busAddress_(busAddress),
      cid_(cid), nad_(nad), useCid_(useCid), useNad_(useNad), frame_(kBufferSize), receive_(kBufferSize),
      data_(kBufferSize) {}

VKTransponder::~VKTransponder() {
    // A running worker stops at its next read; the reader library's stop flag is
    // the application's and stays as the application left it.
    cancel_.store(true, std::memory_order_release);
    std::thread worker;
    std::shared_ptr<std::atomic<bool>> done;
    {
        std::lock_guard<std::mutex> lock(workerMutex_);
        worker = std::move(worker_);
        done = std::move(workerDone_);
    }
    release(std::move(worker), std::move(done));
}

void VKTransponder::release(std::thread worker, std::shared_ptr<std::atomic<bool>> done) {
    if (!worker.joinable()) return;
    // A worker is never joined by itself: the one running this hands itself to
    // the manager.
    if (worker.get_id() == std::this_thread::get_id())
        manager_.adoptWorker(std::move(worker), std::move(done));
    else
        worker.join();
}

int VKTransponder::getPortHandle(int& out) {
    char value[1024] = {};
    const int rc = VKKRN_GetReaderPara(readerHandle_, "PortHnd", value);
    if (rc < 0) return rc;
    if (!readInt(value, out)) out = 0;
    return 0;
}

int VKTransponder::initVKTransponder() {
    std::vector<unsigned char> info(kBufferSize, 0);
    const int rc = VKKRN_0x66_ReaderInfo(readerHandle_, busAddress_, 0, info.data(), kFormatBytes);
    if (rc != 0) return rc;
    receiveSize_ = info[7] * 256 + info[8];
    transmitSize_ = info[9] * 256 + info[10];
    // Below 10 bytes no request block has room for a payload byte.
    if (receiveSize_ < 10) return kErrCreate;
    const int port = getPortHandle(portHandle_);
    if (port != 0) return port;
    if (portHandle_ < 0) return portHandle_;
    if (portHandle_ == 0) return kErrCreate;
    if (readTimeout() <= 0) return kErrCreate;
    return 0;
}

int VKTransponder::readTimeout() {
    char key[] = "Timeout";
    char value[128] = {};
    int read = 0;
    if (VKKRN_PI_GetPortPara(readerHandle_, key, value) < 0 || !readInt(value, read)) {
        // The restore writes back the last value read.
        baseTimeout_ = 0;
        inForce_ = restoreValue_ > 0 && restoreValue_ <= kTimeoutCeiling ? restoreValue_ : kTimeoutCeiling;
        return 0;
    }
    restoreValue_ = read;
    baseTimeout_ = read < 0 || read > kTimeoutCeiling ? kTimeoutCeiling : read;
    inForce_ = baseTimeout_;
    return baseTimeout_;
}

int VKTransponder::setTimeout(std::uint8_t wtxm, std::uint8_t fwi) {
    const std::optional<int> wanted = wantedTimeout(wtxm, fwi);
    if (!wanted || baseTimeout_ >= *wanted) return 0;
    const int rc = setPortTimeout(readerHandle_, *wanted);
    if (rc == 0) inForce_ = *wanted;
    return rc;
}

int VKTransponder::restoreTimeout() {
    inForce_ = baseTimeout_;
    return setPortTimeout(readerHandle_, restoreValue_);
}

bool VKTransponder::advancedFrames() {
    char value[1024] = {};
    if (VKKRN_GetReaderPara(readerHandle_, "FrameSupport", value) < 0) return false;
    return std::strcmp(value, "ADVANCED") == 0;
}

int VKTransponder::buildProtocol(RequestKind kind, const unsigned char* data, int length) {
    RequestShape shape;
    shape.receiveSize = receiveSize_;
    shape.advanced = advancedFrames();
    shape.useCid = useCid_;
    shape.useNad = useNad_;
    shape.cid = cid_;
    shape.nad = nad_;
    return buildRequest(protocol_, kind, data, length, shape);
}

int VKTransponder::sendProtocol(RequestKind kind) {
    readTimeout();
    int result = kErrMemory;
    try {
        result = sendBlocks(kind);
    } catch (const std::bad_alloc&) {
        // An answer block that could not be kept: the time-out goes back all the same.
    }
    const int restored = restoreTimeout();
    return result != 0 ? result : restored;
}

int VKTransponder::sendBlocks(RequestKind kind) {
    const Route route = routeOf(portHandle_);
    int result = 0;
    response_.clearResponse();
    if (kind == RequestKind::Apdu) {
        for (int i = 0; i < protocol_.getBlockCount() && result == 0; ++i) {
            if (cancel_.load(std::memory_order_acquire)) {
                result = kErrCancelled;
                break;
            }
            response_.clearResponse();
            result = route == Route::Library ? sendLibraryBlock(i) : sendDirectBlock(route, i);
        }
    } else {
        responseReady_.store(false, std::memory_order_release);
        result = route == Route::Serial ? sendDirectBlock(route, 0) : sendLibraryBlock(0);
    }
    return result;
}

BlockExchange::Raise VKTransponder::raiser() {
    return [this](std::uint8_t m, std::uint8_t f) { return setTimeout(m, f); };
}

AnswerFrame VKTransponder::splitAnswer(const std::uint8_t* frame, int length, int format) {
    unsigned char address = 0;
    unsigned char command = 0;
    int dataLength = 0;
    const int status = VKKRN_SplitRecProtocol(readerHandle_, const_cast<std::uint8_t*>(frame), length,
                                              &address, &command, data_.data(), &dataLength, format);
    if (status >= 0 && command != kCommandIso) return AnswerFrame{kErrForeignReply, data_.data(), 0};
    return AnswerFrame{status, data_.data(), status < 0 ? 0 : dataLength};
}

// The block goes out and its first answer comes back in one transparent
// exchange, which holds the reader's command lock, so no other command of the
// reader comes between them. Later answers to the same block (waiting-time
// requests, chained data) come without a request and are read one by one, each
// read under the lock on its own: a command of another thread between two of
// them makes the reads fail (the port drops the waiting answers before it sends,
// or an answer of that command is met: -4035), never hands over its reply.
int VKTransponder::sendDirectBlock(Route route, int index) {
    const VKProtocolBlock& block = protocol_.getProtocolBlock(index);
    const int frameLength = VKKRN_BuildSendProtocol(readerHandle_, busAddress_, kCommandIso,
                                                    const_cast<std::uint8_t*>(block.getBlock()),
                                                    block.getBlockLength(), frame_.data(), kFormatUnwrapped);
    if (frameLength <= 0) return frameLength;
    BlockExchange exchange(route, index, response_, raiser());
    const FrameSplit split = [this](const std::uint8_t* frame, int length) {
        return splitAnswer(frame, length, kFormatUnwrapped);
    };
    int n =
        VKKRN_SendTransparent(readerHandle_, frame_.data(), frameLength, receive_.data(), kReadSize, 0, 0);
    for (;;) {
        if (n <= 0) {
            exchange.readFailed(n);
            break;
        }
        walkRead(receive_.data(), n, split, exchange);
        if (exchange.ended() || exchange.overdue(BlockExchange::Clock::now())) break;
        if (cancel_.load(std::memory_order_acquire)) {
            exchange.cancelled();
            break;
        }
        n = VKKRN_Receive(readerHandle_, receive_.data(), kReadSize, 0);
    }
    return exchange.result();
}

int VKTransponder::sendLibraryBlock(int index) {
    using Clock = BlockExchange::Clock;
    const VKProtocolBlock& block = protocol_.getProtocolBlock(index);
    const Clock::time_point sent = Clock::now();
    int answerLength = 0;
    const int status =
        VKKRN_0xB2_ISOCmd(readerHandle_, busAddress_, const_cast<std::uint8_t*>(block.getBlock()),
                          block.getBlockLength(), data_.data(), &answerLength, kFormatBytes);
    BlockExchange exchange(Route::Library, index, response_, raiser(), sent);
    if (exchange.feed(AnswerFrame{status, data_.data(), status < 0 ? 0 : answerLength}))
        return exchange.result();

    Clock::time_point lastFrame = Clock::now();
    while (!exchange.ended() && !exchange.overdue(Clock::now())) {
        if (cancel_.load(std::memory_order_acquire)) {
            exchange.cancelled();
            break;
        }
        const int n = VKKRN_Receive(readerHandle_, receive_.data(), kReadSize, 0);
        if (n < 0) {
            exchange.readFailed(n);
            break;
        }
        if (n == 0) {
            // A plug-in that leaves receiving to its default gives nothing: wait
            // no longer than the time-out in force.
            if (Clock::now() - lastFrame >= std::chrono::milliseconds(inForce_)) {
                exchange.readFailed(kErrPortTimeout);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        lastFrame = Clock::now();
        exchange.feed(splitAnswer(receive_.data(), n, kFormatBytes));
    }
    return exchange.result();
}

int VKTransponder::apdu(const unsigned char* data, int length, const _VKTCL_EVENT_INIT* event) {
    if (!claim_.tryExchange()) return kErrBusy;
    ExchangeHold hold(claim_);
    int prepared = getPortHandle(portHandle_);
    if (prepared == 0) prepared = buildProtocol(RequestKind::Apdu, data, length);
    if (prepared != 0) return prepared;
    if (event == nullptr) {
        responseReady_.store(false, std::memory_order_release);
        const int result = sendProtocol(RequestKind::Apdu);
        responseReady_.store(true, std::memory_order_release);
        return result;
    }
    // What the start needs is made before anything changes: an allocation that
    // fails leaves the transponder as it was.
    std::shared_ptr<std::atomic<bool>> done;
    std::function<void()> body;
    try {
        done = std::make_shared<std::atomic<bool>>(false);
        body = [this, done] { runWorker(done); };
    } catch (const std::bad_alloc&) {
        return kErrMemory;
    }
    event_ = Event{};
    event_.selector = event->uiFlag;
    if (event->uiFlag == VKTCL_CALLBACK3 || event->uiFlag == VKTCL_CALLBACK4)
        event_.callback = event->callback;
    if (event->uiFlag == VKTCL_CALLBACK4) event_.pAny = event->pAny;
    responseReady_.store(false, std::memory_order_release);
    // The worker before (finished, or in the callback that starts this APDU)
    // is released once the new one runs.
    std::thread previous;
    std::shared_ptr<std::atomic<bool>> previousDone;
    int result = 0;
    {
        std::lock_guard<std::mutex> lock(workerMutex_);
        previous = std::move(worker_);
        previousDone = std::move(workerDone_);
        if (manager_.threadStarter()(worker_, std::move(body))) {
            workerDone_ = std::move(done);
            hold.handOn(); // the worker gives the claim back
        } else {
            result = kErrThread;
        }
    }
    release(std::move(previous), std::move(previousDone));
    manager_.reapWorkers(false);
    return result;
}

void VKTransponder::runWorker(std::shared_ptr<std::atomic<bool>> done) {
    // Wait until the starter has stored this thread.
    { std::lock_guard<std::mutex> lock(workerMutex_); }
    const int result = sendProtocol(RequestKind::Apdu);
    const int length = response_.getResponseLength();
    const Event event = event_;
    const int handle = handle_;
    responseReady_.store(true, std::memory_order_release);
    // From here on the transponder may start its next APDU or be deleted.
    claim_.endExchange();
    if (event.callback != nullptr) {
        if (event.selector == VKTCL_CALLBACK3)
            reinterpret_cast<VKTCL_ApduCallback3>(event.callback)(handle, result, length);
        else if (event.selector == VKTCL_CALLBACK4)
            reinterpret_cast<VKTCL_ApduCallback4>(event.callback)(event.pAny, handle, result, length);
    }
    done->store(true, std::memory_order_release);
}

int VKTransponder::shortOrNothing(RequestKind kind) {
    if (!claim_.tryExchange()) return kErrBusy;
    ExchangeHold hold(claim_);
    int result = buildProtocol(kind, nullptr, 0);
    if (result == 0) result = sendProtocol(kind);
    return result;
}

int VKTransponder::deselect() {
    return shortOrNothing(RequestKind::Deselect);
}

int VKTransponder::ping() {
    return shortOrNothing(RequestKind::Ping);
}

int VKTransponder::getResponseData(unsigned char* buffer, int size) {
    if (!claim_.tryRead()) return kErrBusy;
    int result = kErrBusy;
    if (responseReady_.load(std::memory_order_acquire)) {
        const int length = response_.getResponseLength();
        const int rc = size < length ? kErrSmallBuffer : response_.getResponse(buffer);
        result = rc != 0 ? rc : length;
    }
    claim_.endRead();
    return result;
}

} // namespace vktcl
