#include <krnsim/function_units.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <variant>

namespace krnsim {

namespace {

constexpr std::uint8_t kNobodyAnswered = 0x01; // reader status: no unit answered
constexpr std::uint8_t kNoUnitCommand = 0x81;  // reader status: not a unit request
constexpr std::uint8_t kUnitOk = 0x00;
constexpr std::uint8_t kUnitBusy = 0x0F;
constexpr std::uint8_t kUnitEeprom = 0x10;
constexpr std::uint8_t kUnitRange = 0x11;
constexpr std::uint8_t kUnitUnknown = 0x80;

constexpr std::uint8_t kIsoMode = 1;
constexpr std::uint8_t kIsoModeGetValues = 5;
constexpr std::uint8_t kGetValues = 0xC3;

// Value bytes a known unit command carries; -1 for any other command byte.
int isoValueCount(std::uint8_t command) {
    switch (command) {
    case 0xC2:
    case 0xDD: return 2;
    case 0xC4:
    case 0xCA:
    case 0xCB: return 1;
    case 0xC0:
    case 0xC1:
    case 0xC3:
    case 0xC5:
    case 0xC6:
    case 0xC7:
    case 0xC8:
    case 0xC9:
    case 0xDF:
    case 0xDE:
    case 0xDC: return 0;
    default: return -1;
    }
}

// Length of the DAT/MUX answer to a command byte (4 for an unknown command).
std::size_t isoAnswerLength(std::uint8_t command) {
    if (command == 0xC0 || command == 0xDF) return 11;
    if (command == kGetValues) return 10;
    return 4;
}

int umuxValueCount(std::uint8_t command) {
    switch (command) {
    case 0xDF:
    case 0xDE:
    case 0xDC: return 2;
    case 0xDD: return 3;
    default: return -1;
    }
}

std::size_t umuxAnswerLength(std::uint8_t command) {
    return command == 0xDF || command == 0xDC ? 9 : 3;
}

Reply readerStatus(std::uint8_t status) {
    return Reply::frame(status);
}

bool startsWith(ByteView bytes, std::initializer_list<std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// An answer of `length` bytes: `head`, then `data`, then zeros.
Bytes answerOf(std::size_t length, Bytes head, const Bytes& data = {}) {
    head.insert(head.end(), data.begin(), data.end());
    head.resize(length, 0x00);
    return head;
}

// The reader's reply to a unit's answer, after the unit's fault if it has one.
Reply deliver(Bytes answer, const std::optional<UnitFault>& fault) {
    if (fault && fault->kind == UnitFault::Kind::Short)
        answer.resize(answer.size() - std::min(fault->count, answer.size()));
    if (fault && fault->kind == UnitFault::Kind::Long) answer.resize(answer.size() + fault->count, 0x00);
    return Reply::frame(0x00, std::move(answer));
}

template <typename Unit> void count(Unit& unit, std::uint8_t command) {
    ++unit.executed[command];
}

} // namespace

struct FunctionUnitBus::State {
    mutable std::mutex mutex; // guards everything below; a leaf lock
    std::map<std::uint8_t, std::variant<DatUnit, MuxUnit>> units;
    std::optional<UmuxUnit> umux;
    std::map<std::uint8_t, std::deque<UnitFault>> faults;
    std::deque<UnitFault> umuxFaults;

    static std::optional<UnitFault> take(std::deque<UnitFault>& queue) {
        if (queue.empty()) return std::nullopt;
        UnitFault fault = queue.front();
        queue.pop_front();
        return fault;
    }

