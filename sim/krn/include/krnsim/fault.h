// A misbehaviour applied to one reply frame: it turns the frame into the plan
// that is actually sent.
#ifndef KRNSIM_FAULT_H
#define KRNSIM_FAULT_H

#include <krnsim/plan.h>

#include <optional>
#include <string>

namespace krnsim {

enum class FaultKind : std::uint8_t {
    BadCrc,       // the first CRC byte inverted
    WrongCommand, // CMD replaced, CRC recomputed
    WrongAddress, // ADR replaced, CRC recomputed
    LengthDelta,  // LEN changed by k, CRC recomputed, the bytes sent unchanged in number
    Truncate,     // the last k bytes of the frame not sent
    Surplus,      // extra bytes after the frame
    Split,        // the frame sent in pieces with pauses between them
    Delay,        // the whole frame after a pause
    Silence,      // nothing sent
    Raw,          // other bytes sent instead of the frame
    Noise,        // other bytes sent before the frame
    Close,        // no reply, the connection closed (TCP FIN, pty hang-up)
    CloseAfter,   // k bytes of the frame, then closed
    Reset,        // no reply, the connection reset (TCP RST, pty hang-up)
};

class Fault {
  public:
    // Factories check their arguments and throw std::invalid_argument.
    static Fault badCrc();
    static Fault wrongCommand(std::uint8_t command);
    static Fault wrongAddress(std::uint8_t address);
    static Fault lengthDelta(int k);
    static Fault truncate(std::size_t k);
    static Fault surplus(Bytes extra);
    // `pieces` are the sizes of the first chunks, the rest of the frame is one more
    // chunk; gaps[i] is the pause after piece i (as many gaps as pieces).
    static Fault split(std::vector<std::size_t> pieces, std::vector<Millis> gaps);
    static Fault delay(Millis pause);
    static Fault silence();
    static Fault raw(Bytes bytes);
    static Fault noise(Bytes bytes);
    static Fault close();
    static Fault closeAfter(std::size_t k);
    static Fault reset();

    // Limits a queued fault to replies to one command byte or on one connection.
    Fault& onlyCommand(std::uint8_t command);
    Fault& onlyConnection(ConnectionId connection);
    bool matches(std::uint8_t command, ConnectionId connection) const;

    FaultKind kind() const { return kind_; }
    // The plan that sends `frame` (a reply frame of `form`) with this fault.
    Plan apply(const Bytes& frame, Form form) const;
    std::string describe() const;

  private:
    explicit Fault(FaultKind kind) : kind_(kind) {}

    FaultKind kind_;
    long amount_ = 0;
    std::uint8_t value_ = 0;
    Bytes bytes_;
    std::vector<std::size_t> pieces_;
    std::vector<Millis> gaps_;
    Millis pause_{0};
    std::optional<std::uint8_t> command_;
    std::optional<ConnectionId> connection_;
};

} // namespace krnsim

#endif
