// The transceive engine: every command's one exchange through the reader's port
// plug-in, wrapped in 0xAF while the reader holds a cipher, with the reply
// checked and split into the data buffer. Nothing is allocated per exchange:
// the frames live in the reader's fixed buffers.
#include "reader/reader.h"
#include "security/crypto_plugin.h"
#include "texts/error_codes.h"

#include <vkkrn_codec/crc16.h>
#include <vkkrn_plugin.h>

namespace {

using namespace vkkrn;

constexpr unsigned char kCmdSecured = 0xAF;
constexpr int kStatusNotAvailable = 0x82;
constexpr int kStatusSecuredCommand = 0x19;
constexpr unsigned char kFirstBroadcastAddress = 254;

char* chars(unsigned char* p) {
    return reinterpret_cast<char*>(p);
}

} // namespace

int VKKRNReader::receiveFailure(int len, int code) {
    RecProtStrToLogDoc(len, code, false, false);
    SetLastError(code);
    return code;
}

bool VKKRNReader::busAddressDiffers(unsigned char requested, unsigned char received) const {
    return chkRecBusAdrFlag_.load() != 0 && requested < kFirstBroadcastAddress && received != requested;
}

void VKKRNReader::putUnderCommand(unsigned char cmd, int count) {
    std::lock_guard<std::mutex> lock(captureMutex_);
    const bool advanced = receiveFrame_[0] == 0x02;
    const int at = advanced ? 4 : 2;
    if (count < at + 3) return;
    receiveFrame_[at] = cmd;
    const std::uint16_t crc = codec::crc16({receiveFrame_.data(), static_cast<std::size_t>(count - 2)});
    receiveFrame_[count - 2] = static_cast<unsigned char>(crc);
    receiveFrame_[count - 1] = static_cast<unsigned char>(crc >> 8);
}

int VKKRNReader::exchangeSecured(VKKRN_PlugIn* plugIn, const std::shared_ptr<VKKRN_CryptoPlugIn>& cipher,
                                 unsigned char adr, unsigned char cmd, int frameLen, int replyLimit,
                                 int* count) {
    *count = 0;
    wrapData_[0] = 0x00;
    int enciphered = 0;
    if (const int rc = cipher->encipher(sendFrame_.data(), frameLen, wrapData_.data() + 1, enciphered))
        return failLogged(rc);
    if (enciphered < 0 || enciphered > kReaderBufferSize - 2) return failLogged(kErrOutOfRange);
    const int wrappedLen = BuildAsyncSndProtocol(adr, kCmdSecured, wrapData_.data(), enciphered + 1,
                                                 wrappedRequest_.data(), 0, false);
    if (wrappedLen < 0) return failLogged(wrappedLen);

    const int received = plugIn->transceive_protocol(chars(wrappedRequest_.data()), wrappedLen,
                                                     chars(wrappedReply_.data()), kReaderBufferSize);
    if (received < 1) return failLogged(received == 0 ? kErrLengthError : received);
    if (received > kReaderBufferSize || received > replyLimit) return failLogged(kErrBufferOverflow);

    unsigned char replyAdr = 0;
    unsigned char replyCmd = 0;
    int n = 0;
    // Ends the channel itself on 0x82; `cipher` keeps this exchange's reference.
    const int status = SplitAsyncRecProtocol(wrappedReply_.data(), received, &replyAdr, &replyCmd,
                                             wrapData_.data(), &n, 0, false);
    if (status < 0) {
        ErrorStrToLogDoc(status);
        return status;
    }
    if (replyCmd != kCmdSecured) return receiveFailure(0, kErrWrongCommand);
    if (busAddressDiffers(adr, replyAdr)) return receiveFailure(0, kErrWrongBusAddress);
    if (status == kStatusNotAvailable) {
        Cipher().reset();
        SetLastRecProt(wrappedReply_.data(), received);
        RecProtStrToLogDoc(received, status, false, false);
        return kSecuredEnded;
    }
    if (status == kStatusSecuredCommand) {
        // Not deciphered: the reader did not encipher it, and deciphering would
        // move the stream on.
        SetLastRecProt(wrappedReply_.data(), received);
        putUnderCommand(cmd, received);
        RecProtStrToLogDoc(received, status, false, false);
        *count = received;
        return kSecuredStatus;
    }
    const int plain = decipherInner(*cipher, wrapData_.data(), n, receiveFrame_.data());
    if (plain < 0) return failLogged(plain);
    *count = plain;
    return plain;
}

