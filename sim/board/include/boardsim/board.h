// Firmware model of an evaluation board at report level, written from the
// board's side. It takes the 64-byte output reports the host writes (report id
// removed, as they arrive on the wire), tells ping, fallback and data reports
// apart, gathers the data payloads into one inbound stream and answers through
// a responder, and hands out the input reports it sends back one at a time.
//
// Wire offsets below count from the first byte after the report id.
//
// Every member may be called from any thread; one mutex guards the board.
#ifndef BOARDSIM_BOARD_H
#define BOARDSIM_BOARD_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// The maker's vendor id and the two boards' product ids, as the board reports
// them on the bus.
inline constexpr std::uint16_t kVendorId = 0x2F4B;
inline constexpr std::uint16_t kKx10ProductId = 0x3721;
inline constexpr std::uint16_t kKx20ProductId = 0x3724;

inline constexpr std::size_t kWireReportSize = 64;
inline constexpr std::size_t kMaxPayload = 61;
inline constexpr std::uint8_t kPingAnswerByte = 0xDE;
inline constexpr std::uint8_t kLogPacketMark = 0x6A;

using Bytes = std::vector<std::uint8_t>;

// One answer: its bytes and the status flag its reports carry.
struct Answer {
    Bytes bytes;
    std::uint8_t status = 0;
};

// Called after every valid data report with the inbound stream (payloads not
// yet answered); it erases the request bytes it answers and returns the answers
// to send, in order. An empty result sends nothing.
using Responder = std::function<std::vector<Answer>(Bytes& inbound)>;

struct LogPacket {
    std::uint8_t index = 0;
    std::uint8_t flag = 0;
    Bytes data;                          // at most 57 bytes fit behind the header
    std::optional<std::uint8_t> announced; // length byte; data size when absent
};

enum class FaultKind {
    NoPingAnswer,  // a ping gets no answer
    PingAnswer,    // the ping answer's first byte is `value`
    Silence,       // answers are dropped
    LengthByte,    // answer reports carry `value` as their length byte (0, or above 61)
    ShortReports,  // answer reports are cut to `value` bytes
    Split,         // answer reports carry `sizes` payload bytes each, 61 after the list
};

struct Fault {
    FaultKind kind = FaultKind::Silence;
    int value = 0;
    std::vector<std::size_t> sizes;
};

enum class ReportKind { Ping, Fallback, Data };

struct DataReport {
    std::uint8_t sequence = 0;
    std::uint8_t length = 0;
    bool valid = true;
};

class Board {
  public:
    // --- device side ---
    // One output report from the host.
    void receive(const std::uint8_t* report, std::size_t length);
    // The next input report the board sends; none when nothing is queued.
    std::optional<Bytes> nextInput();
    std::size_t pendingInput() const;

    // --- control ---
    void reset();
    void setResponder(Responder responder);
    // Answers once the inbound stream holds `requestLength` bytes (scripts are
    // used in order, and only while no responder is set).
    void scriptAnswer(std::size_t requestLength, Answer answer);
    // A log packet sent with the next answer: before its first report
    // (`afterReports` 0) or after that many of its reports.
    void queueLogPacket(LogPacket packet, std::size_t afterReports = 0);
    // A report sent at once, unasked (log packets for polling, for example).
    void sendNow(Bytes report);
    static Bytes logPacketReport(const LogPacket& packet);
    // A one-shot fault applies to the next ping (ping faults) or the next
    // answer (the others); a persistent one stays until clearFaults().
    void injectFault(Fault fault, bool persistent = false);
    void clearFaults();

    // --- record ---
    int pings() const;
    int fallbacks() const;
    std::vector<ReportKind> kinds() const;
    std::vector<DataReport> dataReports() const;
    Bytes inbound() const;
    std::vector<std::string> violations() const;
    // Set when a data report arrived while answer reports were still unread.
    bool overrun() const;

  private:
    struct PendingLog {
        LogPacket packet;
        std::size_t afterReports;
    };
    struct ActiveFault {
        Fault fault;
        bool persistent;
    };

    void answerPing();
    void takeData(const std::uint8_t* report);
    void sendAnswer(const Answer& answer);
    std::optional<Fault> takeFault(bool ping, FaultKind kind);
    void violation(std::string text);

    mutable std::mutex mutex_; // guards every member below
    Responder responder_;
    std::deque<std::pair<std::size_t, Answer>> scripts_;
    std::deque<PendingLog> logs_;
    std::vector<ActiveFault> faults_;
    std::deque<Bytes> output_;
    Bytes inbound_;
    std::vector<ReportKind> kinds_;
    std::vector<DataReport> data_;
    std::vector<std::string> violations_;
    std::optional<std::uint8_t> lastSequence_;
    Bytes pingLeftover_; // wire bytes 4 and 5 of the last ping or fallback
    int pings_ = 0;
    int fallbacks_ = 0;
    bool overrun_ = false;
};

} // namespace boardsim

#endif
