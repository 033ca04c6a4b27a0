#include "qm30.h"

#include "hid_manager.h"
#include "iso14443a_pcd.h"
#include "lib_PCD.h"
#include "trace_log.h"
#include "utils.h"

#include <vkcommon/hex_digit.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace vemlasdknative {

namespace {

// Transceiver command codes the answers are classified for.
constexpr std::int8_t kProtocolSelectCode = 2;
constexpr std::int8_t kSendReceiveCode = 4;
constexpr std::int8_t kRegisterWriteCode = 9;
constexpr std::int8_t kEchoCode = 0x55;

// PCD status codes of a classification.
constexpr std::int8_t kPcdOk = PCD_OK;
constexpr std::int8_t kPcdError = PCD_ERROR;
constexpr std::int8_t kPcdDongleError = PCD_DONGLE_ERROR;
constexpr std::int8_t kPcdAck = PCD_ACK;
constexpr std::int8_t kPcdNack = PCD_NACK;

// Output byte 0 after a command that failed without any reply bytes.
constexpr byte_t kNoReply = 0xFF;

// The lowest controller revision whose firmware the bridge accepts, as the
// revision bytes in hex.
constexpr char kMinimumRevision[] = "030606";
constexpr std::size_t kRevisionDigits = 6;
// A revision reply: result code and length byte, then the revision bytes.
constexpr std::size_t kRevisionHeadDigits = 4;

void writeText(char* text, const char* value) {
    std::snprintf(text, kVersionTextSize, "%s", value);
}

} // namespace

Qm30::Qm30() : rx_buffer(new Buffer(kScratchBytes)), tx_buffer(new Buffer(kScratchBytes)) {}

Qm30::~Qm30() {
    delete rx_buffer;
    delete tx_buffer;
    delete hid_handle;
}

char* Qm30::GetRxBuffer() {
    std::memset(rx_buffer->buf, 0, static_cast<std::size_t>(rx_buffer->capacity()));
    return reinterpret_cast<char*>(rx_buffer->buf);
}

bool Qm30::Connect() {
    // A second Connect starts over with a new manager: the old one closes its
    // device first.
    delete hid_handle;
    hid_handle = new HidManager();
    bool opened = Darvik_connected(hid_handle);
    QM30Dll_FieldOff(hid_handle, GetRxBuffer());
    connected = opened;
    return connected;
}

void Qm30::Disconnect() {
    connected = false;
    delete hid_handle;
    hid_handle = nullptr;
}

bool Qm30::CheckVersion(char* text) {
    if (text == nullptr) return false;
    if (hid_handle == nullptr) {
        writeText(text, "Qm30 not connected");
        return false;
    }
    char* reply = GetRxBuffer();
    QM30DLL_getMCUrev(hid_handle, reply);
    if (std::strlen(reply) < kRevisionHeadDigits + kRevisionDigits) {
        writeText(text, "Cannot get Qm30 version");
        return false;
    }
    if (std::memcmp(reply + kRevisionHeadDigits, kMinimumRevision, kRevisionDigits) < 0) {
        std::snprintf(text, kVersionTextSize, "Qm30 firmware version mismatch: current=%s, expected>=%s",
                      reply + kRevisionHeadDigits, kMinimumRevision);
        return false;
    }
    writeText(text, "");
    return true;
}

bool Qm30::GetFirmwareVersion(char* text) {
    if (text == nullptr) return false;
    if (hid_handle == nullptr) {
        writeText(text, "Qm30 not connected");
        return false;
    }
    char* reply = GetRxBuffer();
    if (QM30DLL_getMCUrev(hid_handle, reply) != 0) {
        writeText(text, "");
        return false;
    }
    writeText(text, std::strlen(reply) > kRevisionHeadDigits ? reply + kRevisionHeadDigits : "");
    return true;
}

