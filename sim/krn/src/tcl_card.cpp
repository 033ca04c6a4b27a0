#include <krnsim/tcl_card.h>

#include <algorithm>

namespace krnsim {

namespace {

constexpr std::uint8_t kCommand = 0xB2;
constexpr std::uint8_t kNoCard = 0x01;
constexpr std::uint8_t kLengthError = 0x81;
constexpr std::uint8_t kMoreData = 0x94;
constexpr std::uint8_t kIsoError = 0x96;

Bytes idBytes(std::uint8_t pstat, std::size_t id) {
    return Bytes{pstat, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
}

} // namespace

TclCard::TclCard(Reader& reader) : reader_(reader) {
    model_ = [](const Bytes& apdu) {
        Bytes response = apdu;
        response.push_back(0x90);
        response.push_back(0x00);
        return response;
    };
}

void TclCard::install() {
    reader_.setHandler(kCommand,
                       [this](const Request& request, ConnectionContext&) { return handle(request); });
}

void TclCard::setModel(Model model) {
    std::lock_guard lock(mutex_);
    model_ = std::move(model);
}
void TclCard::setPresent(bool present) {
    std::lock_guard lock(mutex_);
    present_ = present;
    halted_ = false;
}
void TclCard::setCid(std::uint8_t cid) {
    std::lock_guard lock(mutex_);
    cid_ = cid;
}
void TclCard::setResponseTime(Millis time) {
    std::lock_guard lock(mutex_);
    responseTime_ = time;
}
void TclCard::setWaitingTimes(std::vector<WaitingTimeRequest> requests) {
    std::lock_guard lock(mutex_);
    waitingTimes_ = std::move(requests);
}
void TclCard::setChainingSize(std::size_t size) {
    std::lock_guard lock(mutex_);
    chainingSize_ = size;
}
void TclCard::setMute(int blocks) {
    std::lock_guard lock(mutex_);
    mute_ = blocks;
}
void TclCard::setIsoError(std::optional<std::uint8_t> byte) {
    std::lock_guard lock(mutex_);
    isoError_ = byte;
}
void TclCard::setFaultHook(FaultHook hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}
bool TclCard::halted() const {
    std::lock_guard lock(mutex_);
    return halted_;
}
std::vector<AirBlock> TclCard::airLog() const {
    std::lock_guard lock(mutex_);
    return air_;
}
void TclCard::clearAirLog() {
    std::lock_guard lock(mutex_);
    air_.clear();
}
std::vector<Bytes> TclCard::apdus() const {
    std::lock_guard lock(mutex_);
    return apdus_;
}
std::size_t TclCard::oversizeCount() const {
    std::lock_guard lock(mutex_);
    return oversize_;
}

std::pair<std::size_t, std::size_t> TclCard::bufferSizes() const {
    const Bytes info = reader_.readerInfo(0);
    if (info.size() < 11) return {256, 256};
    return {static_cast<std::size_t>(info[7] << 8 | info[8]),
            static_cast<std::size_t>(info[9] << 8 | info[10])};
}

Answer TclCard::refuse(std::uint8_t status) {
    pending_.reset();
    return Answer{status, {}};
}

Reply TclCard::handle(const Request& request) {
    const auto [receiveSize, transmitSize] = bufferSizes();
    std::vector<CardAnswer> answers;
    {
        std::lock_guard lock(mutex_);
        auto single = [&](Answer answer) {
            answers.push_back(CardAnswer{answer.status, std::move(answer.data), responseTime_, false, false});
        };
        const Bytes& d = request.data;
        if (request.raw.size() > receiveSize) {
            ++oversize_;
            single(refuse(kLengthError));
        } else if (d.size() < 2 || d[0] != 0xBE) {
            single(refuse(kLengthError));
        } else if (!present_ || halted_) {
            single(refuse(kNoCard));
        } else {
            const std::uint8_t mode = d[1];
            const bool useCid = (mode & 0x02) != 0;
            const bool useNad = (mode & 0x04) != 0;
            const bool starts = (mode & 0x80) != 0 || !pending_;
            std::size_t at = 2;
            AirBlock block;
            if (starts && useCid && at < d.size()) block.cid = d[at++];
            const bool wrongCid = useCid && starts && (!block.cid || *block.cid != cid_);
            if ((mode & 0x01) == 0) {
                const bool ping = (mode & 0x08) != 0;
                block.kind = ping ? AirBlock::Kind::Presence : AirBlock::Kind::SDeselect;
                air_.push_back(block);
                if (wrongCid || (!ping && (mode & ~0x02) != 0x80)) {
                    single(refuse(kNoCard));
                } else {
                    if (!ping) halted_ = true;
                    pending_.reset();
                    single(Answer{0x00, idBytes(0x02, 0)});
                }
            } else if (wrongCid) {
                single(refuse(kNoCard));
            } else {
                if (starts && useNad && (mode & 0x80) != 0 && at < d.size()) block.nad = d[at++];
                if ((mode & 0x80) != 0 || !pending_) {
                    pending_.emplace();
                    chainIndex_ = 0;
                }
                const bool chained = (mode & 0x40) != 0;
                block.kind = AirBlock::Kind::I;
                block.number = blockNumber_;
                block.chaining = chained;
                block.payload.assign(d.begin() + static_cast<std::ptrdiff_t>(std::min(at, d.size())),
                                     d.end());
                pending_->insert(pending_->end(), block.payload.begin(), block.payload.end());
                air_.push_back(block);
                blockNumber_ ^= 1;
                int silent = std::min(mute_, kNakRetries + 1);
                mute_ -= silent;
                for (int i = 0; i < std::min(silent, kNakRetries); ++i)
                    air_.push_back(AirBlock{false, AirBlock::Kind::RNak, blockNumber_, false, {}, {}, {}});
                if (silent > kNakRetries) {
                    single(refuse(kNoCard));
                } else if (chained) {
                    air_.push_back(AirBlock{true, AirBlock::Kind::RAck, blockNumber_, false, {}, {}, {}});
                    const Bytes ack = idBytes(0xFF, static_cast<std::size_t>(chainIndex_++));
                    single(Answer{0x00, ack});
                } else {
                    answers = runApdu(transmitSize);
                }
            }
        }
        if (hook_) hook_(answers);
    }
    return reply(std::move(answers));
}

std::vector<CardAnswer> TclCard::runApdu(std::size_t transmitSize) {
    const Bytes apdu = std::move(*pending_);
    pending_.reset();
    apdus_.push_back(apdu);
    std::vector<CardAnswer> answers;
    std::size_t id = 0;
    Millis delay = responseTime_;
    for (const WaitingTimeRequest& wtx : waitingTimes_) {
        Bytes data = idBytes(0x01, id++);
        data.push_back(wtx.wtxm);
        data.push_back(wtx.fwi);
        air_.push_back(AirBlock{true, AirBlock::Kind::SWtx, 0, false, {}, {}, Bytes{wtx.wtxm, wtx.fwi}});
        answers.push_back(CardAnswer{kMoreData, std::move(data), delay, false, false});
        delay = wtx.delay;
    }
    if (isoError_) {
        answers.push_back(CardAnswer{kIsoError, Bytes{*isoError_}, delay, false, false});
        return answers;
    }
    const Bytes response = model_(apdu);
    // A reply frame carries 8 bytes of its own at most, and the PSTAT and id.
    const std::size_t room = transmitSize > 12 ? transmitSize - 11 : 1;
    const std::size_t chunk = chainingSize_ > 0 ? chainingSize_ : room;
    std::size_t offset = 0;
    do {
        const std::size_t n = std::min(chunk, response.size() - offset);
        const bool last = offset + n >= response.size();
        Bytes data = idBytes(0x02, id++);
        data.insert(data.end(), response.begin() + static_cast<std::ptrdiff_t>(offset),
                    response.begin() + static_cast<std::ptrdiff_t>(offset + n));
        air_.push_back(AirBlock{true,
                                AirBlock::Kind::I,
                                blockNumber_,
                                !last,
                                {},
                                {},
                                Bytes(response.begin() + static_cast<std::ptrdiff_t>(offset),
                                      response.begin() + static_cast<std::ptrdiff_t>(offset + n))});
        blockNumber_ ^= 1;
        answers.push_back(
            CardAnswer{last ? std::uint8_t{0} : kMoreData, std::move(data), delay, false, false});
        delay = Millis{0};
        offset += n;
    } while (offset < response.size());
    return answers;
}

Reply TclCard::reply(std::vector<CardAnswer> answers) {
    std::vector<TimedAnswer> frames;
    for (CardAnswer& answer : answers) {
        TimedAnswer frame{Answer{answer.status, std::move(answer.data)}, answer.delay, answer.sameWrite, {}};
        if (answer.badCrc) frame.fault = Fault::badCrc();
        frames.push_back(std::move(frame));
    }
    return Reply::frames(std::move(frames));
}

} // namespace krnsim
