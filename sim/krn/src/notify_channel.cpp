#include <krnsim/notify_channel.h>

#include <random>
#include <stdexcept>

namespace krnsim {

namespace {

constexpr std::uint8_t kCmdAuthent = 0xAE;
constexpr std::uint8_t kCmdSecured = 0xAF;
constexpr std::uint8_t kCmdMessage = 0x1F;

bool isReplyCommand(std::uint8_t command) {
    return command == kCmdAuthent || command == kCmdMessage;
}

Bytes randomBytes(std::size_t n) {
    std::random_device random;
    Bytes out(n);
    for (auto& byte : out)
        byte = static_cast<std::uint8_t>(random());
    return out;
}

// [step][32 bytes] of a host's handshake answer, or nothing.
std::optional<Bytes> answerBlock(const HostFrame& answer, std::uint8_t step) {
    if (answer.verdict != "ok" || answer.command != kCmdAuthent || answer.status != 0 ||
        answer.data.size() != 1 + kAuthRandomSize || answer.data[0] != step)
        return std::nullopt;
    return Bytes(answer.data.begin() + 1, answer.data.end());
}

} // namespace

HostFrame splitHostFrame(ByteView raw) {
    HostFrame out;
    out.raw.assign(raw.begin(), raw.end());
    out.frame = out.raw;
    const bool advanced = !raw.empty() && raw[0] == kAdvancedMark;
    const std::size_t head = advanced ? 3 : 1;
    if (raw.size() < head + 4) {
        out.verdict = "bad length";
        return out;
    }
    const std::size_t stated = advanced ? (static_cast<std::size_t>(raw[1]) << 8 | raw[2]) : raw[0];
    if (stated != raw.size()) {
        out.verdict = "bad length";
        return out;
    }
    if (crc16(raw) != 0) {
        out.verdict = "bad crc";
        return out;
    }
    out.address = raw[head];
    out.command = raw[head + 1];
    std::size_t at = head + 2;
    if (isReplyCommand(out.command)) {
        if (raw.size() < head + 5) {
            out.verdict = "bad length";
            return out;
        }
        out.status = raw[at++];
    }
    out.data.assign(raw.begin() + static_cast<std::ptrdiff_t>(at), raw.end() - 2);
    out.verdict = "ok";
    return out;
}

NotifyChannel::NotifyChannel(std::uint8_t keyType, Bytes key, std::uint8_t busAddress, const AesBlock& vector)
    : keyType_(keyType), key_(std::move(key)), busAddress_(busAddress), vector_(vector) {
    if (authKeySize(keyType) == 0 || key_.size() != authKeySize(keyType))
        throw std::invalid_argument("key type and key length differ");
}

Bytes NotifyChannel::step1() const {
    const Bytes data{keyType_, 0x01};
    return buildReply(Form::Advanced, busAddress_, kCmdAuthent, 0x00, data);
}

bool NotifyChannel::takeAnswer1(const HostFrame& answer) {
    const auto block = answerBlock(answer, 0x01);
    if (!block) return false;
    channel_.reset();
    handshake_.emplace(key_, vector_);
    responder_ = handshake_->apply(*block);
    return true;
}

Bytes NotifyChannel::step2(const HandshakeFaults& faults, std::optional<Bytes> initiator) {
    if (!handshake_) throw std::logic_error("step 2 before step 1's answer");
    initiator_ = initiator ? *initiator : randomBytes(kAuthRandomSize);
    Bytes proof = initiator_;
    const Bytes rotated = faults.wrongRotation ? rotateRight(responder_) : rotateLeft(responder_);
    proof.insert(proof.end(), rotated.begin(), rotated.end());
    Bytes sealed = proof;
    if (!faults.shortStep2 || faults.step2Enciphered) sealed = handshake_->apply(proof);
    Bytes data{faults.keyTypeByte.value_or(keyType_), 0x02};
    data.insert(data.end(), sealed.begin(), sealed.end());
    if (faults.shortStep2) data.pop_back();
    return buildReply(Form::Advanced, busAddress_, kCmdAuthent, 0x00, data);
}

bool NotifyChannel::takeAnswer2(const HostFrame& answer) {
    const auto block = answerBlock(answer, 0x02);
    if (!block || !handshake_) return false;
    const Bytes proof = handshake_->apply(*block);
    if (rotateRight(proof) != initiator_) return false;
    channel_.emplace(channelKey(initiator_, responder_, keyType_), vector_);
    handshake_.reset();
    return true;
}

Bytes NotifyChannel::wrap(ByteView inner, Form form) {
    if (!channel_) return Bytes(inner.begin(), inner.end());
    return buildReply(form, busAddress_, kCmdSecured, 0x00, channel_->apply(inner));
}

bool NotifyChannel::unwrap(HostFrame& frame) {
    if (!channel_ || frame.verdict != "ok" || frame.command != kCmdSecured || frame.data.size() < 2 ||
        frame.data[0] != 0x00)
        return false;
    const Bytes inner = channel_->apply(ByteView(frame.data).subspan(1));
    const HostFrame split = splitHostFrame(inner);
    frame.frame = inner;
    frame.address = split.address;
    frame.command = split.command;
    frame.status = split.status;
    frame.data = split.data;
    frame.verdict = split.verdict == "ok" ? "ok" : "not deciphered";
    return true;
}

} // namespace krnsim
