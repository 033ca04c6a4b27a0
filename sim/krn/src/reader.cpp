#include <krnsim/reader.h>

#include <random>
#include <stdexcept>

namespace krnsim {

namespace {

constexpr std::uint8_t kBroadcastAddress = 0xFF;
constexpr std::uint8_t kAnyReaderAddress = 0xFE;
constexpr std::uint8_t kFlashLoaderCommand = 0x55;
constexpr int kMaxBusAddress = 253;
constexpr std::uint8_t kSecuredCommand = 0xAF;
constexpr std::uint8_t kAuthCommand = 0xAE;
constexpr std::size_t kAuthStep1Length = 3;
constexpr std::size_t kAuthStep2Length = 3 + 2 * kAuthRandomSize;

} // namespace

Reader::Reader() : exchangeReassembler_(kDefaultInterByteGap) {}

void Reader::setBusAddress(int address) {
    if (address < 0 || address > kMaxBusAddress) throw std::invalid_argument("bus address must be 0 to 253");
    address_ = static_cast<std::uint8_t>(address);
}

void Reader::setInterByteGap(Millis gap) {
    if (gap.count() <= 0) throw std::invalid_argument("inter-byte gap must be positive");
    gapMs_ = gap.count();
}

void Reader::script(Reply reply) {
    std::lock_guard lock(mutex_);
    scripts_.emplace_back(std::nullopt, std::move(reply));
}

void Reader::script(std::uint8_t command, Reply reply) {
    std::lock_guard lock(mutex_);
    scripts_.emplace_back(command, std::move(reply));
}

void Reader::setHandler(std::uint8_t command, Handler handler) {
    std::lock_guard lock(mutex_);
    if (handler)
        handlers_[command] = std::move(handler);
    else
        handlers_.erase(command);
}

void Reader::setCannedReply(std::uint8_t command, Reply reply) {
    setHandler(command, [reply = std::move(reply)](const Request&, ConnectionContext&) { return reply; });
}

void Reader::setRequestFilter(RequestFilter filter) {
    std::lock_guard lock(mutex_);
    filter_ = std::move(filter);
}

void Reader::setReadOut(std::uint8_t command, Bytes data) {
    std::lock_guard lock(mutex_);
    model_.setReadOut(command, std::move(data));
}

void Reader::setReaderInfo(std::uint8_t mode, Bytes data) {
    std::lock_guard lock(mutex_);
    model_.setReaderInfo(mode, std::move(data));
}

Bytes Reader::readerInfo(std::uint8_t mode) const {
    std::lock_guard lock(mutex_);
    return model_.readerInfo(mode);
}

void Reader::queueBufferRecord(Bytes record) {
    std::lock_guard lock(mutex_);
    model_.queueBufferRecord(std::move(record));
}

void Reader::setBufferHead(Bytes head) {
    std::lock_guard lock(mutex_);
    model_.setBufferHead(std::move(head));
}

std::size_t Reader::bufferRecords() const {
    std::lock_guard lock(mutex_);
    return model_.bufferRecords();
}

void Reader::addTag(Tag tag) {
    std::lock_guard lock(mutex_);
    model_.transponders().add(std::move(tag));
}

void Reader::removeTag(const Uid& uid) {
    std::lock_guard lock(mutex_);
    model_.transponders().remove(uid);
}

void Reader::setTagInField(const Uid& uid, bool inField) {
    std::lock_guard lock(mutex_);
    model_.transponders().setInField(uid, inField);
}

void Reader::clearTags() {
    std::lock_guard lock(mutex_);
    model_.transponders().clear();
}

std::vector<Tag> Reader::tags() const {
    std::lock_guard lock(mutex_);
    return model_.transponders().tags();
}

void Reader::queueFault(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void Reader::setPersistentFault(Fault fault) {
    std::lock_guard lock(mutex_);
    persistentFault_ = std::move(fault);
}

void Reader::clearPersistentFault() {
    std::lock_guard lock(mutex_);
    persistentFault_.reset();
}

void Reader::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    persistentFault_.reset();
}

std::size_t Reader::queuedFaults() const {
    std::lock_guard lock(mutex_);
    return faults_.size();
}

std::optional<Fault> Reader::takeFault(std::uint8_t command, ConnectionId connection) {
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (!it->matches(command, connection)) continue;
        Fault fault = std::move(*it);
        faults_.erase(it);
        return fault;
    }
    if (persistentFault_ && persistentFault_->matches(command, connection)) return persistentFault_;
    return std::nullopt;
}

void Reader::startSecuredChannel() {
    std::lock_guard lock(mutex_);
    securedOn_ = true;
    keystream_.reset();
}