byte_t Qm30::SetMode(byte_t* mode) {
    if (mode == nullptr) return 0;
    selected_protocol = GetProtocol(mode);
    QM30Dll_ResetSPI(hid_handle, GetRxBuffer());
    QM30Dll_Echo(hid_handle, GetRxBuffer());

    const byte_t tx = params14443_tx_data_rate(mode);
    const byte_t rx = params14443_rx_data_rate(mode);
    const byte_t crc = SetCrcMode(mode) ? 0x01 : 0x00;
    const byte_t rates = static_cast<byte_t>((tx << 6) + ((rx & 3) << 4));
    std::vector<byte_t> select;
    std::vector<std::vector<byte_t>> followUps;
    const std::vector<byte_t> afterSelect{0x02, 0xA8};
    switch (selected_protocol) {
    case FIELD_OFF: select = {0x00, 0x00}; break;
    case ISO15693:
        select = {0x01,
                  static_cast<byte_t>(0x0C + (param15693_use_fast_rx_data_rate(mode) ? 0x10 : 0x00) + crc)};
        followUps = {afterSelect};
        break;
    case ISO14443A:
        select = {0x02, rates, 0x02, 0x80};
        followUps = {{0x01, 0x09, 0x04, 0x3A, 0x00, 0x5A, 0x04},
                     {0x01, 0x09, 0x04, 0x68, 0x01, 0x01, 0xDF},
                     afterSelect};
        break;
    case ISO14443B:
        select = {0x03, static_cast<byte_t>(rates + crc), 0x00, 0x80};
        followUps = {{0x01, 0x09, 0x04, 0x68, 0x01, 0x01, 0x30}, afterSelect};
        break;
    default: return 0;
    }

    std::array<byte_t, kAnswerBytes> answer{};
    DllSelect(select.data(), static_cast<int>(select.size()), answer.data(), kAnswerBytes);
    if (CheckAnswer(kProtocolSelectCode, answer.data()) != kPcdOk) return 0;
    for (const std::vector<byte_t>& command : followUps) {
        Buffer cmd(static_cast<std::int32_t>(command.size()));
        std::copy(command.begin(), command.end(), cmd.buf);
        answer.fill(0);
        DllKestoCmd(cmd, answer.data());
        if (CheckAnswer(kRegisterWriteCode, answer.data()) != kPcdOk) return 0;
    }
    return 1;
}

int Qm30::selectTag(byte_t* uid, byte_t length) {
    return Iso14443ACommands().Iso14443aSelectTag(uid, length);
}

int Qm30::deselectTag(byte_t* uid) {
    return Iso14443ACommands().Iso14443aDeselectTag(uid);
}

namespace {

// An ISO 14443-A routine into the receive buffer's bytes; its length stays as
// the caller set it.
RfReaderBase::ReaderStatus intoBuffer(int (Iso14443ACommands::*routine)(byte_t*, int), Buffer* rx) {
    if (rx == nullptr) return RfReaderBase::DEFAULT_ERROR;
    Iso14443ACommands commands;
    const int capacity = std::clamp(rx->length, 0, rx->capacity());
    return (commands.*routine)(rx->buf, capacity) == kSuccessCode ? RfReaderBase::TRANSFER_OK
                                                                  : RfReaderBase::DEFAULT_ERROR;
}

} // namespace

RfReaderBase::ReaderStatus Qm30::SendReqA(Buffer* rx) {
    return intoBuffer(&Iso14443ACommands::Iso14443aReqA, rx);
}

RfReaderBase::ReaderStatus Qm30::SendWupA(Buffer* rx) {
    return intoBuffer(&Iso14443ACommands::Iso14443aWupA, rx);
}

RfReaderBase::ReaderStatus Qm30::SendHltA(Buffer* rx) {
    return intoBuffer(&Iso14443ACommands::Iso14443aHltA, rx);
}

