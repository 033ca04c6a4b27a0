// The transparent exchange: frames the caller built itself, sent with or
// without waiting, and frames received without sending. Each method takes the
// command lock for its whole exchange.
#include "reader/reader.h"
#include "security/crypto_plugin.h"
#include "texts/error_codes.h"

#include <vkkrn_codec/crc16.h>
#include <vkkrn_codec/hex.h>
#include <vkkrn_plugin.h>

#include <cstring>

namespace {

using namespace vkkrn;

constexpr unsigned char kAdvancedMark = 0x02;
constexpr unsigned char kShortestStandardLength = 5;
constexpr int kStatusSecuredCommand = 0x19;

char* chars(unsigned char* p) {
    return reinterpret_cast<char*>(p);
}

// Bytes a frame needs to hold its bus address and command byte.
int headOf(const unsigned char* frame) {
    return frame[0] == kAdvancedMark ? 5 : 3;
}

// Whether `count` frame bytes fit `rxSize` in the form they are written.
bool fitsCaller(int count, int rxSize, int hex) {
    const long long needed = hex != 0 ? 2LL * count + 1 : count;
    return needed <= rxSize;
}

} // namespace

void VKKRNReader::SendLineWithoutApp(int len) {
    const unsigned char toApp = sendProtToAppFlag_.exchange(0);
    SendProtStrToApp(len, false, false);
    sendProtToAppFlag_.store(toApp);
}

int VKKRNReader::takeCallerFrame(const unsigned char* tx, int txLen, int crc, int hex, bool crcOnEveryPort) {
    int n = txLen;
    if (hex != 0) {
        if (txLen % 2 != 0) return failLogged(kErrOddHex);
        const auto decoded =
            codec::decodeHex({tx, static_cast<std::size_t>(txLen)},
                             {sendFrame_.data(), static_cast<std::size_t>(kReaderBufferSize)});
        if (!decoded) return failLogged(kErrOddHex);
        n = static_cast<int>(*decoded);
    } else {
        if (txLen > kReaderBufferSize) return failLogged(kErrOutOfRange);
        std::memcpy(sendFrame_.data(), tx, static_cast<std::size_t>(txLen));
    }
    const int type = GetCommMode();
    const bool framedHere = type == 0 || type == 2 || (type == 1 && usbGeneration_.load() == 1);
    if (crc == 1 && (crcOnEveryPort || framedHere)) {
        if (n + 2 > kReaderBufferSize) return failLogged(kErrOutOfRange);
        const std::uint16_t sum = codec::crc16({sendFrame_.data(), static_cast<std::size_t>(n)});
        sendFrame_[n] = static_cast<unsigned char>(sum);
        sendFrame_[n + 1] = static_cast<unsigned char>(sum >> 8);
        n += 2;
    }
    if (n < 1 || (sendFrame_[0] != kAdvancedMark && sendFrame_[0] < kShortestStandardLength) ||
        n < headOf(sendFrame_.data())) {
        SetLastError(kErrLengthError);
        return kErrLengthError;
    }
    return n;
}

int VKKRNReader::writeCallerReply(unsigned char* rx, int count, int hex) {
    const std::span<const std::uint8_t> frame{receiveFrame_.data(), static_cast<std::size_t>(count)};
    if (hex != 0) {
        codec::encodeHex(frame, std::span<std::uint8_t>(rx, 2 * static_cast<std::size_t>(count) + 1));
        return 2 * count;
    }
    std::memcpy(rx, receiveFrame_.data(), static_cast<std::size_t>(count));
    return count;
}

int VKKRNReader::Exe_SendTransparent(unsigned char* tx, int txLen, unsigned char* rx, int rxSize, int crc,
                                     int hex) {
    if (RefuseReentry()) return kErrBusy;
    if (txLen < 1 || rxSize < 1) return failLogged(kErrOutOfRange);
    auto lock = Lock();
    VKKRN_PlugIn* plugIn = plugIn_;
    if (plugIn == nullptr) return failLogged(kErrNoPlugIn);
    receiveFrame_[0] = 0;
    receiveFrame_[1] = 0;
    const int n = takeCallerFrame(tx, txLen, crc, hex, false);
    if (n < 0) return n;
    const int head = headOf(sendFrame_.data());
    const unsigned char adr = sendFrame_[head - 2];
    const unsigned char cmd = sendFrame_[head - 1];
    SendProtStrToApp(n, false, false);

    int count = 0;
    bool replied = false;
    if (auto cipher = Cipher().load()) {
        const int result = exchangeSecured(plugIn, cipher, adr, cmd, n, rxSize, &count);
        cipher.reset();
        if (result < 0) return result;
        if (result == kSecuredEnded)
            SendProtStrToApp(n, false, false);
        else
            replied = true;
        if (result == kSecuredStatus) {
            // The 0xAF reply under the request's command, as the engine leaves it.
            if (!fitsCaller(count, rxSize, hex)) return receiveFailure(0, kErrBufferOverflow);
            SetLastError(0);
            return writeCallerReply(rx, count, hex);
        }
    }
    if (!replied) {
        count = plugIn->transceive_protocol(chars(sendFrame_.data()), n, chars(receiveFrame_.data()),
                                            kReaderBufferSize);
        if (count < 0) return receiveFailure(0, count);
        if (count > kReaderBufferSize) return receiveFailure(0, kErrBufferOverflow);
    }
    if (!fitsCaller(count, rxSize, hex)) return receiveFailure(0, kErrBufferOverflow);
    if (count == 0) {
        SetLastError(0);
        return 0;
    }

    const int type = GetCommMode();
    const bool firstGenerationUsb = type == 1 && usbGeneration_.load() == 0;
    int status = 0;
    if (firstGenerationUsb) {
        // Its replies carry neither bus address nor CRC: status after the command.
        const int at = receiveFrame_[0] == kAdvancedMark ? 4 : 2;
        status = count > at ? receiveFrame_[at] : 0;
    } else {
        unsigned char replyAdr = 0;
        unsigned char replyCmd = 0;
        int dataLen = 0;
        status = SplitAsyncRecProtocol(receiveFrame_.data(), count, &replyAdr, &replyCmd, dataBuffer_.data(),
                                       &dataLen, 0, false);
        if (status < 0) return receiveFailure(count, status);
        if (replyCmd != cmd) return receiveFailure(count, kErrWrongCommand);
        if (busAddressDiffers(adr, replyAdr)) return receiveFailure(count, kErrWrongBusAddress);
    }
    if (type != 7) RecProtStrToLogDoc(count, status, false, false);
    SetLastError(0);
    return writeCallerReply(rx, count, hex);
}

