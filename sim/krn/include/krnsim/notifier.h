// A reader that calls its host: it connects out to a notification listener,
// may authenticate with 0xAE, and sends notifications (reply-form frames of any
// command, whole or in timed chunks). What the host sends back is taken as
// acknowledgements and handshake answers, never as requests: each frame is
// split by the form its command asks for, kept with a verdict, and never
// answered. Blocking and single-threaded: the host's bytes are read only inside
// `waitFrame`, so a test that stops calling it stops reading.
#ifndef KRNSIM_NOTIFIER_H
#define KRNSIM_NOTIFIER_H

#include <krnsim/notify_channel.h>

#include <vktesting/unique_fd.h>

#include <string>
#include <vector>

namespace krnsim {

class Notifier {
  public:
    // Connects to host:port (IPv4 text); std::runtime_error when refused.
    // `receiveBuffer` above 0 sets a small SO_RCVBUF before connecting.
    explicit Notifier(std::uint16_t port, std::uint8_t busAddress = 1, const std::string& host = "127.0.0.1",
                      int receiveBuffer = 0);
    ~Notifier() = default;
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    // Runs both handshake steps; true when the host's proof checks (the channel
    // is then on). A refused step (no answer within `timeout`) gives false.
    bool authenticate(std::uint8_t keyType, Bytes key, const HandshakeFaults& faults = {},
                      Millis timeout = Millis(2000));
    // The channel of the last authenticate (null before), to send its steps by hand.
    NotifyChannel* channel() { return channel_ ? &*channel_ : nullptr; }

    // The reply frame of `command`, wrapped in 0xAF once authenticated.
    Bytes notification(std::uint8_t command, ByteView data, Form form = Form::Standard,
                       std::uint8_t status = 0);
    void notify(std::uint8_t command, ByteView data, Form form = Form::Standard, std::uint8_t status = 0) {
        send(notification(command, data, form, status));
    }
    // Raw bytes, at once or in chunks of `chunk` bytes `gap` apart.
    void send(ByteView bytes);
    void sendChunks(ByteView bytes, std::size_t chunk, Millis gap);

    // The next whole frame the host sent (an 0xAF acknowledgement unwrapped when
    // the channel is on), or nothing within `timeout`.
    std::optional<HostFrame> waitFrame(Millis timeout);
    // Every frame taken so far, in order.
    const std::vector<HostFrame>& received() const { return received_; }
    // True once the host closed the connection (seen by waitFrame).
    bool closedByHost() const { return closedByHost_; }
    // Closes with a reset instead of a FIN.
    void reset();
    int fd() const { return fd_.get(); }

  private:
    vktesting::UniqueFd fd_;
    std::uint8_t busAddress_;
    std::optional<NotifyChannel> channel_;
    Bytes pending_;
    std::vector<HostFrame> received_;
    bool closedByHost_ = false;
};

} // namespace krnsim

#endif
