#include <krnsim/fault.h>

#include <algorithm>
#include <stdexcept>

namespace krnsim {

namespace {

void require(bool condition, const char* what) {
    if (!condition) throw std::invalid_argument(what);
}

Plan sendNow(Bytes bytes) {
    Plan plan;
    if (!bytes.empty()) plan.steps.push_back(Step{Millis(0), std::move(bytes)});
    return plan;
}

} // namespace

Fault Fault::badCrc() {
    return Fault(FaultKind::BadCrc);
}

Fault Fault::wrongCommand(std::uint8_t command) {
    Fault fault(FaultKind::WrongCommand);
    fault.value_ = command;
    return fault;
}

Fault Fault::wrongAddress(std::uint8_t address) {
    Fault fault(FaultKind::WrongAddress);
    fault.value_ = address;
    return fault;
}

Fault Fault::lengthDelta(int k) {
    require(k != 0 && k > -65536 && k < 65536, "length change must be non-zero and below 65536");
    Fault fault(FaultKind::LengthDelta);
    fault.amount_ = k;
    return fault;
}

Fault Fault::truncate(std::size_t k) {
    require(k > 0, "truncation must remove at least one byte");
    Fault fault(FaultKind::Truncate);
    fault.amount_ = static_cast<long>(std::min<std::size_t>(k, kMaxFrameLength));
    return fault;
}

Fault Fault::surplus(Bytes extra) {
    require(!extra.empty(), "surplus needs bytes");
    Fault fault(FaultKind::Surplus);
    fault.bytes_ = std::move(extra);
    return fault;
}

Fault Fault::split(std::vector<std::size_t> pieces, std::vector<Millis> gaps) {
    require(!pieces.empty(), "split needs pieces");
    require(gaps.size() == pieces.size(), "split needs one gap per piece");
    require(std::none_of(pieces.begin(), pieces.end(), [](std::size_t n) { return n == 0; }),
            "split pieces must not be empty");
    require(std::none_of(gaps.begin(), gaps.end(), [](Millis gap) { return gap.count() < 0; }),
            "split gaps must not be negative");
    Fault fault(FaultKind::Split);
    fault.pieces_ = std::move(pieces);
    fault.gaps_ = std::move(gaps);
    return fault;
}

Fault Fault::delay(Millis pause) {
    require(pause.count() >= 0, "delay must not be negative");
    Fault fault(FaultKind::Delay);
    fault.pause_ = pause;
    return fault;
}

Fault Fault::silence() {
    return Fault(FaultKind::Silence);
}

Fault Fault::raw(Bytes bytes) {
    require(!bytes.empty(), "raw reply needs bytes");
    Fault fault(FaultKind::Raw);
    fault.bytes_ = std::move(bytes);
    return fault;
}

Fault Fault::noise(Bytes bytes) {
    require(!bytes.empty(), "noise needs bytes");
    Fault fault(FaultKind::Noise);
    fault.bytes_ = std::move(bytes);
    return fault;
}

Fault Fault::close() {
    return Fault(FaultKind::Close);
}

Fault Fault::closeAfter(std::size_t k) {
    Fault fault(FaultKind::CloseAfter);
    fault.amount_ = static_cast<long>(std::min<std::size_t>(k, kMaxFrameLength));
    return fault;
}

Fault Fault::reset() {
    return Fault(FaultKind::Reset);
}

Fault& Fault::onlyCommand(std::uint8_t command) {
    command_ = command;
    return *this;
}

Fault& Fault::onlyConnection(ConnectionId connection) {
    connection_ = connection;
    return *this;
}

bool Fault::matches(std::uint8_t command, ConnectionId connection) const {
    return (!command_ || *command_ == command) && (!connection_ || *connection_ == connection);
}

Plan Fault::apply(const Bytes& frame, Form form) const {
    const std::size_t head = headerLength(form);
    Bytes bytes = frame;
    switch (kind_) {
    case FaultKind::BadCrc: bytes[bytes.size() - 2] ^= 0xFF; return sendNow(std::move(bytes));
    case FaultKind::WrongCommand:
        bytes[head + 1] = value_;
        rewriteCrc(bytes);
        return sendNow(std::move(bytes));
    case FaultKind::WrongAddress:
        bytes[head] = value_;
        rewriteCrc(bytes);
        return sendNow(std::move(bytes));
    case FaultKind::LengthDelta:
        if (form == Form::Advanced) {
            const auto length = static_cast<std::uint16_t>((bytes[1] << 8 | bytes[2]) + amount_);
            bytes[1] = static_cast<std::uint8_t>(length >> 8);
            bytes[2] = static_cast<std::uint8_t>(length);
        } else {
            bytes[0] = static_cast<std::uint8_t>(bytes[0] + amount_);
        }
        rewriteCrc(bytes);
        return sendNow(std::move(bytes));
    case FaultKind::Truncate:
        bytes.resize(bytes.size() - std::min(bytes.size(), static_cast<std::size_t>(amount_)));
        return sendNow(std::move(bytes));
    case FaultKind::Surplus:
        bytes.insert(bytes.end(), bytes_.begin(), bytes_.end());
        return sendNow(std::move(bytes));
    case FaultKind::Split: {
        Plan plan;
        std::size_t at = 0;
        Millis pause{0};
        for (std::size_t i = 0; i < pieces_.size() && at < bytes.size(); ++i) {
            const std::size_t take = std::min(pieces_[i], bytes.size() - at);
            plan.steps.push_back(Step{pause, Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                   bytes.begin() + static_cast<std::ptrdiff_t>(at + take))});
            at += take;
            pause = gaps_[i];
        }
        if (at < bytes.size())
            plan.steps.push_back(
                Step{pause, Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end())});
        return plan;
    }
    case FaultKind::Delay: {
        Plan plan;
        plan.steps.push_back(Step{pause_, std::move(bytes)});
        return plan;
    }
    case FaultKind::Silence: return Plan{};
    case FaultKind::Raw: return sendNow(bytes_);
    case FaultKind::Noise: {
        Bytes all = bytes_;
        all.insert(all.end(), bytes.begin(), bytes.end());
        return sendNow(std::move(all));
    }
    case FaultKind::Close: return Plan{{}, EndAction::Close};
    case FaultKind::CloseAfter: {
        bytes.resize(std::min(bytes.size(), static_cast<std::size_t>(amount_)));
        Plan plan = sendNow(std::move(bytes));
        plan.end = EndAction::Close;
        return plan;
    }
    case FaultKind::Reset: return Plan{{}, EndAction::Reset};
    }
    return sendNow(std::move(bytes));
}

std::string Fault::describe() const {
    switch (kind_) {
    case FaultKind::BadCrc: return "bad CRC";
    case FaultKind::WrongCommand: return "wrong command";
    case FaultKind::WrongAddress: return "wrong address";
    case FaultKind::LengthDelta: return "length field " + std::to_string(amount_);
    case FaultKind::Truncate: return "truncated " + std::to_string(amount_);
    case FaultKind::Surplus: return "surplus " + std::to_string(bytes_.size());
    case FaultKind::Split: return "split " + std::to_string(pieces_.size());
    case FaultKind::Delay: return "delay " + std::to_string(pause_.count()) + " ms";
    case FaultKind::Silence: return "silence";
    case FaultKind::Raw: return "raw";
    case FaultKind::Noise: return "noise";
    case FaultKind::Close: return "close";
    case FaultKind::CloseAfter: return "close after " + std::to_string(amount_);
    case FaultKind::Reset: return "reset";
    }
    return "?";
}

} // namespace krnsim
