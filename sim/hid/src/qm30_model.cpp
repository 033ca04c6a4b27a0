// The dongle's firmware at report level. Every answer is one 64-byte input
// report {id, code, length, data...}; answer parts of a chunked frame are
// {2, 0xA7, m, flag, m bytes}, at most 60 bytes each, flag 0x10 while more follow.
#include <qm30sim/qm30_model.h>

#include "qm30_rf_front.h"

#include <algorithm>

namespace qm30sim {

namespace {

constexpr std::size_t kReportSize = 64;
constexpr std::size_t kReportData = kReportSize - 3;
// The longest answer the chunked transfer describes: 0xC0 and a length byte of 255.
constexpr std::size_t kLongestAnswer = 767;
constexpr std::size_t kEntriesPerReport = (kReportData - 1) / sizeof(InventoryEntry);
constexpr std::size_t kPartBytes = 60;
constexpr std::size_t kChunkBytes = 30;
constexpr std::size_t kLastChunkMax = 58;
constexpr std::uint8_t kMore = 0x10;
constexpr std::uint8_t kInvalidLength = 0x82;
constexpr std::uint8_t kUnknownCommand = 0xFF;

using Lock = std::lock_guard<std::mutex>;

std::string hexByte(std::uint8_t b) {
    const char* digits = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 15]};
}

} // namespace

Qm30Model::Qm30Model() : front_(std::make_unique<RfFront>()) {
    for (std::uint8_t command : {0xB2, 0xB8, 0xB9, 0xBA, 0xBD})
        controllerData_[command] = {};
    controllerData_[0xB2] = {0x01, 0x02};
}

Qm30Model::~Qm30Model() = default;

std::vector<hidsim::Report> Qm30Model::output(std::span<const std::uint8_t> report, std::size_t) {
    Lock lock(mutex_);
    if (report.size() < 2) {
        violations_.push_back("output report of " + std::to_string(report.size()) + " bytes");
        return {};
    }
    Report in;
    if (report[0] == 1)
        in = transceiver(report);
    else if (report[0] == 2)
        in = controller(report);
    else
        in = answer(report[0], kUnknownCommand, {});
    if (nextCode_ >= 0) {
        in[1] = static_cast<std::uint8_t>(nextCode_);
        nextCode_ = -1;
        // The controller reported a failure: the frame it was collecting is abandoned.
        collecting_ = false;
        frame_.clear();
    }
    if (nextLength_ >= 0) {
        in[2] = static_cast<std::uint8_t>(nextLength_);
        nextLength_ = -1;
    }
    return {in};
}

Qm30Model::Report Qm30Model::answer(std::uint8_t id, std::uint8_t code,
                                    const std::vector<std::uint8_t>& data) {
    Report in(kReportSize, 0);
    in[0] = id;
    in[1] = code;
    std::size_t n = std::min(data.size(), kReportSize - 3);
    in[2] = static_cast<std::uint8_t>(n);
    std::copy_n(data.begin(), n, in.begin() + 3);
    return in;
}

Qm30Model::Report Qm30Model::answer(std::uint8_t id, const FrameAnswer& frameAnswer) {
    std::vector<std::uint8_t> data = frameAnswer.payload;
    data.insert(data.end(), frameAnswer.trailing.begin(), frameAnswer.trailing.end());
    Report in = answer(id, frameAnswer.code, data);
    if (frameAnswer.lengthByte) in[2] = *frameAnswer.lengthByte;
    return in;
}

std::optional<FrameAnswer> Qm30Model::nextScripted() {
    if (script_.empty()) return std::nullopt;
    FrameAnswer next = std::move(script_.front());
    script_.pop_front();
    return next;
}

FrameAnswer Qm30Model::runFrame(const std::vector<std::uint8_t>& frame, std::size_t room) {
    frames_.push_back(frame);
    if (std::optional<FrameAnswer> scripted = nextScripted()) return *scripted;
    if (handler_) return handler_(frame);
    return front_->exchange(frame, room);
}

// {2, 0xA0, 1, p}: the count of entries, then as many as the report holds.
Qm30Model::Report Qm30Model::inventory(std::span<const std::uint8_t> report) {
    inventoryParameters_.push_back(report.size() > 3 && report[2] >= 1 ? report[3] : 0);
    if (std::optional<FrameAnswer> scripted = nextScripted()) return answer(2, *scripted);
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(std::min<std::size_t>(inventory_.size(), 0xFF))};
    const std::size_t n = std::min(inventory_.size(), kEntriesPerReport);
    for (std::size_t i = 0; i < n; ++i)
        data.insert(data.end(), inventory_[i].begin(), inventory_[i].end());
    return answer(2, 0x80, data);
}