void Reader::endSecuredChannel() {
    std::lock_guard lock(mutex_);
    securedOn_ = false;
    securedStatuses_.clear();
}

bool Reader::securedChannelActive() const {
    std::lock_guard lock(mutex_);
    return securedOn_;
}

std::uint32_t Reader::keystreamBlock() const {
    std::lock_guard lock(mutex_);
    return keystream_.nextBlock();
}

void Reader::queueSecuredStatus(std::uint8_t status) {
    std::lock_guard lock(mutex_);
    securedStatuses_.push_back(status);
}

Bytes Reader::securedFrame(std::uint8_t command, std::uint8_t status, ByteView data) {
    if (!securedChannelActive()) throw std::logic_error("the secured channel is off");
    const Form form = replyForm(Form::Standard, data.size(), forceAdvanced_);
    return wrap(Form::Standard, buildReply(form, address_, command, status, data), nullptr);
}

void Reader::setAuthenticationKey(Bytes key) {
    if (!key.empty() && key.size() != 16 && key.size() != 24 && key.size() != 32)
        throw std::invalid_argument("an authentication key has 16, 24 or 32 bytes");
    std::lock_guard lock(mutex_);
    authKey_ = std::move(key);
}

void Reader::setChannelVector(const AesBlock& vector) {
    std::lock_guard lock(mutex_);
    channelVector_ = vector;
}

AesBlock Reader::channelVector() const {
    std::lock_guard lock(mutex_);
    return channelVector_;
}

void Reader::queueAuthFault(std::uint8_t step, AuthFault fault) {
    if (step != 1 && step != 2) throw std::invalid_argument("an authentication step is 1 or 2");
    std::lock_guard lock(mutex_);
    authFaults_.emplace_back(step, fault);
}

std::size_t Reader::authentications() const {
    std::lock_guard lock(mutex_);
    return authentications_;
}

ChannelCipher* Reader::connectionChannel(ConnectionContext& context) {
    const auto& session = context.authSession();
    return session && session->channel ? &*session->channel : nullptr;
}

Answer Reader::authenticate(const Request& request, ConnectionContext& context) {
    const Bytes& data = request.data;
    const bool step1 = data.size() == kAuthStep1Length && data[2] == 0x01;
    const bool step2 = data.size() == kAuthStep2Length && data[2] == 0x02;
    if (!step1 && !step2) return Answer{reader_status::kLength, {}};
    const std::uint8_t keyType = data[1];
    Bytes key;
    AesBlock vector;
    std::optional<AuthFault> fault;
    {
        std::lock_guard lock(mutex_);
        key = authKey_;
        vector = channelVector_;
    }
    auto takeFault = [&] {
        std::lock_guard lock(mutex_);
        const std::uint8_t step = step1 ? 1 : 2;
        for (auto it = authFaults_.begin(); it != authFaults_.end(); ++it) {
            if (it->first != step) continue;
            fault = it->second;
            authFaults_.erase(it);
            break;
        }
    };
    const std::size_t size = authKeySize(keyType);
    auto& session = context.authSession();
    if (step1) {
        if (size == 0 || key.size() < size) return Answer{kAuthRefused, {}};
        // Answering a new step 1 ends the connection's channel.
        session = std::make_shared<AuthSession>();
        session->keyType = keyType;
        session->handshake.emplace(ByteView(key).first(size), vector);
        session->responderRandom.resize(kAuthRandomSize);
        std::random_device random;
        for (std::uint8_t& byte : session->responderRandom)
            byte = static_cast<std::uint8_t>(random());
        takeFault();
        Bytes reply{0x01};
        const Bytes challenge = session->handshake->apply(session->responderRandom);
        reply.insert(reply.end(), challenge.begin(), challenge.end());
        if (fault == AuthFault::WrongMarker) reply[0] = 0x02;
        if (fault == AuthFault::ShortReply) reply.pop_back();
        return Answer{reader_status::kOk, std::move(reply)};
    }
    if (!session || !session->handshake || session->keyType != keyType) {
        if (session) session->handshake.reset();
        return Answer{kAuthRefused, {}};
    }
    const Bytes plain = session->handshake->apply(ByteView(data).subspan(3));
    const ByteView initiator = ByteView(plain).first(kAuthRandomSize);
    const ByteView proof = ByteView(plain).subspan(kAuthRandomSize);
    const Bytes expected = rotateLeft(session->responderRandom);
    if (!std::equal(proof.begin(), proof.end(), expected.begin(), expected.end())) {
        session->handshake.reset();
        return Answer{kAuthRefused, {}};
    }
    takeFault();
    Bytes answerProof = rotateLeft(initiator);
    if (fault == AuthFault::WrongProof) answerProof[0] ^= 0x01;
    Bytes reply{0x02};
    const Bytes enciphered = session->handshake->apply(answerProof);
    reply.insert(reply.end(), enciphered.begin(), enciphered.end());
    if (fault == AuthFault::WrongMarker) reply[0] = 0x01;
    if (fault == AuthFault::ShortReply) reply.pop_back();
    session->channel.emplace(channelKey(initiator, session->responderRandom, keyType), vector);
    session->handshake.reset();
    {
        std::lock_guard lock(mutex_);
        ++authentications_;
    }
    return Answer{reader_status::kOk, std::move(reply)};
}

