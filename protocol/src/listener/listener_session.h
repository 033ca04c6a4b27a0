// One connection of the notification listener, without sockets: bytes and a
// clock go in; frames, error reports, log lines, bytes to send and the wish to
// close come out through the `ListenerHost`. It frames what the reader sends,
// runs the authentication handshake, unwraps enciphered notifications, hands
// each frame to the application and builds the acknowledgements.
//
// The listener thread reads at most `wanted()` bytes at a time, so a frame's
// bytes never run into the next one and nothing is read past a frame.
#ifndef VKKRN_LISTENER_SESSION_H
#define VKKRN_LISTENER_SESSION_H

#include "security/crypto_plugin.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace vkkrn::listener {

inline constexpr std::size_t kBufferSize = 0x10001;
inline constexpr int kAuthenticated = 2;

// Milliseconds on a monotonic clock.
using Millis = std::int64_t;

struct SessionConfig {
    int taskId = 3;              // 3, 6 or 7
    std::uint8_t command = 0x22; // the task's command byte: 0x22, 0x1F, 0x77
    std::uint8_t busAddress = 0; // address of the acknowledgements
    unsigned acknowledge = 0;    // task 3: 1 acknowledges every 0x22
    bool cipher = false;         // readers authenticate and speak 0xAF only
    unsigned keyLength = 0;      // 16, 24 or 32 with the cipher on
    const std::uint8_t* key = nullptr;
    Millis frameLimit = 1000; // T: a frame once begun completes within it
    Millis idleLimit = 3000;  // L: a first frame (and the handshake) within it of the accept
};

// A frame handed to the application.
struct Delivery {
    int status = 0;
    std::uint8_t command = 0;
    std::uint8_t* data = nullptr;
    int length = 0;
};

// What the session needs of its listener. Calls come from the session's own
// thread, one at a time.
class ListenerHost {
  public:
    virtual ~ListenerHost() = default;
    // A listener line (log level bit 2); `value` printed after it when given.
    virtual void line(const char* text) = 0;
    virtual void line(const char* text, int value) = 0;
    // An error report: logged and handed to the callback with length 0.
    virtual void report(int code) = 0;
    // Calls the application back; `acknowledge` (zeroed before) may be set by a
    // form-3 callback, whose result comes back.
    virtual int deliver(const Delivery& frame, std::uint8_t* acknowledge) = 0;
    // The frame (the inner one when enciphered) stored and logged as received, or as sent.
    virtual void storeReceived(const std::uint8_t* frame, int length, int status, bool secured) = 0;
    virtual void storeSent(const std::uint8_t* frame, int length, bool secured) = 0;
    // Around the handling of one whole frame (the task's in-callback flag).
    virtual void frameBegins() = 0;
    virtual void frameEnds() = 0;
    // Sends all bytes within the host's deadline: 0, or the error number.
    virtual int send(std::span<const std::uint8_t> bytes) = 0;
    // The reader's frame mode (1 standard, 2 advanced) and its lock to advanced.
    virtual int frameMode() = 0;
    virtual void lockAdvanced() = 0;
    // A cipher object keyed with `key` (key type 1 to 3); null when none can be made.
    virtual std::unique_ptr<VKKRN_CryptoPlugIn> makeCipher(unsigned keyType, const std::uint8_t* key) = 0;
};

class Session {
  public:
    enum class Close { None, Idle, SendFailed };

    // `host` outlives the session.
    Session(const SessionConfig& config, ListenerHost& host);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A new connection accepted at `now`: no cipher, state 0, nothing read.
    void start(Millis now);
    // How many bytes the next read may take (at least 1 while open).
    std::size_t wanted() const;
    // Takes up to wanted() bytes; handles a frame once it is whole.
    void feed(std::span<const std::uint8_t> bytes, Millis now);
    // Applies the time limits at `now`.
    void tick(Millis now);
    // Set once the connection is to be closed (the session takes no more bytes).
    Close closing() const { return close_; }
    int authState() const { return authState_; }
    // No byte of a frame (or of its head) has been read.
    bool betweenFrames() const { return have_ == 0; }
    // A frame has been delivered or a handshake step answered on this connection.
    bool served() const { return served_; }

  private:
    void takeHead();
    void dispatch();
    int handshake();
    int handshakeStep1();
    int handshakeStep2();
    int answer(std::uint8_t step, const std::uint8_t* random);
    void handleNotify();
    // Handles the one frame in frame_[0, n): true when delivered.
    bool handleOne(std::size_t n, std::uint8_t& command, int& result, std::uint8_t& acknowledge);
    void acknowledgeFrame(std::uint8_t command, int result, std::uint8_t acknowledge);
    void dropCipher();

    SessionConfig config_;
    ListenerHost& host_;
    std::unique_ptr<std::uint8_t[]> frame_; // the frame being read
    std::unique_ptr<std::uint8_t[]> data_;  // split data, also the callback's
    std::unique_ptr<std::uint8_t[]> plain_; // a deciphered inner frame
    std::unique_ptr<std::uint8_t[]> out_;   // acknowledgements and answers
    std::unique_ptr<std::uint8_t[]> inner_; // an acknowledgement before wrapping
    std::size_t have_ = 0;                  // bytes of frame_ read
    std::size_t need_ = 3;                  // bytes the frame (or its head) has
    bool inHead_ = true;
    Millis frameStart_ = 0;
    Millis acceptedAt_ = 0;
    bool served_ = false;
    Close close_ = Close::None;
    std::unique_ptr<VKKRN_CryptoPlugIn> cipher_;
    int authState_ = 0;
    std::uint8_t keyType_ = 0;
};

} // namespace vkkrn::listener

#endif