void Qm30::SetInventoryAlgo(byte_t* algo) {
    if (algo == nullptr) return;
    switch (algo[0]) {
    case 0: inventory15693AlgoSw = true; break;
    case 1:
        inventory15693AlgoSw = false;
        inventory15693AlgoParams = algo[1];
        break;
    case 2: inventory14443aAlgoSw = true; break;
    case 3: inventory14443aAlgoSw = false; break;
    case 4: inventory14443bAlgoSw = true; break;
    case 5: inventory14443bAlgoSw = false; break;
    default: break;
    }
}

int Qm30::DllTxRx(const Buffer& tx, byte_t* rx) {
    return SendDllCmd(hid_handle, tx.buf, tx.length, rx, kAnswerBytes, DLL_TXRX);
}

int Qm30::DllKestoCmd(const Buffer& cmd, byte_t* out) {
    return SendDllCmd(hid_handle, cmd.buf, cmd.length, out, kAnswerBytes, DLL_KESTOCMD);
}

int Qm30::DllSelect(const byte_t* cmd, int length, byte_t* out, int capacity) {
    return SendDllCmd(hid_handle, cmd, length, out, capacity, DLL_SELECT);
}

int Qm30::SendDllCmd(HidManager* manager, const byte_t* cmd, int length, byte_t* out, int capacity,
                     DllCommand which) {
    const int n = cmd != nullptr ? std::max(length, 0) : 0;
    std::vector<char> command(2 * static_cast<std::size_t>(n) + 1, '\0');
    Hex2Asc(command.data(), cmd, n);
    std::vector<char> reply(QM30_REPLY_TEXT_SIZE, '\0');
    int result = 0;
    switch (which) {
    case DLL_TXRX: result = QM30Dll_SendReceive(manager, command.data(), reply.data()); break;
    case DLL_SELECT: result = QM30Dll_Select(manager, command.data(), reply.data()); break;
    case DLL_KESTOCMD: result = QM30Dll_KestoCmd(manager, command.data(), reply.data()); break;
    }
    if (out == nullptr || capacity <= 0) return 0;
    // The reply's leading hex pairs (an error text has its code first).
    const char* text = reply.data();
    int read = 0;
    while (vk::hexDigitValue(text[2 * read]) >= 0 && vk::hexDigitValue(text[2 * read + 1]) >= 0)
        ++read;
    std::vector<byte_t> bytes(static_cast<std::size_t>(read) + 1, 0);
    Asc2Hex(bytes.data(), text, 2 * read);
    if (result != 0 && read == 0) {
        out[0] = kNoReply;
        traceLog.Dbg("Qm30 command failed with %d\n", result);
        return 0;
    }
    const int written = std::min(read, capacity);
    std::copy_n(bytes.begin(), written, out);
    return written;
}

std::int8_t Qm30::CheckAnswer(std::int8_t cmdCode, byte_t* reply) {
    if (reply == nullptr) return kPcdError;
    const byte_t code = reply[0];
    if (code == 0x21) return kPcdDongleError;
    switch (cmdCode) {
    case 1:
    case kProtocolSelectCode:
    case 7:
    case 8:
    case kRegisterWriteCode: return code == 0x00 ? kPcdOk : kPcdError;
    case kSendReceiveCode:
        if (code == 0x80 || code == 0xA0 || code == 0xB0 || code == 0xC0) return kPcdOk;
        if (code == 0x90) {
            if (reply[1] == 4) return reply[2] == 0x0A ? kPcdAck : kPcdNack;
            return kPcdOk;
        }
        return kPcdError;
    case kEchoCode: return code == 0x55 ? kPcdOk : kPcdError;
    default: return kPcdError;
    }
}

std::int8_t Qm30::GetCollisionPos(std::uint8_t* bytePos, std::uint8_t* bitPos) {
    if (bytePos != nullptr) *bytePos = byte_collision;
    if (bitPos != nullptr) *bitPos = bit_collision;
    return 0;
}

} // namespace vemlasdknative
