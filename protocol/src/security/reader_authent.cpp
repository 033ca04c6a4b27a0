// Reader authentication (0xAE): host and reader prove to each other that they
// hold the same key, then the reader's exchanges run on a channel key made from
// both sides' random values. Both exchanges run here under the command lock,
// never wrapped, without the transceive engine.
#include "reader/reader.h"
#include "security/channel_key.h"
#include "security/crypto_plugin_aes.h"
#include "texts/error_codes.h"

#include <vkkrn_codec/frame.h>
#include <vkkrn_codec/hex.h>
#include <vkkrn_plugin.h>

#include <cstring>
#include <new>
#include <string.h> // explicit_bzero

namespace {

using namespace vkkrn;

constexpr unsigned char kCmdAuthenticate = 0xAE;
constexpr unsigned char kStepChallenge = 0x01;
constexpr unsigned char kStepProof = 0x02;
constexpr int kMaxKeyLength = 64;
constexpr int kRandom = static_cast<int>(channel::kRandomSize);
constexpr int kReplyLength = 1 + kRandom;
constexpr int kFormatHex = 1;

char* chars(unsigned char* p) {
    return reinterpret_cast<char*>(p);
}

// Every secret of one authentication, wiped when it ends however it ends.
struct Secrets {
    unsigned char key[kMaxKeyLength];
    unsigned char request[3 + 2 * kRandom];
    unsigned char proof[kRandom];
    unsigned char rotated[kRandom];
    unsigned char channelKey[channel::kMaxKeySize];
    ~Secrets() { explicit_bzero(this, sizeof *this); }
};

} // namespace

int VKKRNReader::authentExchange(VKKRN_PlugIn* plugIn, unsigned char adr, unsigned char* data, int n,
                                 int* replyLength) {
    *replyLength = 0;
    const int frameLen = BuildAsyncSndProtocol(adr, kCmdAuthenticate, data, n, sendFrame_, 0, false);
    if (frameLen < 0) return failLogged(frameLen);
    sendProtocolLine(frameLen, false);

    const int count =
        plugIn->transceive_protocol(chars(sendFrame_), frameLen, chars(receiveFrame_), kReaderBufferSize);
    auto refused = [this](int len, int code) {
        receiveProtocolLine(len, code, false);
        SetLastError(code);
        return code;
    };
    if (count < 1) return refused(0, count == 0 ? kErrLengthError : count);
    if (count > kReaderBufferSize) return refused(0, kErrBufferOverflow);

    codec::ReplyParts parts;
    const int status = codec::splitReply({receiveFrame_, static_cast<std::size_t>(count)}, parts);
    if (status < 0) return refused(count, status);
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        lastReceivedBusAddress_ = parts.adr;
    }
    if (status != 0) return refused(count, status);
    if (parts.cmd != kCmdAuthenticate) return refused(count, kErrWrongCommand);
    if (busAddressDiffers(adr, parts.adr)) return refused(count, kErrWrongBusAddress);
    if (parts.data.empty()) return refused(count, kErrSplitDataStream);
    std::memcpy(dataBuffer_, parts.data.data(), parts.data.size());
    *replyLength = static_cast<int>(parts.data.size());
    receiveProtocolLine(count, 0, false);
    return 0;
}

int VKKRNReader::Exe_0xAE_ReaderAuthent(unsigned char adr, unsigned char first, unsigned char keyType,
                                        unsigned char keyLength, unsigned char* key, int format) {
    if (RefuseReentry()) return kErrBusy;
    auto lock = Lock();
    VKKRN_PlugIn* plugIn = plugIn_;
    if (plugIn == nullptr) return CommandFailure(kErrNoPlugIn);
    if (IsFirstGenerationUsb()) return CommandFailure(kErrFirstGenerationUsb);
    const int savedFrameState = frameState_.load();

    const std::size_t size = channel::keySize(keyType);
    if (keyLength > kMaxKeyLength || size == 0 || keyLength < size || key == nullptr)
        return CommandFailure(kErrOutOfRange);
    Secrets s;
    if (format == kFormatHex) {
        if (!codec::decodeHex({key, 2u * keyLength}, {s.key, keyLength}))
            return CommandFailure(kErrOutOfRange);
    } else {
        std::memcpy(s.key, key, keyLength);
    }

    LockFrameMode(2);
    // A failure puts the frame mode and its lock back; the reader's last error
    // holds the code. `logged`: the error line is still to be written.
    auto fail = [&](int code, bool logged) {
        frameState_.store(savedFrameState);
        if (logged) return failLogged(code);
        SetLastError(code);
        return code;
    };

    s.request[0] = first;
    s.request[1] = keyType;
    s.request[2] = kStepChallenge;
    int n = 0;
    if (const int rc = authentExchange(plugIn, adr, s.request, 3, &n)) return fail(rc, false);

    // The reader answered: whatever channel was active ends here.
    Cipher().reset();
    if (n != kReplyLength || dataBuffer_[0] != kStepChallenge) return fail(kErrAuthentReply, true);
    std::shared_ptr<VKKRN_CryptoPlugIn> cipher;
    try {
        cipher = std::make_shared<VKKRN_CryptoPlugIn_AES>(keyType + 1u, s.key);
    } catch (const std::bad_alloc&) {
        return fail(kErrNoMemory, true);
    }
    if (const int state = cipher->ErrorState()) {
        cipher.reset();
        return fail(state, true);
    }
    library_.CipherLibraryOpened();

    unsigned char* a = cipher->InitiatorRandom();
    unsigned char* b = cipher->ResponderRandom();
    int produced = 0;
    if (const int rc = cipher->decipher(dataBuffer_ + 1, kRandom, b, produced)) return fail(rc, true);
    if (cipher->get_rand(a, kRandom) != 0) return fail(kErrCipherInit, true);

    s.request[2] = kStepProof;
    std::memcpy(s.request + 3, a, kRandom);
    channel::rotateLeft(b, s.request + 3 + kRandom);
    if (const int rc = cipher->encipher(s.request + 3, 2 * kRandom, s.request + 3, produced))
        return fail(rc, true);
    if (const int rc = authentExchange(plugIn, adr, s.request, 3 + 2 * kRandom, &n)) return fail(rc, false);

    if (n != kReplyLength || dataBuffer_[0] != kStepProof) return fail(kErrAuthentReply, true);
    if (const int rc = cipher->decipher(dataBuffer_ + 1, kRandom, s.proof, produced)) return fail(rc, true);
    channel::rotateRight(s.proof, s.rotated);
    if (std::memcmp(s.rotated, a, kRandom) != 0) return fail(kErrAuthentReply, true);

    channel::deriveChannelKey(a, b, keyType, s.channelKey);
    if (cipher->init(s.channelKey) != 0) return fail(kErrCipherInit, true);
    Cipher().store(std::move(cipher));
    SetLastError(0);
    return 0;
}
