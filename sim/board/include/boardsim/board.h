// Firmware model of an evaluation board at report level, written from the
// board's side, plugged into the simulated hidapi as a device model. It takes
// the 64-byte output reports the host writes (unnumbered reports: no report id
// on the wire), tells ping, fallback and data reports apart, gathers the data
// payloads into one inbound stream, answers through a responder or a script,
// and returns the input reports it sends back.
//
// Wire offsets below count from the first byte after the report id.
//
// Every member may be called from any thread; one mutex guards the board. The
// responder runs under it and must not call the board.
#ifndef BOARDSIM_BOARD_H
#define BOARDSIM_BOARD_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <hidsim/hidsim.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace boardsim {

// The maker's vendor id and the two boards' product ids, as the board reports
// them on the bus.
inline constexpr std::uint16_t kVendorId = 0x4B45;
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
    LogPacket() = default;
    LogPacket(std::uint8_t index, std::uint8_t flag, Bytes data, std::optional<std::uint8_t> announced = {})
        : index(index), flag(flag), data(std::move(data)), announced(announced) {}

    std::uint8_t index = 0;
    std::uint8_t flag = 0;
    Bytes data;                            // at most 57 bytes fit behind the header
    std::optional<std::uint8_t> announced; // length byte; data size when absent
};

enum class FaultKind {
    NoPingAnswer, // a ping gets no answer
    PingAnswer,   // the ping answer's first byte is `value`
    Silence,      // answers are dropped
    LengthByte,   // answer reports carry `value` as their length byte (0, or above 61)
    ShortReports, // answer reports are cut to `value` bytes
    Split,        // answer reports carry `sizes` payload bytes each, 61 after the list
};

struct Fault {
    Fault() = default;
    Fault(FaultKind kind, int value = 0, std::vector<std::size_t> sizes = {})
        : kind(kind), value(value), sizes(std::move(sizes)) {}

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

class Board : public hidsim::Model {
  public:
    // --- device side ---
    // One output report from the host, while `unread` input reports the board
    // sent are still unread; returns the input reports the board sends now.
    std::vector<Bytes> receive(const std::uint8_t* report, std::size_t length, std::size_t unread = 0);
    std::vector<hidsim::Report> output(std::span<const std::uint8_t> report, std::size_t unread) override;

    // --- control ---
    void reset();
    void setResponder(Responder responder);
    // Answers once the inbound stream holds `requestLength` bytes (scripts are
    // used in order, and only while no responder is set).
    void scriptAnswer(std::size_t requestLength, Answer answer);
    // A log packet sent with the next answer: before its first report
    // (`afterReports` 0) or after that many of its reports.
    void queueLogPacket(LogPacket packet, std::size_t afterReports = 0);
    // The input report that carries a log packet (queue it through
    // hidsim::queueInput to send it unasked).
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

    void answerPing(std::vector<Bytes>& sent);
    void takeData(const std::uint8_t* report, std::vector<Bytes>& sent);
    void sendAnswer(const Answer& answer, std::vector<Bytes>& sent);
    std::optional<Fault> takeFault(bool ping, FaultKind kind);
    void violation(std::string text);

    mutable std::mutex mutex_; // guards every member below
    Responder responder_;
    std::deque<std::pair<std::size_t, Answer>> scripts_;
    std::deque<PendingLog> logs_;
    std::vector<ActiveFault> faults_;
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

// Plugs a board into the simulated hidapi under the maker's vendor id and
// `product`, with unnumbered reports; returns the hidsim device id.
int plug(std::shared_ptr<Board> board, std::uint16_t product = kKx20ProductId, std::string path = {});

} // namespace boardsim

#endif