    // The tuner's answer [status][data] to a command it carries out.
    std::pair<std::uint8_t, Bytes> runDat(std::uint8_t address, DatUnit& unit, std::uint8_t command,
                                          ByteView values) {
        if (unit.busyLeft > 0) {
            --unit.busyLeft;
            return {kUnitBusy, {}};
        }
        if (isoValueCount(command) < 0 || command >= 0xD0) return {kUnitUnknown, {}};
        Bytes answerData;
        switch (command) {
        case 0xC0: answerData = unit.version; break;
        case 0xC2:
            unit.capacity1 = values[0];
            unit.capacity2 = values[1];
            break;
        case kGetValues: answerData = unit.values; break;
        case 0xC4: unit.output = values[0]; break;
        case 0xC6: unit.busyLeft = unit.busyAfterTuning; break;
        case 0xC8:
            if (unit.eepromError) return {kUnitEeprom, {}};
            break;
        case 0xCA: {
            const std::uint8_t to = values[0];
            if (to == address) break;
            if (units.count(to) != 0) return {kUnitRange, {}};
            DatUnit moved = unit; // `unit` lives in the table: copy before erasing
            count(moved, command);
            units.erase(address);
            units.emplace(to, std::move(moved));
            return {kUnitOk, {}};
        }
        case 0xCB: unit.mode = values[0]; break;
        default: break; // reset, retune, switch antenna, detect: counted only
        }
        count(unit, command);
        return {kUnitOk, std::move(answerData)};
    }

    std::pair<std::uint8_t, Bytes> runMux(MuxUnit& unit, std::uint8_t command, ByteView values) {
        if (command != 0xDF && command != 0xDE && command != 0xDD && command != 0xDC)
            return {kUnitUnknown, {}};
        if (command == 0xDD) {
            if (values[0] >= unit.channels || values[1] >= unit.channels) return {kUnitRange, {}};
            unit.channel1 = values[0];
            unit.channel2 = values[1];
        }
        count(unit, command);
        return {kUnitOk, command == 0xDF ? unit.version : Bytes{}};
    }

    // 0xBF: [mode][bits hi][bits lo][request].
    Reply iso(const Request& request) {
        const ByteView data(request.data);
        if (data.size() < 3) return readerStatus(kNoUnitCommand);
        const std::uint8_t mode = data[0];
        const unsigned bits = static_cast<unsigned>(data[1] << 8 | data[2]);
        const ByteView unitRequest = data.subspan(3);

        std::uint8_t command = 0;
        std::uint8_t address = 0;
        ByteView values;
        if (startsWith(unitRequest, {0x02, 0x1F, 0x00, 0x04, 0x02, kGetValues, 0xFE})) {
            if (unitRequest.size() != 8 || mode != kIsoModeGetValues) return readerStatus(kNoUnitCommand);
            command = kGetValues;
            address = unitRequest[7];
        } else if (startsWith(unitRequest, {0x02, 0x1F, 0x02}) && unitRequest.size() >= 6 &&
                   unitRequest[4] == 0xFE && mode == kIsoMode && unitRequest[3] != kGetValues) {
            command = unitRequest[3];
            address = unitRequest[5];
            values = unitRequest.subspan(6);
            const int expected = isoValueCount(command);
            if (expected >= 0 && values.size() != static_cast<std::size_t>(expected))
                return readerStatus(kNoUnitCommand);
        } else {
            return readerStatus(kNoUnitCommand);
        }
        const std::size_t length = isoAnswerLength(command);
        if (bits != 8 * length) return readerStatus(kNoUnitCommand);

        const std::lock_guard lock(mutex);
        const auto found = units.find(address);
        if (found == units.end()) return readerStatus(kNobodyAnswered);
        const std::optional<UnitFault> fault = take(faults[address]);
        if (fault && fault->kind == UnitFault::Kind::Silence) return readerStatus(kNobodyAnswered);
        if (fault && fault->kind == UnitFault::Kind::Status)
            return deliver(answerOf(length, {kAnswerLead, fault->unitStatus}), std::nullopt);
        const auto [status, answerData] =
            std::holds_alternative<DatUnit>(found->second)
                ? runDat(address, std::get<DatUnit>(found->second), command, values)
                : runMux(std::get<MuxUnit>(found->second), command, values);
        return deliver(answerOf(length, {kAnswerLead, status}, answerData), fault);
    }