Reader::Secured Reader::unwrap(Request& request, LogEntry& entry, Answer& direct,
                               ConnectionContext& context) {
    if (request.command != kSecuredCommand) return Secured::Plain;
    ChannelCipher* const channel = connectionChannel(context);
    Bytes inner;
    {
        std::lock_guard lock(mutex_);
        if (channel == nullptr && !securedOn_) return Secured::Plain;
        if (request.data.empty() || request.data[0] != 0x00) {
            direct = Answer{reader_status::kLength, {}};
            entry.note = "secured request without its leading 00";
            return Secured::Answered;
        }
        const ByteView enciphered = ByteView(request.data).subspan(1);
        inner = channel != nullptr ? channel->apply(enciphered) : keystream_.apply(enciphered);
        if (!securedStatuses_.empty()) {
            direct = Answer{securedStatuses_.front(), {}};
            securedStatuses_.pop_front();
            if (direct.status == reader_status::kNotAvailable) {
                if (channel != nullptr)
                    context.authSession()->channel.reset();
                else
                    securedOn_ = false;
            }
            entry.note = "secured status";
            return Secured::Answered;
        }
    }
    Reassembler parser;
    std::vector<Unit> units;
    parser.feed(inner, Clock::now(), units);
    if (units.size() != 1 || units[0].verdict != Verdict::Ok || parser.buffered() != 0) {
        direct = Answer{reader_status::kLength, {}};
        entry.note = "secured request did not decode";
        return Secured::Answered;
    }
    Unit& unit = units[0];
    request.form = entry.form = unit.form;
    request.address = entry.address = unit.address;
    request.command = entry.command = unit.command;
    entry.data = unit.data;
    request.data = std::move(unit.data);
    request.raw = std::move(unit.raw);
    entry.secured = true;
    return Secured::Unwrapped;
}

Bytes Reader::wrap(Form requestForm, ByteView plainFrame, ConnectionContext* context) {
    if (plainFrame.size() > kMaxAdvancedReplyData) return {};
    Bytes enciphered;
    if (ChannelCipher* channel = context != nullptr ? connectionChannel(*context) : nullptr) {
        enciphered = channel->apply(plainFrame);
    } else {
        std::lock_guard lock(mutex_);
        enciphered = keystream_.apply(plainFrame);
    }
    const Form form = replyForm(requestForm, enciphered.size(), forceAdvanced_);
    return buildReply(form, address_, kSecuredCommand, reader_status::kOk, enciphered);
}

Plan Reader::replyFrame(const Answer& answer, const Request& request, Form outerForm, bool secured,
                        ConnectionContext& context, std::optional<Fault> fault, LogEntry& entry) {
    if (answer.data.size() > kMaxAdvancedReplyData) {
        entry.note = "reply data too long";
        return Plan{};
    }
    Form form = replyForm(request.form, answer.data.size(), forceAdvanced_);
    Bytes frame = buildReply(form, address_, request.command, answer.status, answer.data);
    if (secured) {
        frame = wrap(outerForm, frame, &context);
        if (frame.empty()) {
            entry.note = "reply data too long";
            return Plan{};
        }
        // The flash loader runs: the channel ends after this reply.
        if (request.command == kFlashLoaderCommand && answer.status == reader_status::kOk) {
            if (connectionChannel(context) != nullptr)
                context.authSession()->channel.reset();
            else
                endSecuredChannel();
        }
        form = frame[0] == kAdvancedMark ? Form::Advanced : Form::Standard;
    }
    if (!fault) fault = takeFault(frame[headerLength(form) + 1], context.id());
    if (!fault) return Plan{{Step{Millis(0), std::move(frame)}}, EndAction::None};
    if (!entry.fault.empty()) entry.fault += "; ";
    entry.fault += fault->describe();
    return fault->apply(frame, form);
}

bool Reader::accepts(std::uint8_t address, std::uint8_t command) const {
    return answerAll_ || address == address_ || address == kAnyReaderAddress ||
           address == kBroadcastAddress || (command == kFlashLoaderCommand && address == 0);
}