int VKKRNReader::decipherInner(VKKRN_CryptoPlugIn& cipher, const unsigned char* data, int n,
                               unsigned char* out) {
    // A reply without data carries no inner frame: the reader could not take the
    // request (its stream is not where ours is), which no later exchange mends.
    int plain = 0;
    if (const int rc = cipher.decipher(data, n, out, plain)) return rc;
    if (plain < 1 || plain > kReaderBufferSize - 1) return kErrLengthError;
    return plain;
}

int VKKRNReader::Exe_Transceive(unsigned char adr, unsigned char cmd, int mode, void* record, int* len,
                                bool* replyParsing) {
    VKKRN_PlugIn* plugIn = plugIn_;
    if (plugIn == nullptr) return failLogged(kErrNoPlugIn);
    if (len == nullptr) return failLogged(kErrNullPointer);
    if (const auto it = plugIn->subPlugInMap.find(cmd); it != plugIn->subPlugInMap.end()) {
        if (it->second == nullptr) return failLogged(kErrNullPointer);
        plugIn = it->second;
    }
    if (*len < 0 || *len > kReaderBufferSize) return failLogged(kErrOutOfRange);
    const char c = static_cast<char>(cmd);

    const int streamed =
        plugIn->build_datastream(c, record, mode, chars(dataBuffer_.data()), kReaderBufferSize);
    if (streamed < 0) return failLogged(streamed);
    if (streamed > kReaderBufferSize) return failLogged(kErrBuildDataStream);
    if (streamed > 0) *len = streamed;

    int frameLen = plugIn->build_protocol(c, static_cast<char>(adr), chars(dataBuffer_.data()), *len,
                                          chars(sendFrame_.data()), kReaderBufferSize);
    if (frameLen < 0) return failLogged(frameLen);
    if (frameLen > kReaderBufferSize) return failLogged(kErrBuildProtocol);
    if (frameLen == 0) {
        frameLen = BuildAsyncSndProtocol(adr, cmd, dataBuffer_.data(), *len, sendFrame_.data(), 0, false);
        if (frameLen < 0) return failLogged(frameLen);
    }
    SendProtStrToApp(frameLen, false, false);

    int count = 0;
    bool replied = false;
    if (auto cipher = Cipher().load()) {
        const int result = exchangeSecured(plugIn, cipher, adr, cmd, frameLen, kReaderBufferSize, &count);
        cipher.reset();
        if (result < 0) {
            *len = 0;
            return result;
        }
        if (result == kSecuredStatus) {
            *len = 0;
            return kStatusSecuredCommand;
        }
        if (result == kSecuredEnded)
            SendProtStrToApp(frameLen, false, false);
        else
            replied = true;
    }
    if (!replied) {
        count = plugIn->transceive_protocol(chars(sendFrame_.data()), frameLen, chars(receiveFrame_.data()),
                                            kReaderBufferSize);
        if (count < 1) {
            *len = 0;
            return receiveFailure(0, count == 0 ? kErrLengthError : count);
        }
        if (count > kReaderBufferSize) {
            *len = 0;
            return receiveFailure(0, kErrBufferOverflow);
        }
    }

    *len = -1;
    int status = plugIn->split_protocol(c, static_cast<char>(adr), chars(receiveFrame_.data()), count,
                                        chars(dataBuffer_.data()), kReaderBufferSize, len);
    if (*len != -1 && (*len < 0 || *len > kReaderBufferSize)) {
        *len = 0;
        return receiveFailure(count, kErrSplitProtocol);
    }
    if (status < 0) {
        if (*len < 0) *len = 0;
        return receiveFailure(count, status);
    }
    if (status == 0 && *len == -1) {
        unsigned char replyAdr = 0;
        unsigned char replyCmd = 0;
        status = SplitAsyncRecProtocol(receiveFrame_.data(), count, &replyAdr, &replyCmd, dataBuffer_.data(),
                                       len, 0, false);
        if (status < 0) {
            *len = 0;
            return receiveFailure(count, status);
        }
        if (replyCmd != cmd) return receiveFailure(count, kErrWrongCommand);
        if (busAddressDiffers(adr, replyAdr)) return receiveFailure(count, kErrWrongBusAddress);
    } else if (*len == -1) {
        *len = 0;
    }

    if (*len > 0) {
        const int taken = plugIn->split_datastream(c, chars(dataBuffer_.data()), *len, record, mode);
        if (taken < 0) {
            SetLastError(taken);
            return taken;
        }
        if (taken > 0) {
            if (taken != *len) {
                SetLastError(kErrSplitDataStream);
                return kErrSplitDataStream;
            }
            if (replyParsing != nullptr) *replyParsing = false;
        }
    }
    RecProtStrToLogDoc(count, status, false, false);
    if (status == 0) SetLastError(0);
    return status;
}
