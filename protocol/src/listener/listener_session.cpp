// One listener connection: framing, dispatch, handshake, acknowledgements and
// the connection's time limits.
#include "listener/listener_session.h"

#include "security/channel_key.h"
#include "texts/error_codes.h"

#include <vkkrn_codec/frame.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string.h> // explicit_bzero

namespace vkkrn::listener {

namespace {

constexpr std::size_t kHeadSize = 3;
constexpr std::uint8_t kCmdAuthent = 0xAE;
constexpr std::uint8_t kCmdSecured = 0xAF;
constexpr std::uint8_t kCmdNotify = 0x22;
constexpr std::uint8_t kCmdMessage = 0x1F;
constexpr std::uint8_t kCmdBusMessage = 0x77;
constexpr std::uint8_t kCmdAcknowledge = 0x32;
constexpr int kRandom = static_cast<int>(channel::kRandomSize);
constexpr std::size_t kShortestHandshake = 9;
constexpr std::size_t kShortestStep2 = 74;
constexpr std::size_t kStepOffset = 7;
constexpr std::size_t kKeyTypeOffset = 6;
constexpr std::size_t kProofOffset = 8;
constexpr int kReceiveTimeout = -1230;
constexpr int kHandshakeFailed = -1;

std::uint8_t* allocate() {
    return new (std::nothrow) std::uint8_t[kBufferSize];
}

codec::FrameMode modeOf(int frameMode) {
    return frameMode == 2 ? codec::FrameMode::Advanced : codec::FrameMode::Standard;
}

// Secrets of one handshake step, wiped however the step ends.
struct StepSecrets {
    std::uint8_t proof[2 * kRandom];
    std::uint8_t rotated[kRandom];
    std::uint8_t sealed[1 + kRandom];
    std::uint8_t channelKey[channel::kMaxKeySize];
    ~StepSecrets() { explicit_bzero(this, sizeof *this); }
};

} // namespace

Session::Session(const SessionConfig& config, ListenerHost& host)
    : config_(config), host_(host), frame_(allocate()), data_(allocate()), plain_(allocate()),
      out_(allocate()), inner_(allocate()) {
    if (config_.frameLimit < 1000) config_.frameLimit = 1000;
}

Session::~Session() {
    dropCipher();
}

void Session::dropCipher() {
    cipher_.reset();
    authState_ = 0;
}

void Session::start(Millis now) {
    dropCipher();
    keyType_ = 0;
    have_ = 0;
    need_ = kHeadSize;
    inHead_ = true;
    acceptedAt_ = now;
    frameStart_ = now;
    served_ = false;
    close_ = (frame_ && data_ && plain_ && out_ && inner_) ? Close::None : Close::SendFailed;
}

std::size_t Session::wanted() const {
    if (close_ != Close::None) return 0;
    return need_ - have_;
}

void Session::feed(std::span<const std::uint8_t> bytes, Millis now) {
    while (!bytes.empty() && close_ == Close::None) {
        if (have_ == 0) frameStart_ = now;
        const std::size_t take = std::min(bytes.size(), need_ - have_);
        std::memcpy(frame_.get() + have_, bytes.data(), take);
        have_ += take;
        bytes = bytes.subspan(take);
        if (have_ < need_) continue;
        if (inHead_) {
            takeHead();
        } else {
            dispatch();
            have_ = 0;
            need_ = kHeadSize;
            inHead_ = true;
        }
    }
}

void Session::takeHead() {
    const std::uint8_t* h = frame_.get();
    if (h[0] == codec::kAdvancedMark) {
        const std::size_t length = (static_cast<std::size_t>(h[1]) << 8) | h[2];
        if (length >= codec::kAdvancedRequestOverhead) {
            need_ = length;
            inHead_ = false;
            return;
        }
        host_.report(codec::kLengthError); // a length that cannot be a frame
    } else if (h[0] < 5) {
        char text[64];
        std::snprintf(text, sizeof text, "Noise data received: %02X %02X %02X", h[0], h[1], h[2]);
        host_.line(text);
    } else {
        need_ = h[0];
        inHead_ = false;
        return;
    }
    have_ = 0;
}

void Session::tick(Millis now) {
    if (close_ != Close::None) return;
    if (have_ > 0 && now - frameStart_ > config_.frameLimit) {
        host_.report(kReceiveTimeout); // the part read is dropped
        have_ = 0;
        need_ = kHeadSize;
        inHead_ = true;
    }
    if (now - acceptedAt_ < config_.idleLimit) return;
    const bool unauthenticated = config_.cipher && authState_ != kAuthenticated;
    if (served_ && !unauthenticated) return;
    host_.line("Idle timeout: ", static_cast<int>(config_.idleLimit / 1000));
    if (unauthenticated) host_.report(kErrAuthentReply);
    close_ = Close::Idle;
}

void Session::dispatch() {
    const std::uint8_t* f = frame_.get();
    const bool advanced = f[0] == codec::kAdvancedMark;
    host_.frameBegins();
    if (config_.cipher && advanced && f[4] == kCmdAuthent) {
        if (handshake() != 0) host_.report(kErrAuthentReply);
    } else if (config_.cipher && authState_ != kAuthenticated) {
        host_.report(kErrAuthentReply);
    } else if (config_.cipher && advanced && f[4] != kCmdSecured) {
        host_.report(kErrDecipher);
    } else if (!config_.cipher &&
               ((advanced && f[4] == kCmdSecured) || (!advanced && f[0] >= 6 && f[2] == kCmdSecured))) {
        host_.report(kErrAuthentReply);
    } else {
        handleNotify();
    }
    host_.frameEnds();
}

// ---- Handshake: the reader starts it, the listener answers each step.

int Session::handshake() {
    if (need_ < kShortestHandshake) return kHandshakeFailed;
    const std::uint8_t step = frame_[kStepOffset];
    if (step == 1) {
        authState_ = 0;
        keyType_ = 0;
    }
    if (authState_ == 0) return step == 1 ? handshakeStep1() : kHandshakeFailed;
    if (authState_ == 1) return handshakeStep2();
    return kHandshakeFailed;
}

int Session::handshakeStep1() {
    dropCipher();
    const std::uint8_t keyType = frame_[kKeyTypeOffset];
    const std::size_t size = channel::keySize(keyType);
    if (size == 0 || size != config_.keyLength || config_.key == nullptr) return kHandshakeFailed;
    cipher_ = host_.makeCipher(keyType + 1u, config_.key);
    if (!cipher_ || cipher_->ErrorState() != 0) {
        dropCipher();
        return kHandshakeFailed;
    }
    keyType_ = keyType;
    host_.lockAdvanced();
    std::uint8_t* responder = cipher_->ResponderRandom();
    if (cipher_->get_rand(responder, kRandom) != 0 || answer(1, responder) != 0) {
        dropCipher();
        return kHandshakeFailed;
    }
    authState_ = 1;
    served_ = true;
    return 0;
}

int Session::handshakeStep2() {
    if (need_ < kShortestStep2 || frame_[kKeyTypeOffset] != keyType_) return kHandshakeFailed;
    StepSecrets s;
    int produced = 0;
    if (cipher_->decipher(frame_.get() + kProofOffset, 2 * kRandom, s.proof, produced) != 0)
        return kHandshakeFailed;
    channel::rotateRight(s.proof + kRandom, s.rotated);
    std::uint8_t* responder = cipher_->ResponderRandom();
    if (std::memcmp(s.rotated, responder, kRandom) != 0) return kHandshakeFailed;
    std::uint8_t* initiator = cipher_->InitiatorRandom();
    std::memcpy(initiator, s.proof, kRandom);
    channel::rotateLeft(initiator, s.rotated);
    if (answer(2, s.rotated) != 0) return kHandshakeFailed;
    channel::deriveChannelKey(initiator, responder, keyType_, s.channelKey);
    if (cipher_->init(s.channelKey) != 0) {
        dropCipher();
        return kHandshakeFailed;
    }
    authState_ = kAuthenticated;
    served_ = true;
    return 0;
}

int Session::answer(std::uint8_t step, const std::uint8_t* random) {
    StepSecrets s;
    s.sealed[0] = step;
    int produced = 0;
    if (cipher_->encipher(random, kRandom, s.sealed + 1, produced) != 0) return kHandshakeFailed;
    const int length = codec::buildReply(codec::FrameMode::Advanced, 0, kCmdAuthent, 0,
                                         {s.sealed, sizeof s.sealed}, {out_.get(), kBufferSize});
    if (length < 0) return kHandshakeFailed;
    if (host_.send({out_.get(), static_cast<std::size_t>(length)}) != 0) {
        close_ = Close::SendFailed;
        return kHandshakeFailed;
    }
    return 0;
}

// ---- Notifications.

void Session::handleNotify() {
    std::uint8_t command = 0;
    int result = 0;
    std::uint8_t acknowledge = 0;
    if (handleOne(need_, command, result, acknowledge)) acknowledgeFrame(command, result, acknowledge);
}

bool Session::handleOne(std::size_t n, std::uint8_t& command, int& result, std::uint8_t& acknowledge) {
    const std::uint8_t* f = frame_.get();
    if (f[0] != codec::kAdvancedMark && f[0] < codec::kStandardReplyOverhead) {
        host_.report(codec::kLengthError);
        return false;
    }
    codec::ReplyParts parts;
    int status = codec::splitReply({f, n}, parts);
    if (status < 0) {
        host_.report(status);
        return false;
    }
    const std::uint8_t* stored = f;
    std::size_t storedLength = n;
    if (config_.cipher) {
        if (!cipher_) {
            host_.report(kErrNullPointer);
            return false;
        }
        if (parts.cmd != kCmdSecured) {
            host_.report(kErrWrongCommand);
            return false;
        }
        int plain = 0;
        const int rc =
            cipher_->decipher(parts.data.data(), static_cast<int>(parts.data.size()), plain_.get(), plain);
        if (rc != 0) {
            host_.report(rc);
            return false;
        }
        status = codec::splitReply({plain_.get(), static_cast<std::size_t>(plain)}, parts);
        if (status < 0) {
            host_.report(status);
            return false;
        }
        stored = plain_.get();
        storedLength = static_cast<std::size_t>(plain);
    }
    host_.storeReceived(stored, static_cast<int>(storedLength), status, config_.cipher);

    std::size_t length = parts.data.size();
    std::memcpy(data_.get(), parts.data.data(), length);
    if (parts.cmd == kCmdBusMessage) data_[length++] = parts.adr;
    command = parts.cmd;

    char text[32];
    std::snprintf(text, sizeof text, "Enter callback [0x%02X]", command);
    host_.line(text);
    acknowledge = 0;
    result = host_.deliver({status, command, data_.get(), static_cast<int>(length)}, &acknowledge);
    host_.line("Left callback");
    served_ = true;
    return true;
}

void Session::acknowledgeFrame(std::uint8_t command, int result, std::uint8_t acknowledge) {
    if (config_.taskId != 3 && config_.taskId != 6) return; // task 7 acknowledges nothing
    const bool wanted = (command == kCmdNotify && config_.acknowledge == 1) ||
                        (command == kCmdMessage && (result == 1 || config_.acknowledge == 1)) ||
                        config_.cipher;
    if (!wanted) return;
    const codec::FrameMode mode = modeOf(host_.frameMode());
    const std::span<std::uint8_t> inner{inner_.get(), kBufferSize};
    const int length =
        config_.taskId == 3
            ? codec::buildRequest(mode, config_.busAddress, kCmdAcknowledge, {}, inner)
            : codec::buildReply(mode, config_.busAddress, kCmdMessage, 0, {&acknowledge, 1}, inner);
    if (length < 0) {
        host_.report(length);
        return;
    }
    host_.storeSent(inner_.get(), length, config_.cipher);
    std::span<const std::uint8_t> wire{inner_.get(), static_cast<std::size_t>(length)};
    if (config_.cipher) {
        // [0x00][the whole acknowledgement enciphered]
        plain_[0] = 0x00;
        int sealed = 0;
        const int rc = cipher_->encipher(inner_.get(), length, plain_.get() + 1, sealed);
        if (rc != 0) {
            host_.report(rc);
            return;
        }
        const int wrapped = codec::buildRequest(mode, config_.busAddress, kCmdSecured,
                                                {plain_.get(), static_cast<std::size_t>(sealed) + 1},
                                                {out_.get(), kBufferSize});
        if (wrapped < 0) {
            host_.report(wrapped);
            return;
        }
        wire = {out_.get(), static_cast<std::size_t>(wrapped)};
    }
    if (const int error = host_.send(wire)) {
        host_.line("Send of acknowledge protocol failed. send returns: ", error);
        close_ = Close::SendFailed;
    }
}

} // namespace vkkrn::listener
