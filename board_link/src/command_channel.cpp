#include "command_channel.h"

#include <algorithm>
#include <cstdio>

namespace board_link {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// The telegrams describe themselves on this; nothing reads it.
struct Scratch {
    QString text;
    QXmlStreamWriter writer{&text};
};

void putLength(std::uint8_t* out, int value) {
    out[0] = static_cast<std::uint8_t>(value >> 8);
    out[1] = static_cast<std::uint8_t>(value);
}

} // namespace

CommandChannel::CommandChannel(KestoComDriver* driver, KestoComPolicy* policy)
    : driver_(driver), policy_(policy) {}

CommandChannel::~CommandChannel() {
    Guard guard(mutex_);
    while (depth_ > 0)
        release();
}

void CommandChannel::lock() {
    mutex_.lock();
    ++depth_;
}

void CommandChannel::release() {
    if (depth_ > 0) {
        --depth_;
        mutex_.unlock();
    }
}

void CommandChannel::queue(KestoComObject* t) {
    if (t == nullptr) return;
    lock();
    if (isQueued(t)) {
        // Already waiting for its answer: appending it again would loop the queue.
    } else if (lastError_ != 0) {
        t->result_ = kResultTransferFailed;
    } else {
        t->next_ = nullptr;
        if (tail_ != nullptr)
            tail_->next_ = t;
        else
            head_ = t;
        tail_ = t;
        if (sendRequest(t) && policy_->mustFlush()) flushLocked();
    }
    release();
}

bool CommandChannel::isQueued(const KestoComObject* t) const {
    for (const KestoComObject* q = head_; q != nullptr; q = q->next_)
        if (q == t) return true;
    return false;
}

bool CommandChannel::sendRequest(KestoComObject* t) {
    lock();
    Scratch scratch;
    t->answered_ = 0;
    frame_[0] = static_cast<std::uint8_t>(t->pid_ & 0x7F);
    putLength(frame_ + 1, t->requestLength());
    putLength(frame_ + 3, t->responseLength());
    const int length = t->requestLength();
    if (length >= 0 && length <= kPayloadCapacity &&
        t->serializeRequest(frame_ + kHeaderSize, kPayloadCapacity, scratch.writer)) {
        latch(driver_->write(frame_, length + kHeaderSize));
        return true;
    }
    // Cannot be framed: fail it now rather than wait for an answer that never
    // comes. Unlink it (it is the tail) and give back its level.
    KestoComObject** link = &head_;
    KestoComObject* previous = nullptr;
    while (*link != t) {
        previous = *link;
        link = &(*link)->next_;
    }
    *link = nullptr;
    tail_ = previous;
    t->result_ = kResultTransferFailed;
    latch(kDriverReadFailed);
    release();
    return false;
}

void CommandChannel::write(KestoComObject* t) {
    if (t == nullptr) return;
    lock();
    Scratch scratch;
    if (t->pid_ == kPidFlush) {
        flushLocked();
    } else if (t->writeLength() >= 0 && t->writeLength() <= kPayloadCapacity &&
               t->serializeWrite(frame_ + kHeaderSize, kPayloadCapacity, scratch.writer)) {
        frame_[0] = static_cast<std::uint8_t>(t->pid_ | 0x80);
        putLength(frame_ + 1, t->writeLength());
        frame_[3] = 0;
        frame_[4] = 0;
        const int error = driver_->write(frame_, t->writeLength() + kHeaderSize);
        latch(error);
        if (error == 0 && policy_->mustFlush()) flushLocked();
    }
    release();
}

void CommandChannel::flush(KestoComObject*) {
    lock();
    flushLocked();
    release();
}

void CommandChannel::latch(int error) {
    if (lastError_ == 0) lastError_ = error;
}

