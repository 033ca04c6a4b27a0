#include <boardsim/board.h>

#include <algorithm>
#include <array>

namespace boardsim {

namespace {

constexpr std::array<std::uint8_t, 6> kPing{0x07, 0x04, 0x03, 0x01, 0x04, 0x04};
constexpr std::array<std::uint8_t, 6> kFallback{0x08, 0x04, 0x03, 0x01, 0x00, 0xEB};
constexpr std::uint8_t kPadding = 0xCB;

// Wire offsets of a data report and of an answer report.
constexpr std::size_t kSequence = 0;
constexpr std::size_t kLength = 1;
constexpr std::size_t kFlag = 2;
constexpr std::size_t kPayload = 3;
// Log packet: mark, ring index, flag, length, data.
constexpr std::size_t kLogHeader = 4;
constexpr std::size_t kLogData = kPayload + kLogHeader;
constexpr std::size_t kMaxLogData = kWireReportSize - kLogData;

bool startsWith(const std::uint8_t* report, const std::array<std::uint8_t, 6>& head) {
    return std::equal(head.begin(), head.end(), report);
}

bool isPingFault(FaultKind kind) {
    return kind == FaultKind::NoPingAnswer || kind == FaultKind::PingAnswer;
}

} // namespace

std::vector<hidsim::Report> Board::output(std::span<const std::uint8_t> report, std::size_t unread) {
    return receive(report.data(), report.size(), unread);
}

std::vector<Bytes> Board::receive(const std::uint8_t* report, std::size_t length, std::size_t unread) {
    std::lock_guard lock(mutex_);
    std::vector<Bytes> sent;
    if (report == nullptr || length != kWireReportSize) {
        violation("output report of " + std::to_string(length) + " bytes");
        return sent;
    }
    if (startsWith(report, kPing)) {
        kinds_.push_back(ReportKind::Ping);
        ++pings_;
        pingLeftover_.assign(report + 4, report + 6);
        // A ping opens a host session: its first data report may start any sequence.
        lastSequence_.reset();
        answerPing(sent);
    } else if (startsWith(report, kFallback)) {
        kinds_.push_back(ReportKind::Fallback);
        ++fallbacks_;
        pingLeftover_.assign(report + 4, report + 6);
    } else {
        kinds_.push_back(ReportKind::Data);
        if (unread != 0) overrun_ = true;
        takeData(report, sent);
    }
    return sent;
}

void Board::takeData(const std::uint8_t* report, std::vector<Bytes>& sent) {
    DataReport record{report[kSequence], report[kLength], true};
    const std::string where = "data report " + std::to_string(data_.size() + 1) + ": ";
    if (record.length < 1 || record.length > kMaxPayload) {
        violation(where + "length " + std::to_string(record.length));
        record.valid = false;
    }
    if (report[kFlag] != 0) {
        violation(where + "byte 3 is " + std::to_string(report[kFlag]));
        record.valid = false;
    }
    if (lastSequence_ && record.sequence != static_cast<std::uint8_t>(*lastSequence_ + 1)) {
        violation(where + "sequence " + std::to_string(record.sequence) + " after " +
                  std::to_string(*lastSequence_));
        record.valid = false;
    }
    lastSequence_ = record.sequence;
    if (record.valid) {
        // The host refills the report with padding after each data report; only
        // the two bytes a ping wrote may still stand where the payload ended.
        for (std::size_t i = kPayload + record.length; i < kWireReportSize; ++i) {
            const bool leftover =
                (i == 4 || i == 5) && pingLeftover_.size() == 2 && report[i] == pingLeftover_[i - 4];
            if (report[i] != kPadding && !leftover) {
                violation(where + "padding byte " + std::to_string(i + 1) + " is " +
                          std::to_string(report[i]));
                record.valid = false;
                break;
            }
        }
    }
    pingLeftover_.clear();
    data_.push_back(record);
    if (!record.valid) return;
    inbound_.insert(inbound_.end(), report + kPayload, report + kPayload + record.length);

    if (responder_) {
        for (const Answer& answer : responder_(inbound_))
            sendAnswer(answer, sent);
        return;
    }
    while (!scripts_.empty() && inbound_.size() >= scripts_.front().first) {
        inbound_.erase(inbound_.begin(),
                       inbound_.begin() + static_cast<std::ptrdiff_t>(scripts_.front().first));
        const Answer answer = std::move(scripts_.front().second);
        scripts_.pop_front();
        sendAnswer(answer, sent);
    }
}

void Board::answerPing(std::vector<Bytes>& sent) {
    if (takeFault(true, FaultKind::NoPingAnswer)) return;
    Bytes answer(kWireReportSize, 0);
    const std::optional<Fault> other = takeFault(true, FaultKind::PingAnswer);
    answer[0] = other ? static_cast<std::uint8_t>(other->value) : kPingAnswerByte;
    sent.push_back(std::move(answer));
}

void Board::sendAnswer(const Answer& answer, std::vector<Bytes>& sent) {
    std::deque<PendingLog> logs;
    logs.swap(logs_);
    if (takeFault(false, FaultKind::Silence)) return;
    const std::optional<Fault> lengthByte = takeFault(false, FaultKind::LengthByte);
    const std::optional<Fault> shortReports = takeFault(false, FaultKind::ShortReports);
    const std::optional<Fault> split = takeFault(false, FaultKind::Split);

    auto sendLogs = [&](std::size_t reportsSent, bool last) {
        for (auto it = logs.begin(); it != logs.end();) {
            if (it->afterReports == reportsSent || (last && it->afterReports > reportsSent)) {
                sent.push_back(logPacketReport(it->packet));
                it = logs.erase(it);
            } else {
                ++it;
            }
        }
    };

    std::size_t offset = 0;
    std::size_t reports = 0;
    while (offset < answer.bytes.size()) {
        sendLogs(reports, false);
        std::size_t size = kMaxPayload;
        if (split && reports < split->sizes.size()) size = std::min(split->sizes[reports], kMaxPayload);
        size = std::min(size, answer.bytes.size() - offset);
        Bytes report(kWireReportSize, 0);
        report[kLength] =
            lengthByte ? static_cast<std::uint8_t>(lengthByte->value) : static_cast<std::uint8_t>(size);
        report[kFlag] = answer.status;
        std::copy_n(answer.bytes.begin() + static_cast<std::ptrdiff_t>(offset), size,
                    report.begin() + kPayload);
        if (shortReports)
            report.resize(
                std::min<std::size_t>(static_cast<std::size_t>(shortReports->value), report.size()));
        sent.push_back(std::move(report));
        offset += size;
        ++reports;
        // A split list of zeros would never end: past the list every report is full.
        if (size == 0 && split && reports > split->sizes.size()) break;
    }
    sendLogs(reports, true);
}

std::optional<Fault> Board::takeFault(bool ping, FaultKind kind) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->fault.kind != kind || isPingFault(kind) != ping) continue;
        Fault fault = it->fault;
        if (!it->persistent) faults_.erase(it);
        return fault;
    }
    return std::nullopt;
}

