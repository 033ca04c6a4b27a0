// The command channel: frames telegrams into the driver's byte stream, keeps
// those awaiting an answer in a first-in first-out queue, reads the answers in
// queue order and latches the first error until it is cleared.
//
// A telegram is answered (answered() true) only when its whole answer was
// taken. One that was not fails: result 1 when its transfer failed or its
// answer could not be taken (it announced more than the payload area holds, it
// is too short for the telegram, or bytes it did not announce follow it; the
// channel's error is then the driver's, or -3), result 2 for another pid (-4).
// The first error stays latched until it is cleared: nothing later, a flush
// included, overwrites it. Every answer that was announced is still read, and
// bytes no answer announced are dropped, so the stream is in step for the
// next exchange once the error is cleared.
//
// A sent request holds one level of the channel's recursive mutex until its
// answer has been read, so no other thread's telegram goes between a request
// and its answer. With the late flush policy the calling thread keeps one
// level per unanswered request until it flushes.
#ifndef BOARD_LINK_COMMAND_CHANNEL_H
#define BOARD_LINK_COMMAND_CHANNEL_H

#include "kesto_com_driver.h"
#include "kesto_com_object.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace board_link {

inline constexpr int kHeaderSize = 5;
inline constexpr int kPayloadCapacity = 1088;
inline constexpr int kChannelOtherPid = -4;

class CommandChannel {
  public:
    CommandChannel(KestoComDriver* driver, KestoComPolicy* policy);
    ~CommandChannel();
    CommandChannel(const CommandChannel&) = delete;
    CommandChannel& operator=(const CommandChannel&) = delete;

    // A telegram that expects an answer. Not sent while an error is latched
    // (result 1), when already queued, or when it cannot be framed (result 1,
    // lastError -3).
    void queue(KestoComObject* telegram);
    // A telegram without answer; the flush object flushes.
    void write(KestoComObject* telegram);
    // Sends what is pending and reads every queued answer.
    void flush(KestoComObject* flushMarker = nullptr);

    bool open();
    bool open(const char* path);
    bool close();
    bool reset();

    int lastError();
    void setLastError(int error);
    // The channel's and the driver's errors OR-ed together; both cleared.
    int takeLinkErrors();
    KestoComDriver* driver() const { return driver_; }
    // One level of the channel's mutex for a caller that must keep other
    // threads' telegrams out across several steps of its own.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> hold() { return std::unique_lock(mutex_); }

    // Where the answer-pid diagnostic goes; none by default.
    void setDebugSink(std::function<void(const std::string&)> sink);

  private:
    void lock();
    void release();
    bool isQueued(const KestoComObject* t) const;
    // False when the telegram could not be framed (it is failed and unlinked).
    bool sendRequest(KestoComObject* t);
    void readAnswer(KestoComObject* t);
    // The announced `n` payload bytes of t's answer, which t then takes.
    void readPayload(KestoComObject* t, int n);
    // Latches `error` unless an earlier one is latched.
    void latch(int error);
    // Reads and drops `count` payload bytes in bounded chunks.
    void drop(int count);
    void flushLocked();

    KestoComDriver* driver_;
    KestoComPolicy* policy_;
    int lastError_ = 0;
    std::uint8_t frame_[kHeaderSize + kPayloadCapacity] = {};
    int depth_ = 0;
    std::recursive_mutex mutex_;
    KestoComObject* head_ = nullptr;
    KestoComObject* tail_ = nullptr;
    std::function<void(const std::string&)> debugSink_;
};

} // namespace board_link

#endif