void CommandChannel::flushLocked() {
    lock();
    latch(driver_->flush());
    KestoComObject* last = nullptr;
    while (head_ != nullptr) {
        KestoComObject* t = head_;
        head_ = t->next_;
        if (head_ == nullptr) tail_ = nullptr;
        t->next_ = nullptr;
        readAnswer(t);
        last = t;
    }
    // Every answer read, the board has nothing more to say: bytes left over
    // belong to the last answer, which was longer than it announced. Dropping
    // them, and whatever reports of it still wait, puts the stream back in step.
    if (last != nullptr && driver_->unreadBytes() > 0) {
        if (last->answered_ != 0) last->result_ = kResultTransferFailed;
        last->answered_ = 0;
        latch(kDriverReadFailed);
        driver_->discardInput();
    }
    release();
}

void CommandChannel::drop(int count) {
    int error = 0;
    while (count > 0 && error == 0) {
        const int take = std::min(count, kPayloadCapacity);
        error = driver_->read(frame_ + kHeaderSize, take);
        count -= take;
    }
    latch(error);
}

void CommandChannel::readAnswer(KestoComObject* t) {
    const int error = driver_->read(frame_, kHeaderSize);
    if (error != 0) {
        t->result_ = kResultTransferFailed;
        latch(error);
    } else {
        const int n = frame_[3] << 8 | frame_[4];
        const std::uint8_t expected = static_cast<std::uint8_t>(t->pid_ & 0x7F);
        if (frame_[0] == expected) {
            if (n > kPayloadCapacity) {
                t->result_ = kResultTransferFailed;
                latch(kDriverReadFailed);
                drop(n);
            } else {
                readPayload(t, n);
            }
        } else {
            const std::uint8_t received = frame_[0];
            t->result_ = kResultOtherPid;
            latch(kChannelOtherPid);
            drop(n);
            if (debugSink_) {
                char text[64];
                std::snprintf(text, sizeof text, "Protocol Received: 0x%02X Expected: 0x%02X", received,
                              expected);
                debugSink_(text);
            }
        }
    }
    release();
}

void CommandChannel::readPayload(KestoComObject* t, int n) {
    const int error = driver_->read(frame_ + kHeaderSize, n);
    if (error != 0) {
        t->result_ = kResultTransferFailed;
        latch(error);
        return;
    }
    t->result_ = frame_[2];
    Scratch scratch;
    if (t->parseResponse(frame_ + kHeaderSize, n, scratch.writer)) {
        t->answered_ = 1;
    } else {
        // Too short for what the telegram takes: nothing of it is kept.
        t->result_ = kResultTransferFailed;
        latch(kDriverReadFailed);
    }
}

bool CommandChannel::open() {
    Guard guard(mutex_);
    if (driver_->isOpen()) return true;
    reset();
    return driver_->open();
}

bool CommandChannel::open(const char* path) {
    Guard guard(mutex_);
    if (driver_->isOpen()) return true;
    reset();
    return driver_->open(path);
}

bool CommandChannel::close() {
    Guard guard(mutex_);
    if (!driver_->isOpen()) return true;
    const bool closed = driver_->close();
    reset();
    return closed;
}

bool CommandChannel::reset() {
    Guard guard(mutex_);
    const bool wasOpen = driver_->isOpen();
    if (wasOpen) driver_->close();
    while (depth_ > 0)
        release();
    // The telegrams may be gone by now (they live on their senders' stacks).
    head_ = tail_ = nullptr;
    driver_->takeError();
    lastError_ = 0;
    return wasOpen ? driver_->open() : true;
}

int CommandChannel::lastError() {
    Guard guard(mutex_);
    return lastError_;
}

void CommandChannel::setLastError(int error) {
    Guard guard(mutex_);
    lastError_ = error;
}

int CommandChannel::takeLinkErrors() {
    Guard guard(mutex_);
    const int errors = lastError_ | driver_->takeError();
    lastError_ = 0;
    return errors;
}

void CommandChannel::setDebugSink(std::function<void(const std::string&)> sink) {
    Guard guard(mutex_);
    debugSink_ = std::move(sink);
}

} // namespace board_link