    // 0xBB: [1][6][0][value 1 (2)][answer bits (2)][request].
    Reply uhf(const Request& request) {
        const ByteView data(request.data);
        if (data.size() < 7 || !startsWith(data, {0x01, 0x06, 0x00, 0x00, 0x00}))
            return readerStatus(kNoUnitCommand);
        const unsigned bits = static_cast<unsigned>(data[5] << 8 | data[6]);
        const ByteView unitRequest = data.subspan(7);
        if (unitRequest.size() < 8) return readerStatus(kNoUnitCommand);
        const unsigned field = static_cast<unsigned>(unitRequest[0] << 8 | unitRequest[1]);
        if (field != 8 * (unitRequest.size() - 4) ||
            !startsWith(unitRequest.subspan(2), {0x00, 0x00, 0xE0, 0x0F, 0xFE}))
            return readerStatus(kNoUnitCommand);
        const std::uint8_t command = unitRequest[7];
        const ByteView values = unitRequest.subspan(8);
        const int expected = umuxValueCount(command);
        if (expected >= 0 && values.size() != static_cast<std::size_t>(expected))
            return readerStatus(kNoUnitCommand);
        const std::size_t length = umuxAnswerLength(command);
        if (bits != 8 * length) return readerStatus(kNoUnitCommand);

        const std::lock_guard lock(mutex);
        if (!umux) return readerStatus(kNobodyAnswered);
        const std::optional<UnitFault> fault = take(umuxFaults);
        if (fault && fault->kind == UnitFault::Kind::Silence) return readerStatus(kNobodyAnswered);
        if (fault && fault->kind == UnitFault::Kind::Status)
            return deliver(answerOf(length, {fault->unitStatus}), std::nullopt);
        if (expected < 0) return deliver(answerOf(length, {kUnitUnknown}), fault);
        UmuxUnit& unit = *umux;
        count(unit, command);
        unit.lastValues.assign(values.begin(), values.end());
        Bytes answerData;
        if (command == 0xDF) answerData = unit.version;
        if (command == 0xDC) answerData = unit.power;
        if (command == 0xDD) unit.selected = unit.lastValues;
        return deliver(answerOf(length, {kUnitOk}, answerData), fault);
    }
};

FunctionUnitBus::FunctionUnitBus() : state_(std::make_shared<State>()) {}

void FunctionUnitBus::attach(Reader& reader) {
    std::shared_ptr<State> state = state_;
    reader.setHandler(0xBF,
                      [state](const Request& request, ConnectionContext&) { return state->iso(request); });
    reader.setHandler(0xBB,
                      [state](const Request& request, ConnectionContext&) { return state->uhf(request); });
}

void FunctionUnitBus::addDat(std::uint8_t address, DatUnit unit) {
    const std::lock_guard lock(state_->mutex);
    state_->units.insert_or_assign(address, std::move(unit));
}

void FunctionUnitBus::addMux(std::uint8_t address, MuxUnit unit) {
    const std::lock_guard lock(state_->mutex);
    state_->units.insert_or_assign(address, std::move(unit));
}

void FunctionUnitBus::removeUnit(std::uint8_t address) {
    const std::lock_guard lock(state_->mutex);
    state_->units.erase(address);
}

void FunctionUnitBus::setUmux(std::optional<UmuxUnit> unit) {
    const std::lock_guard lock(state_->mutex);
    state_->umux = std::move(unit);
}

std::optional<DatUnit> FunctionUnitBus::dat(std::uint8_t address) const {
    const std::lock_guard lock(state_->mutex);
    const auto found = state_->units.find(address);
    if (found == state_->units.end() || !std::holds_alternative<DatUnit>(found->second)) return std::nullopt;
    return std::get<DatUnit>(found->second);
}

std::optional<MuxUnit> FunctionUnitBus::mux(std::uint8_t address) const {
    const std::lock_guard lock(state_->mutex);
    const auto found = state_->units.find(address);
    if (found == state_->units.end() || !std::holds_alternative<MuxUnit>(found->second)) return std::nullopt;
    return std::get<MuxUnit>(found->second);
}

std::optional<UmuxUnit> FunctionUnitBus::umux() const {
    const std::lock_guard lock(state_->mutex);
    return state_->umux;
}

void FunctionUnitBus::queueFault(std::uint8_t address, UnitFault fault) {
    const std::lock_guard lock(state_->mutex);
    state_->faults[address].push_back(fault);
}

void FunctionUnitBus::queueUmuxFault(UnitFault fault) {
    const std::lock_guard lock(state_->mutex);
    state_->umuxFaults.push_back(fault);
}

void addDemoUnits(FunctionUnitBus& bus) {
    bus.addDat(1);
    bus.addMux(2);
    bus.setUmux(UmuxUnit{});
}

} // namespace krnsim
