#include "kesto_reader.h"

#include "KX10.h"
#include "kx20.h"
#include "qm30.h"
#include "trace_log.h"

#include <algorithm>
#include <array>

namespace vemlasdknative::natives {

namespace {

// ISO 14443-4 frame sizes by FSDI.
constexpr std::array<int, 13> maxRatsRx{16, 24, 32, 40, 48, 64, 96, 128, 256, 512, 1024, 2048, 4096};

constexpr std::size_t kModeBytes = 4;
constexpr std::size_t kAlgoBytes = 2;

// Makes `reader` current and connects it; a reader that does not connect is
// destroyed and the current reader cleared.
bool tryReader(RfReaderBase* reader) {
    handle = reader;
    traceLog.Dbg("Trying to connect to %s\n", reader->GetName());
    if (reader->Connect()) {
        traceLog.Dbg("Connected to %s\n", reader->GetName());
        return true;
    }
    delete reader;
    handle = nullptr;
    return false;
}

Buffer toBuffer(const Bytes& bytes) {
    Buffer buffer(static_cast<std::int32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer.buf);
    return buffer;
}

// {0, rx bytes...} for a transfer that succeeded and left a length the
// buffer holds; {3} otherwise.
Bytes answer(bool ok, const Buffer& rx) {
    if (!ok) {
        traceLog.Dbg("Transceive is failed\n");
        return kFailed;
    }
    if (rx.length < 0 || rx.length > rx.capacity()) return kFailed;
    Bytes out{0};
    out.insert(out.end(), rx.buf, rx.buf + rx.length);
    return out;
}

// A receive buffer of the reader's receive maximum, handed to `send`.
template <typename Send> Bytes receive(Send send) {
    if (handle == nullptr) return kFailed;
    Buffer rx(handle->GetMaxReceiveLengthInBytes());
    return answer(send(rx) == RfReaderBase::TRANSFER_OK, rx);
}

template <std::size_t N> std::array<byte_t, N> padded(const Bytes& bytes) {
    std::array<byte_t, N> out{};
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
    return out;
}

// The version text a reader writes into a bounded buffer that starts empty.
template <typename Read> std::string versionText(Read read) {
    std::array<char, kVersionTextSize> text{};
    read(text.data());
    text.back() = '\0';
    return text.data();
}

} // namespace

int getRatsRxNibble(int maxReceive) {
    if (maxReceive <= maxRatsRx[0]) return 0;
    std::size_t i = 1;
    while (i < maxRatsRx.size() - 1 && maxRatsRx[i] < maxReceive)
        ++i;
    return static_cast<int>(i);
}

bool connect() {
    if (handle != nullptr) return true;
    traceLog.Init(kTraceFile);
    if (tryReader(new kx10()) || tryReader(new kx20()) || tryReader(new Qm30())) return true;
    traceLog.Dbg("Not connected\n");
    return false;
}

void disconnect() {
    if (handle == nullptr) return;
    handle->Disconnect();
    delete handle;
    handle = nullptr;
}

bool isConnected() {
    return handle != nullptr && handle->IsConnected();
}

std::string getName() {
    return handle != nullptr ? handle->GetName() : "";
}

std::string checkVersion() {
    if (handle == nullptr) return kNoVersionText;
    return versionText([](char* text) { handle->CheckVersion(text); });
}

std::string getFirmwareVersion() {
    if (handle == nullptr) return "";
    return versionText([](char* text) { handle->GetFirmwareVersion(text); });
}

byte_t selectReaderMode(const Bytes& mode) {
    if (handle == nullptr) return kNoModeResult;
    std::array<byte_t, kModeBytes> bytes = padded<kModeBytes>(mode);
    return handle->SetMode(bytes.data());
}

Bytes sendReceive(const Bytes& tx) {
    if (handle == nullptr) return kFailed;
    Buffer request = toBuffer(tx);
    return receive([&](Buffer& rx) { return handle->Transceive(request, &rx); });
}

Bytes sendReceive14443a(byte_t frameMode, const Bytes& tx) {
    if (handle == nullptr) return kFailed;
    Buffer request = toBuffer(tx);
    Buffer rx(handle->GetMaxReceiveLengthInBytes());
    RfReaderBase::ReaderStatus status = handle->Transceive14443a(frameMode, request, &rx);
    return answer(status == RfReaderBase::TRANSFER_OK || status == RfReaderBase::ACK, rx);
}

Bytes sendReqA() {
    return receive([](Buffer& rx) { return handle->SendReqA(&rx); });
}

Bytes sendWupA() {
    return receive([](Buffer& rx) { return handle->SendWupA(&rx); });
}

Bytes sendHltA() {
    return receive([](Buffer& rx) { return handle->SendHltA(&rx); });
}

Bytes sendRats() {
    if (handle == nullptr) return kFailed;
    const int fsdi = getRatsRxNibble(handle->GetMaxReceiveLengthInBytes());
    return sendReceive({0xE0, static_cast<byte_t>(fsdi << 4)});
}

Bytes sendPps() {
    return sendReceive({0xD0, 0x11, 0x00});
}

std::vector<Bytes> antiCollision() {
    std::vector<Bytes> out;
    if (handle == nullptr) return out;
    std::vector<RfReaderBase::Uid> uids;
    handle->Inventory(uids);
    for (const RfReaderBase::Uid& uid : uids)
        out.emplace_back(uid.id, uid.id + (uid.id != nullptr && uid.length > 0 ? uid.length : 0));
    return out;
}

void setAnticollisionAlgo(const Bytes& algo) {
    if (handle == nullptr) return;
    std::array<byte_t, kAlgoBytes> bytes = padded<kAlgoBytes>(algo);
    handle->SetInventoryAlgo(bytes.data());
}

int getMaxTransmitLengthInBytes() {
    return handle != nullptr ? handle->GetMaxTransmitLengthInBytes() : 0;
}

int getMaxReceiveLengthInBytes() {
    return handle != nullptr ? handle->GetMaxReceiveLengthInBytes() : 0;
}

int selectTag14443A(const Bytes& uid) {
    if (handle == nullptr) return kNoSelectResult;
    Bytes bytes = uid;
    bytes.push_back(0); // never a null pointer, also for an empty UID
    return handle->selectTag(bytes.data(), static_cast<byte_t>(uid.size()));
}

int deselectTag14443A(const Bytes& uid) {
    if (handle == nullptr) return kNoSelectResult;
    Bytes bytes = uid;
    bytes.push_back(0);
    return handle->deselectTag(bytes.data());
}

} // namespace vemlasdknative::natives