void Board::violation(std::string text) {
    violations_.push_back(std::move(text));
}

Bytes Board::logPacketReport(const LogPacket& packet) {
    Bytes report(kWireReportSize, 0);
    const std::size_t size = std::min(packet.data.size(), kMaxLogData);
    report[kLength] = static_cast<std::uint8_t>(kLogHeader + size);
    report[kPayload] = kLogPacketMark;
    report[kPayload + 1] = packet.index;
    report[kPayload + 2] = packet.flag;
    report[kPayload + 3] =
        packet.announced.value_or(static_cast<std::uint8_t>(std::min<std::size_t>(packet.data.size(), 255)));
    std::copy_n(packet.data.begin(), size, report.begin() + kLogData);
    return report;
}

void Board::reset() {
    std::lock_guard lock(mutex_);
    responder_ = nullptr;
    scripts_.clear();
    logs_.clear();
    faults_.clear();
    inbound_.clear();
    kinds_.clear();
    data_.clear();
    violations_.clear();
    lastSequence_.reset();
    pingLeftover_.clear();
    pings_ = 0;
    fallbacks_ = 0;
    overrun_ = false;
}

void Board::setResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void Board::scriptAnswer(std::size_t requestLength, Answer answer) {
    std::lock_guard lock(mutex_);
    scripts_.emplace_back(requestLength, std::move(answer));
}

void Board::queueLogPacket(LogPacket packet, std::size_t afterReports) {
    std::lock_guard lock(mutex_);
    logs_.push_back({std::move(packet), afterReports});
}

void Board::injectFault(Fault fault, bool persistent) {
    std::lock_guard lock(mutex_);
    faults_.push_back({std::move(fault), persistent});
}

void Board::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

int Board::pings() const {
    std::lock_guard lock(mutex_);
    return pings_;
}

int Board::fallbacks() const {
    std::lock_guard lock(mutex_);
    return fallbacks_;
}

std::vector<ReportKind> Board::kinds() const {
    std::lock_guard lock(mutex_);
    return kinds_;
}

std::vector<DataReport> Board::dataReports() const {
    std::lock_guard lock(mutex_);
    return data_;
}

Bytes Board::inbound() const {
    std::lock_guard lock(mutex_);
    return inbound_;
}

std::vector<std::string> Board::violations() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

bool Board::overrun() const {
    std::lock_guard lock(mutex_);
    return overrun_;
}

int plug(std::shared_ptr<Board> board, std::uint16_t product, std::string path) {
    hidsim::DeviceProfile profile;
    profile.vendor = kVendorId;
    profile.product = product;
    profile.manufacturer = L"Kesto";
    profile.productName = product == kKx10ProductId ? L"KX10 evaluation board" : L"KX20 evaluation board";
    profile.path = std::move(path);
    profile.numberedReports = false;
    return hidsim::plug(profile, std::move(board));
}

} // namespace boardsim
