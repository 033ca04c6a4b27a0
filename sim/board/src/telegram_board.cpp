#include <boardsim/telegram_board.h>

#include <algorithm>

namespace boardsim {

namespace {

std::size_t bigEndian(const Bytes& bytes, std::size_t at) {
    return static_cast<std::size_t>(bytes[at]) << 8 | bytes[at + 1];
}

} // namespace

TelegramBoard::TelegramBoard(std::shared_ptr<Board> board) : board_(std::move(board)) {
    board_->setResponder([this](Bytes& inbound) { return respond(inbound); });
}

TelegramBoard::~TelegramBoard() {
    board_->setResponder(nullptr);
}

void TelegramBoard::setRegister(std::uint8_t address, std::uint8_t value) {
    std::lock_guard<std::mutex> guard(mutex_);
    registers_[address] = static_cast<std::uint8_t>((value & ~stuckMask_[address]) |
                                                    (stuckValue_[address] & stuckMask_[address]));
}

std::uint8_t TelegramBoard::registerValue(std::uint8_t address) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return registers_[address];
}

void TelegramBoard::stickBits(std::uint8_t address, std::uint8_t mask, std::uint8_t value) {
    std::lock_guard<std::mutex> guard(mutex_);
    stuckMask_[address] = mask;
    stuckValue_[address] = value;
    registers_[address] = static_cast<std::uint8_t>((registers_[address] & ~mask) | (value & mask));
}

void TelegramBoard::setFirmwareNumber(std::uint8_t major, std::uint8_t minor, std::uint8_t marker) {
    std::lock_guard<std::mutex> guard(mutex_);
    firmware_ = {major, minor, marker};
}

void TelegramBoard::setFirmwareText(std::string text) {
    std::lock_guard<std::mutex> guard(mutex_);
    firmwareText_ = std::move(text);
}

void TelegramBoard::setCommand(std::uint8_t command, CommandReply reply) {
    setCommand(command, [reply](const Bytes&, std::size_t) { return reply; });
}

void TelegramBoard::setCommand(std::uint8_t command, CommandHandler handler) {
    std::lock_guard<std::mutex> guard(mutex_);
    commands_[command] = std::move(handler);
}

void TelegramBoard::injectFault(TelegramFault fault, int value) {
    std::lock_guard<std::mutex> guard(mutex_);
    faults_.emplace_back(fault, value);
}

std::vector<Telegram> TelegramBoard::telegrams() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return record_;
}

void TelegramBoard::clearRecord() {
    std::lock_guard<std::mutex> guard(mutex_);
    record_.clear();
}

Bytes TelegramBoard::answerFor(const Telegram& t, std::uint8_t& status) {
    status = 0;
    switch (t.pid) {
    case kPidRegisterRead: return {t.payload.empty() ? std::uint8_t{0} : registers_[t.payload.back()]};
    case kPidFirmwareNumber: return {firmware_.begin(), firmware_.end()};
    case kPidFirmwareInfo: {
        Bytes text(firmwareText_.begin(), firmwareText_.end());
        text.resize(64, 0);
        return text;
    }
    case kPidCommand: {
        const std::uint8_t command = t.payload.empty() ? 0 : t.payload[0];
        const Bytes parameters(t.payload.begin() + (t.payload.empty() ? 0 : 1), t.payload.end());
        const auto found = commands_.find(command);
        if (found == commands_.end()) return Bytes(t.answered, 0);
        CommandReply reply = found->second(parameters, t.answered);
        status = reply.status;
        return reply.payload;
    }
    default: return Bytes(t.answered, 0);
    }
}

std::vector<Answer> TelegramBoard::respond(Bytes& inbound) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<Answer> answers;
    while (inbound.size() >= 5) {
        Telegram t;
        t.write = (inbound[0] & 0x80) != 0;
        t.pid = inbound[0] & 0x7F;
        t.length = bigEndian(inbound, 1);
        t.answered = t.write ? 0 : bigEndian(inbound, 3);
        if (inbound.size() < 5 + t.length) break;
        t.payload.assign(inbound.begin() + 5, inbound.begin() + 5 + static_cast<std::ptrdiff_t>(t.length));
        inbound.erase(inbound.begin(), inbound.begin() + 5 + static_cast<std::ptrdiff_t>(t.length));
        record_.push_back(t);
        if (t.write) {
            if (t.pid == kPidRegisterWrite && t.payload.size() >= 2) {
                const std::uint8_t address = t.payload[t.payload.size() - 2];
                registers_[address] = static_cast<std::uint8_t>((t.payload.back() & ~stuckMask_[address]) |
                                                                (stuckValue_[address] & stuckMask_[address]));
            } else if (t.pid == kPidCommand && !t.payload.empty()) {
                std::uint8_t status = 0;
                answerFor(t, status);
            }
            continue;
        }
        std::uint8_t status = 0;
        Bytes payload = answerFor(t, status);
        std::uint8_t pid = t.pid;
        std::size_t announced = payload.size();
        bool silent = false;
        for (const auto& [fault, value] : faults_) {
            const auto count = static_cast<std::size_t>(std::max(value, 0));
            switch (fault) {
            case TelegramFault::OtherPid: pid = static_cast<std::uint8_t>(value); break;
            case TelegramFault::Status: status = static_cast<std::uint8_t>(value); break;
            case TelegramFault::Announce:
                announced = count;
                payload.resize(count, 0);
                break;
            case TelegramFault::Shorter:
                payload.resize(payload.size() - std::min(count, payload.size()));
                break;
            case TelegramFault::Longer: payload.resize(payload.size() + count, 0xEE); break;
            case TelegramFault::NoAnswer: silent = true; break;
            }
        }
        faults_.clear();
        if (silent) continue;
        Answer answer;
        answer.bytes = {pid, 0, status, static_cast<std::uint8_t>(announced >> 8),
                        static_cast<std::uint8_t>(announced)};
        answer.bytes.insert(answer.bytes.end(), payload.begin(), payload.end());
        answers.push_back(std::move(answer));
    }
    return answers;
}

} // namespace boardsim