int VKKRNReader::Exe_Transmit(unsigned char* tx, int txLen, int crc, int hex) {
    if (RefuseReentry()) return kErrBusy;
    if (txLen < 1) return failLogged(kErrOutOfRange);
    auto lock = Lock();
    VKKRN_PlugIn* plugIn = plugIn_;
    if (plugIn == nullptr) return failLogged(kErrNoPlugIn);
    const int n = takeCallerFrame(tx, txLen, crc, hex, true);
    if (n < 0) return n;
    const int head = headOf(sendFrame_.data());
    SendProtStrToApp(n, false, false);
    const auto cipher = Cipher().load();
    if (cipher == nullptr) return plugIn->transmit_protocol(chars(sendFrame_.data()), n);

    wrapData_[0] = 0x00;
    int enciphered = 0;
    if (const int rc = cipher->encipher(sendFrame_.data(), n, wrapData_.data() + 1, enciphered))
        return failLogged(rc);
    if (enciphered < 0 || enciphered > kReaderBufferSize - 2) return failLogged(kErrOutOfRange);
    const int wrappedLen = BuildAsyncSndProtocol(sendFrame_[head - 2], 0xAF, wrapData_.data(), enciphered + 1,
                                                 wrappedRequest_.data(), 0, false);
    if (wrappedLen < 0) return failLogged(wrappedLen);
    return plugIn->transmit_protocol(chars(wrappedRequest_.data()), wrappedLen);
}

int VKKRNReader::Exe_Receive(unsigned char* rx, int rxSize, int hex) {
    if (RefuseReentry()) return kErrBusy;
    if (rxSize < 1) return failLogged(kErrOutOfRange);
    auto lock = Lock();
    VKKRN_PlugIn* plugIn = plugIn_;
    if (plugIn == nullptr) return failLogged(kErrNoPlugIn);

    int count = 0;
    bool received = false;
    if (auto cipher = Cipher().load()) {
        count = plugIn->receive_protocol(chars(wrappedReply_.data()), kReaderBufferSize);
        if (count < 0) return failLogged(count);
        if (count > kReaderBufferSize || count > rxSize) return failLogged(kErrBufferOverflow);
        if (count > 0) {
            unsigned char replyAdr = 0;
            unsigned char replyCmd = 0;
            int n = 0;
            const int status = SplitAsyncRecProtocol(wrappedReply_.data(), count, &replyAdr, &replyCmd,
                                                     wrapData_.data(), &n, 0, false);
            if (status < 0) return failLogged(status);
            if (replyCmd != 0xAF) return receiveFailure(0, kErrWrongCommand);
            if (status == kStatusSecuredCommand) {
                // Handed over as it came: not enciphered by the reader.
                SetLastRecProt(wrappedReply_.data(), count);
                received = true;
            } else if (status != 0x82) {
                const int plain = decipherInner(*cipher, wrapData_.data(), n, receiveFrame_.data());
                if (plain < 0) return failLogged(plain);
                count = plain;
                received = true;
            } else {
                Cipher().reset();
            }
        } else {
            received = true;
        }
    }
    if (!received) {
        receiveFrame_[0] = 0;
        receiveFrame_[1] = 0;
        count = plugIn->receive_protocol(chars(receiveFrame_.data()), kReaderBufferSize);
    }
    if (count < 0) return receiveFailure(0, count);
    if (count > kReaderBufferSize || !fitsCaller(count, rxSize, hex))
        return receiveFailure(0, kErrBufferOverflow);
    if (count == 0) {
        RecProtStrToLogDoc(0, 0, false, false);
        return 0;
    }

    int dataLen = -1;
    int status = plugIn->split_protocol(0, 0, chars(receiveFrame_.data()), count, chars(dataBuffer_.data()),
                                        kReaderBufferSize, &dataLen);
    if (status < 0) return receiveFailure(count, status);
    if (status == 0 && dataLen == -1) {
        unsigned char replyAdr = 0;
        unsigned char replyCmd = 0;
        status = SplitAsyncRecProtocol(receiveFrame_.data(), count, &replyAdr, &replyCmd, dataBuffer_.data(),
                                       &dataLen, 0, false);
        if (status < 0) return receiveFailure(count, status);
    }
    const int written = writeCallerReply(rx, count, hex);
    SetLastError(0);
    RecProtStrToLogDoc(count, status, false, false);
    return written;
}
