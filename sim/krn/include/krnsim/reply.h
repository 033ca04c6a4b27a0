// Requests as dispatch sees them and the replies a handler gives back.
#ifndef KRNSIM_REPLY_H
#define KRNSIM_REPLY_H

#include <krnsim/fault.h>
#include <krnsim/plan.h>

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace krnsim {

struct AuthSession; // krnsim/authentication.h

struct Request {
    ConnectionId connection = 0;
    Form form = Form::Standard;
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    Bytes data;
    Bytes raw;
};

// A status byte and reply data: the reader turns it into a reply frame.
struct Answer {
    std::uint8_t status = 0;
    Bytes data;
};

// One frame of a reply of several: sent `delay` after the frame before it (the
// first after the request), or with the frame before it in one write.
struct TimedAnswer {
    Answer answer;
    Millis delay{0};
    bool sameWrite = false;
    std::optional<Fault> fault; // this frame's own fault, in place of a queued one
};

class Reply {
  public:
    enum class Kind : std::uint8_t { Frame, Nothing, Plan, Frames };

    // A reply frame with this status and data (form, address and command from the request).
    static Reply frame(std::uint8_t status, Bytes data = {}) {
        return Reply(Kind::Frame, {status, std::move(data)}, {});
    }
    static Reply frame(Answer answer) { return Reply(Kind::Frame, std::move(answer), {}); }
    // No reply at all.
    static Reply nothing() { return Reply(Kind::Nothing, {}, {}); }
    // Bytes the handler built itself, sent as they are; faults do not apply to them.
    static Reply plan(krnsim::Plan plan) { return Reply(Kind::Plan, {}, std::move(plan)); }
    // Several reply frames to one request, each made as a single reply frame is
    // (form, address, command, the secured channel, a fault) and sent in order.
    static Reply frames(std::vector<TimedAnswer> frames) {
        Reply reply(Kind::Frames, {}, {});
        reply.frames_ = std::move(frames);
        return reply;
    }

    Kind kind() const { return kind_; }
    const Answer& answer() const { return answer_; }
    const krnsim::Plan& sendPlan() const { return plan_; }
    const std::vector<TimedAnswer>& frames() const { return frames_; }

  private:
    Reply(Kind kind, Answer answer, krnsim::Plan plan)
        : kind_(kind), answer_(std::move(answer)), plan_(std::move(plan)) {}

    Kind kind_;
    Answer answer_;
    krnsim::Plan plan_;
    std::vector<TimedAnswer> frames_;
};

// What a handler knows of the connection its request came on. Lives as long as
// the connection; handlers keep their own per-connection state in it.
class ConnectionContext {
  public:
    explicit ConnectionContext(ConnectionId id) : id_(id) {}

    ConnectionId id() const { return id_; }
    std::any& state() { return state_; }
    // Queues bytes to send after the reply to the current request, without a new request.
    void sendLater(Plan plan) { later_.append(std::move(plan)); }
    Plan takeLater() { return std::exchange(later_, Plan{}); }
    // The authenticated channel of this connection (0xAE), or its handshake under
    // way; the reader keeps it here so that it ends with the connection.
    std::shared_ptr<AuthSession>& authSession() { return authSession_; }

  private:
    ConnectionId id_;
    std::any state_;
    Plan later_;
    std::shared_ptr<AuthSession> authSession_;
};

// Runs on the simulator's loop thread without the reader's lock held, so it may
// call the reader's and the simulator's control functions. An exception is
// logged and the request gets no reply.
using Handler = std::function<Reply(const Request&, ConnectionContext&)>;

// Runs between reassembly and dispatch: may change the request (for example
// unwrap it); returning false drops it without a reply.
using RequestFilter = std::function<bool(Request&, ConnectionContext&)>;

} // namespace krnsim

#endif