Qm30Model::Report Qm30Model::transceiver(std::span<const std::uint8_t> report) {
    std::uint8_t command = report[1];
    std::size_t n = report.size() > 2 ? report[2] : 0;
    if (command != kEcho && 3 + n > report.size()) {
        violations_.push_back("transceiver command " + hexByte(command) + " announces " + std::to_string(n) +
                              " data bytes");
        return answer(1, kInvalidLength, {});
    }
    std::vector<std::uint8_t> data(report.begin() + 3, report.begin() + 3 + static_cast<std::ptrdiff_t>(n));
    switch (command) {
    case kEcho: return answer(1, kEcho, {});
    case kIdentify: return answer(1, 0x00, {identification_.begin(), identification_.end()});
    case kProtocolSelect:
        if (failSelect_ >= 0) {
            auto code = static_cast<std::uint8_t>(failSelect_);
            failSelect_ = -1;
            return answer(1, code, {});
        }
        selected_ = data;
        front_->select(selected_);
        return answer(1, 0x00, {});
    case kRegisterWrite: registerWrites_.push_back(data); return answer(1, 0x00, {});
    case kSendReceive: return answer(1, runFrame(data, kReportData));
    default: return answer(1, kUnknownCommand, {});
    }
}

Qm30Model::Report Qm30Model::controller(std::span<const std::uint8_t> report) {
    std::uint8_t command = report[1];
    if (command == kChunk) return chunk(report);
    if (command == kAnswerPart) return nextPart();
    if (command == kRevision) return answer(2, kRevision, revision_);
    if (command == kAfterSelect) return answer(2, 0x00, {});
    if (command == kInventory) return inventory(report);
    auto it = controllerData_.find(command);
    if (it != controllerData_.end()) return answer(2, command, it->second);
    return answer(2, kUnknownCommand, {});
}

Qm30Model::Report Qm30Model::chunkViolation(const std::string& what) {
    violations_.push_back(what);
    collecting_ = false;
    frame_.clear();
    return answer(2, kInvalidLength, {});
}

// A chunk of a frame: the first {2, 0xA6, k + 2, flag, type, n & 0xFF, k bytes},
// later ones {2, 0xA6, k, flag, k bytes}; 30 bytes each except a last chunk of
// up to 58.
Qm30Model::Report Qm30Model::chunk(std::span<const std::uint8_t> report) {
    if (report.size() < 4)
        return chunkViolation("chunk report of " + std::to_string(report.size()) + " bytes");
    std::uint8_t length = report[2];
    std::uint8_t flag = report[3];
    if (flag != 0x00 && flag != kMore) return chunkViolation("chunk flag " + hexByte(flag));
    bool last = flag == 0x00;
    std::size_t k;
    std::size_t at;
    if (!collecting_) {
        if (report.size() < 6 || length < 2) return chunkViolation("first chunk too short");
        std::uint8_t type = report[4];
        std::size_t base = type == 0x04 ? 0 : type == 0x24 ? 256 : type == 0x44 ? 512 : 1024;
        if (base == 1024) return chunkViolation("chunk type " + hexByte(type));
        total_ = base + report[5];
        if (total_ == 0) return chunkViolation("frame of 0 bytes announced");
        k = length - 2u;
        at = 6;
        collecting_ = true;
        frame_.clear();
    } else {
        k = length;
        at = 4;
    }
    if (at + k > report.size())
        return chunkViolation("chunk of " + std::to_string(k) + " bytes past the report");
    std::size_t left = total_ - frame_.size();
    if (last && k != left)
        return chunkViolation("last chunk of " + std::to_string(k) + " bytes, " + std::to_string(left) +
                              " expected");
    if (!last && (k != kChunkBytes || left <= kLastChunkMax))
        return chunkViolation("chunk of " + std::to_string(k) + " bytes with more to come, " +
                              std::to_string(left) + " left");
    if (last && k > kLastChunkMax) return chunkViolation("last chunk of " + std::to_string(k) + " bytes");
    frame_.insert(frame_.end(), report.begin() + static_cast<std::ptrdiff_t>(at),
                  report.begin() + static_cast<std::ptrdiff_t>(at + k));
    if (!last) return answer(2, kChunk, {});

    collecting_ = false;
    FrameAnswer a = runFrame(frame_, kLongestAnswer);
    frame_.clear();
    if (ackLast_) {
        ackLast_ = false;
        return answer(2, kChunk, {});
    }
    pending_.clear();
    pending_.push_back(a.code);
    pending_.push_back(
        a.lengthByte.value_or(static_cast<std::uint8_t>((a.payload.size() + a.trailing.size()) & 0xFF)));
    pending_.insert(pending_.end(), a.payload.begin(), a.payload.end());
    pending_.insert(pending_.end(), a.trailing.begin(), a.trailing.end());
    pendingAt_ = 0;
    serving_ = true;
    partNumber_ = 0;
    return nextPart();
}