Plan Reader::exchange(ByteView bytes) {
    std::lock_guard lock(exchangeMutex_);
    std::vector<Unit> units;
    exchangeReassembler_.setGap(interByteGap());
    exchangeReassembler_.feed(bytes, Clock::now(), units);
    Plan plan;
    for (Unit& unit : units)
        plan.append(handle(std::move(unit), exchangeContext_));
    return plan;
}

Plan Reader::handle(Unit unit, ConnectionContext& context) {
    LogEntry entry{Clock::now(), context.id(), unit.verdict, unit.raw, unit.form, unit.address,
                   unit.command, unit.data,    {},           {},       {}};
    // A secured request to bus address 0 may carry the flash loader start, which
    // every reader takes at address 0: it is looked at once deciphered.
    const bool securedToZero = unit.verdict == Verdict::Ok && unit.command == kSecuredCommand &&
                               unit.address == 0 && !accepts(unit.address, unit.command);
    if (unit.verdict == Verdict::Ok && !securedToZero && !accepts(unit.address, unit.command))
        entry.verdict = Verdict::OtherAddress;
    if (entry.verdict != Verdict::Ok) {
        log_.append(std::move(entry));
        return Plan{};
    }

    Request request{context.id(),         unit.form,          unit.address, unit.command,
                    std::move(unit.data), std::move(unit.raw)};
    RequestFilter filter;
    {
        std::lock_guard lock(mutex_);
        filter = filter_;
    }
    try {
        if (filter && !filter(request, context)) {
            entry.verdict = Verdict::Filtered;
            log_.append(std::move(entry));
            return context.takeLater();
        }
    } catch (const std::exception& error) {
        entry.note = std::string("filter failed: ") + error.what();
        context.takeLater();
        log_.append(std::move(entry));
        return Plan{};
    }

    std::optional<Reply> reply;
    const Form outerForm = request.form;
    Answer direct;
    const Secured secured = unwrap(request, entry, direct, context);
    if (securedToZero && (secured != Secured::Unwrapped || !accepts(request.address, request.command))) {
        entry.verdict = Verdict::OtherAddress;
        log_.append(std::move(entry));
        return Plan{};
    }
    if (secured == Secured::Answered) reply = Reply::frame(std::move(direct));
    Handler handler;
    if (!reply) {
        std::lock_guard lock(mutex_);
        for (auto it = scripts_.begin(); it != scripts_.end() && !reply; ++it) {
            if (it->first && *it->first != request.command) continue;
            reply = std::move(it->second);
            scripts_.erase(it);
            break;
        }
        if (!reply) {
            const auto it = handlers_.find(request.command);
            if (it != handlers_.end())
                handler = it->second;
            else if (request.command != kAuthCommand || authKey_.empty())
                reply = Reply::frame(model_.answer(request.command, request.data));
        }
    }
    if (!reply && !handler) reply = Reply::frame(authenticate(request, context));
    if (handler) {
        try {
            reply = handler(request, context);
        } catch (const std::exception& error) {
            entry.note = std::string("handler failed: ") + error.what();
            context.takeLater();
            log_.append(std::move(entry));
            return Plan{};
        } catch (...) {
            entry.note = "handler failed";
            context.takeLater();
            log_.append(std::move(entry));
            return Plan{};
        }
    }

    Plan plan;
    const bool unwrapped = secured == Secured::Unwrapped;
    switch (reply->kind()) {
    case Reply::Kind::Nothing: entry.note = "no reply"; break;
    case Reply::Kind::Plan: plan = reply->sendPlan(); break;
    case Reply::Kind::Frame:
        plan = replyFrame(reply->answer(), request, outerForm, unwrapped, context, std::nullopt, entry);
        break;
    case Reply::Kind::Frames: {
        Millis pause{0}; // of frames that sent nothing, added to the next one
        for (const TimedAnswer& timed : reply->frames()) {
            Plan one = replyFrame(timed.answer, request, outerForm, unwrapped, context, timed.fault, entry);
            pause += timed.delay;
            if (!one.steps.empty()) {
                if (timed.sameWrite && !plan.steps.empty() && plan.end == EndAction::None) {
                    Bytes& write = plan.steps.back().bytes;
                    write.insert(write.end(), one.steps.front().bytes.begin(), one.steps.front().bytes.end());
                    one.steps.erase(one.steps.begin());
                } else {
                    one.steps.front().delay += pause;
                }
                pause = Millis{0};
            }
            plan.append(std::move(one));
        }
        break;
    }
    }
    plan.append(context.takeLater());
    entry.reply = plan.bytes();
    log_.append(std::move(entry));
    return plan;
}

} // namespace krnsim