Qm30Model::Report Qm30Model::nextPart() {
    if (!serving_) {
        violations_.push_back("answer part asked with no answer pending");
        return answer(2, kInvalidLength, {});
    }
    ++partNumber_;
    ++partsServed_;
    if (foreignPart_ == partNumber_) {
        foreignPart_ = 0;
        serving_ = false;
        return answer(2, foreignCode_, {});
    }
    std::size_t m = std::min(kPartBytes, pending_.size() - pendingAt_);
    Report in(kReportSize, 0);
    in[0] = 2;
    in[1] = kAnswerPart;
    in[2] = static_cast<std::uint8_t>(m);
    std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_), m, in.begin() + 4);
    pendingAt_ += m;
    bool more = pendingAt_ < pending_.size();
    if (endless_ && !more) {
        // Start over: the answer never ends.
        pendingAt_ = 0;
        more = true;
    }
    in[3] = more ? kMore : 0x00;
    if (!more) serving_ = false;
    return in;
}

rfsim::Field& Qm30Model::field() {
    return front_->field();
}
void Qm30Model::setFrameHandler(FrameHandler handler) {
    Lock lock(mutex_);
    handler_ = std::move(handler);
}
void Qm30Model::queueAnswer(FrameAnswer answer) {
    Lock lock(mutex_);
    script_.push_back(std::move(answer));
}
void Qm30Model::setInventoryEntries(std::vector<InventoryEntry> entries) {
    Lock lock(mutex_);
    inventory_ = std::move(entries);
}
void Qm30Model::setIdentification(const std::string& text) {
    Lock lock(mutex_);
    identification_ = text;
}
void Qm30Model::setRevision(std::vector<std::uint8_t> bytes) {
    Lock lock(mutex_);
    revision_ = std::move(bytes);
}
void Qm30Model::setControllerData(std::uint8_t command, std::vector<std::uint8_t> data) {
    Lock lock(mutex_);
    controllerData_[command] = std::move(data);
}
void Qm30Model::failNextSelect(std::uint8_t code) {
    Lock lock(mutex_);
    failSelect_ = code;
}
void Qm30Model::nextResultCode(std::uint8_t code) {
    Lock lock(mutex_);
    nextCode_ = code;
}
void Qm30Model::nextLengthByte(std::uint8_t length) {
    Lock lock(mutex_);
    nextLength_ = length;
}
void Qm30Model::ackLastChunk() {
    Lock lock(mutex_);
    ackLast_ = true;
}
void Qm30Model::foreignPart(int part, std::uint8_t code) {
    Lock lock(mutex_);
    foreignPart_ = part;
    foreignCode_ = code;
}
void Qm30Model::endlessParts(bool on) {
    Lock lock(mutex_);
    endless_ = on;
}
std::vector<std::uint8_t> Qm30Model::selectedProtocol() const {
    Lock lock(mutex_);
    return selected_;
}
std::vector<std::vector<std::uint8_t>> Qm30Model::registerWrites() const {
    Lock lock(mutex_);
    return registerWrites_;
}
std::vector<std::vector<std::uint8_t>> Qm30Model::frames() const {
    Lock lock(mutex_);
    return frames_;
}
std::vector<std::string> Qm30Model::violations() const {
    Lock lock(mutex_);
    return violations_;
}
std::vector<std::uint8_t> Qm30Model::inventoryParameters() const {
    Lock lock(mutex_);
    return inventoryParameters_;
}
int Qm30Model::partsServed() const {
    Lock lock(mutex_);
    return partsServed_;
}

hidsim::DeviceProfile qm30Profile() {
    hidsim::DeviceProfile p;
    p.vendor = kVendorId;
    p.product = kProductId;
    p.manufacturer = kManufacturer;
    p.productName = L"QM30 dongle";
    p.serial = L"QM30-0001";
    p.numberedReports = true;
    return p;
}

int plugQm30(const std::shared_ptr<Qm30Model>& model) {
    return hidsim::plug(qm30Profile(), model);
}

} // namespace qm30sim
