#include "kxx0_standin.h"

#include <algorithm>
#include <cstring>

namespace kxx0standin {

namespace {

// The board firmware's statuses the stand-in answers with.
constexpr int kTimeout = 4;
constexpr int kCrcError = 21;
constexpr int kNotFound = 22;
constexpr int kCollision = 29;
constexpr int kIncompleteByte = 40;
constexpr int kUsbFailed = 1;

constexpr std::uint8_t kCascadeTag = 0x88;
constexpr std::uint8_t kSakUidNotComplete = 0x04;
constexpr std::size_t kLevelBytes = 5; // 4 bytes and their check byte
constexpr std::size_t kEntryBytes = 10;
constexpr std::size_t kSlots = 16;

// Handles the stand-in hands out: the address of a token per board.
struct Token {
    int board;
};
Token tokens[2] = {{0}, {1}};

// The air interface of a board RF mode the field has tags for.
std::optional<rfsim::Protocol> protocolOf(std::uint8_t mode) {
    switch (mode) {
    case MOSA_MODE_POLL_NFCA: return rfsim::Protocol::Iso14443A;
    case MOSA_MODE_POLL_NFCB: return rfsim::Protocol::Iso14443B;
    case MOSA_MODE_POLL_NFCV: return rfsim::Protocol::Iso15693;
    default: return std::nullopt;
    }
}

// Copies at most `room` of `bytes` to `out`; the count copied.
std::size_t copyOut(const Bytes& bytes, void* out, std::size_t room) {
    const std::size_t n = std::min(bytes.size(), room);
    if (n > 0 && out != nullptr) std::memcpy(out, bytes.data(), n);
    return n;
}

std::int64_t inOut(const std::size_t* length) {
    return length == nullptr ? -1 : static_cast<std::int64_t>(*length);
}

} // namespace

Core& Core::instance() {
    static Core core;
    return core;
}

Core::Core() : field_(std::make_unique<rfsim::Field>()) {}

void Core::reset() {
    boards_ = {};
    field_ = std::make_unique<rfsim::Field>();
    vicinityTags.clear();
    scripts_.clear();
    calls_.clear();
}

KXx0HANDLE Core::handle(Board board) {
    return reinterpret_cast<KXx0HANDLE>(&tokens[static_cast<int>(board)]);
}

std::vector<Call> Core::calls(std::string_view name) const {
    std::vector<Call> out;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
                 [&](const Call& call) { return call.name == name; });
    return out;
}

std::vector<std::string> Core::callNames() const {
    std::vector<std::string> out;
    for (const Call& call : calls_)
        out.push_back(call.name);
    return out;
}

std::optional<Script> Core::begin(Board board, const char* name, KXx0HANDLE handle,
                                  std::vector<std::int64_t> args, Bytes bytes) {
    calls_.push_back({board, name, handle, std::move(args), std::move(bytes)});
    auto queued = scripts_.find(name);
    if (queued == scripts_.end() || queued->second.empty()) return std::nullopt;
    Script next = std::move(queued->second.front());
    queued->second.pop_front();
    return next;
}

KXx0HANDLE Core::getBoard(Board board) {
    begin(board, "_GetKX10@0", nullptr, {});
    return boards_[static_cast<int>(board)].present ? handle(board) : nullptr;
}

void Core::release(Board board, KXx0HANDLE handle) {
    begin(board, "_ReleaseKX10@4", handle, {});
}

KXx0ComError Core::checkConnection(Board board, KXx0HANDLE handle) {
    if (auto scripted = begin(board, "_checkConnection@4", handle, {}))
        return static_cast<KXx0ComError>(scripted->status);
    return static_cast<KXx0ComError>(this->board(board).gone ? -1 : 0);
}

KXx0ComError Core::firmwareVersion(Board board, KXx0HANDLE handle, std::uint32_t* version) {
    if (auto scripted = begin(board, "_getFirmwareVersion@8", handle, {}))
        return static_cast<KXx0ComError>(scripted->status);
    const BoardState& state = this->board(board);
    if (version != nullptr) *version = state.firmware;
    return static_cast<KXx0ComError>(state.firmwareStatus);
}

KXx0ComError Core::ownVersion(Board board, char* name, char* version) {
    begin(board, "_getVersion@8", nullptr, {});
    // At most 50 and 10 bytes, unterminated at the limit, as the libraries write them.
    const BoardState& state = this->board(board);
    const std::size_t nameLength = std::min<std::size_t>(state.libraryName.size() + 1, 50);
    const std::size_t versionLength = std::min<std::size_t>(state.libraryVersion.size() + 1, 10);
    if (name != nullptr) std::memcpy(name, state.libraryName.c_str(), nameLength);
    if (version != nullptr) std::memcpy(version, state.libraryVersion.c_str(), versionLength);
    return NoError;
}

KXx0ComError Core::setMode(Board board, KXx0HANDLE handle, std::uint8_t mode, std::uint8_t tx,
                           std::uint8_t rx) {
    if (auto scripted = begin(board, "_mosaSetMode@16", handle, {mode, tx, rx}))
        return static_cast<KXx0ComError>(scripted->status);
    this->board(board).mode = mode;
    return static_cast<KXx0ComError>(fieldStatus(board));
}

KXx0ComError Core::blocking(Board board, KXx0HANDLE handle, const std::uint8_t* tx, std::uint16_t txLen,
                            std::uint8_t* rx, std::uint16_t rxCap, std::uint16_t* rcvLen, std::uint32_t flags,
                            std::uint32_t fwt) {
    Bytes sent(tx, tx + txLen);
    auto scripted = begin(board, "_mosaTransceiveBlockingTxRx@32", handle, {txLen, rxCap, flags, fwt}, sent);
    *rcvLen = 0;
    if (scripted) {
        const std::size_t n = copyOut(scripted->bytes, rx, rxCap);
        *rcvLen = static_cast<std::uint16_t>(scripted->reported.value_or(n));
        return static_cast<KXx0ComError>(scripted->status);
    }
    if (this->board(board).gone) return static_cast<KXx0ComError>(kUsbFailed);
    const auto protocol = protocolOf(this->board(board).mode);
    if (!protocol || sent.empty()) return static_cast<KXx0ComError>(kTimeout);
    const bool boardCrc = (flags & MOSA_TXRX_FLAGS_CRC_TX_MANUAL) == 0;
    const auto heard = field_->exchange({sent, 8, boardCrc, *protocol});
    if (!heard) return static_cast<KXx0ComError>(kTimeout);
    Bytes answer = heard->bytes;
    int status = 0;
    if (heard->collision) {
        status = kCollision;
    } else if (heard->lastBits != 8) {
        status = kIncompleteByte;
    } else if (boardCrc) {
        if (!rfsim::endsWithCrc(*protocol, {answer, 8})) return static_cast<KXx0ComError>(kCrcError);
        answer.resize(answer.size() - 2);
    }
    *rcvLen = static_cast<std::uint16_t>(copyOut(answer, rx, rxCap));
    return static_cast<KXx0ComError>(status);
}

KXx0ComError Core::shortFrame(Board board, KXx0HANDLE handle, std::uint8_t code, std::uint8_t* rx,
                              std::uint8_t rxCap, std::uint16_t* rcvLen, std::uint32_t fwt) {
    auto scripted = begin(board, "_mosaISO14443ATransceiveShortFrame@24", handle, {code, rxCap, fwt});
    *rcvLen = 0;
    if (scripted) {
        const std::size_t n = copyOut(scripted->bytes, rx, rxCap);
        *rcvLen = static_cast<std::uint16_t>(scripted->reported.value_or(n * 8));
        return static_cast<KXx0ComError>(scripted->status);
    }
    if (this->board(board).gone) return static_cast<KXx0ComError>(kUsbFailed);
    const auto heard = field_->exchange({{code}, 7, false});
    if (!heard) return static_cast<KXx0ComError>(kTimeout);
    *rcvLen = static_cast<std::uint16_t>(copyOut(heard->bytes, rx, rxCap) * 8);
    return static_cast<KXx0ComError>(heard->collision ? kCollision : 0);
}

KXx0ComError Core::anticollisionFrame(Board board, KXx0HANDLE handle, std::uint8_t* frame,
                                      std::uint8_t* bytesToSend, std::uint8_t* bitsToSend,
                                      std::uint16_t* rcvLen, std::uint32_t fwt) {
    // The board sends the first n bytes of the frame and writes back as many.
    const std::size_t n = *bytesToSend + 5u + (*bitsToSend != 0 ? 1u : 0u);
    const Bytes sent(frame, frame + *bytesToSend + (*bitsToSend != 0 ? 1 : 0));
    auto scripted = begin(board, "_mosaISO14443ATransceiveAnticollisionFrame@24", handle,
                          {*bytesToSend, *bitsToSend, fwt}, Bytes(frame, frame + n));
    *rcvLen = 0;
    if (scripted) {
        const std::size_t copied = copyOut(scripted->bytes, frame + 2, n - 2);
        *rcvLen = static_cast<std::uint16_t>(scripted->reported.value_or(copied * 8));
        return static_cast<KXx0ComError>(scripted->status);
    }
    if (this->board(board).gone) return static_cast<KXx0ComError>(kUsbFailed);
    const auto heard = field_->exchange({sent, *bitsToSend != 0 ? *bitsToSend : 8, false});
    if (!heard) return static_cast<KXx0ComError>(kTimeout);
    *rcvLen = static_cast<std::uint16_t>(copyOut(heard->bytes, frame + 2, n - 2) * 8);
    return static_cast<KXx0ComError>(heard->collision ? kCollision : 0);
}

KXx0ComError Core::eof(Board board, KXx0HANDLE handle, std::uint8_t* rx, std::uint8_t rxCap,
                       std::uint16_t* rcvLen) {
    auto scripted = begin(board, "_mosaISO15693TransceiveAnticollisionEOF@16", handle, {rxCap});
    *rcvLen = 0;
    if (!scripted) return static_cast<KXx0ComError>(fieldStatus(board));
    const std::size_t n = copyOut(scripted->bytes, rx, rxCap);
    *rcvLen = static_cast<std::uint16_t>(scripted->reported.value_or(n));
    return static_cast<KXx0ComError>(scripted->status);
}

std::optional<Core::Selected> Core::selectOne(std::uint8_t requestCode) {
    const auto atqa = field_->exchange({{requestCode}, 7, false});
    if (!atqa || atqa->bytes.size() < 2) return std::nullopt;
    Selected selected;
    selected.atqa = {atqa->bytes[0], atqa->bytes[1]};
    for (std::uint8_t sel = 0x93; sel <= 0x97; sel += 2) {
        // Bit by bit: the known bits go out, the tags answer the rest; at a
        // collision the bit read (1) is taken as known and the round repeats.
        std::array<std::uint8_t, kLevelBytes> level{};
        std::size_t known = 0;
        while (known < kLevelBytes * 8) {
            const std::size_t whole = known / 8;
            const int bits = static_cast<int>(known % 8);
            rfsim::Frame frame{{sel, static_cast<std::uint8_t>(0x20 + 0x10 * whole + bits)}, 8, false};
            frame.bytes.insert(frame.bytes.end(), level.begin(), level.begin() + static_cast<long>(whole));
            if (bits > 0) {
                frame.bytes.push_back(static_cast<std::uint8_t>(level[whole] & ((1u << bits) - 1)));
                frame.lastBits = bits;
            }
            const auto heard = field_->exchange(frame);
            if (!heard || heard->bytes.empty()) return std::nullopt;
            for (std::size_t i = 0; i < heard->bytes.size() && whole + i < kLevelBytes; ++i)
                level[whole + i] |= heard->bytes[i];
            if (!heard->collision) break;
            known =
                (whole + heard->collision->byte) * 8 + static_cast<std::size_t>(heard->collision->bit) + 1;
        }
        Bytes select{sel, 0x70};
        select.insert(select.end(), level.begin(), level.end());
        const auto sak = field_->exchange({select, 8, true});
        if (!sak || sak->bytes.empty()) return std::nullopt;
        selected.sak = sak->bytes[0];
        const bool cascade = level[0] == kCascadeTag && (selected.sak & kSakUidNotComplete) != 0;
        selected.uid.insert(selected.uid.end(), level.begin() + (cascade ? 1 : 0), level.begin() + 4);
        if (!cascade) return selected;
    }
    return selected;
}

KXx0ComError Core::select(Board board, KXx0HANDLE handle, std::uint8_t requestCode, bool flag, char* uid,
                          std::size_t* uidLen, char* atqa, char* sak) {
    auto scripted = begin(board, "_iso14443aSelect@28", handle, {requestCode, flag, inOut(uidLen)});
    const std::size_t room = *uidLen;
    if (scripted) {
        const std::size_t n = copyOut(scripted->bytes, uid, room);
        *uidLen = static_cast<std::size_t>(scripted->reported.value_or(n));
        return static_cast<KXx0ComError>(scripted->status);
    }
    if (this->board(board).gone) return static_cast<KXx0ComError>(kUsbFailed);
    const auto selected = selectOne(requestCode);
    if (!selected) return static_cast<KXx0ComError>(kNotFound);
    *uidLen = copyOut(selected->uid, uid, room);
    std::memcpy(atqa, selected->atqa.data(), 2);
    *sak = static_cast<char>(selected->sak);
    return NoError;
}

KXx0ComError Core::halt(Board board, KXx0HANDLE handle, char* rx, std::size_t* rxLen) {
    auto scripted = begin(board, "_iso14443aHalt@12", handle, {inOut(rxLen)});
    const std::size_t room = *rxLen;
    *rxLen = 0;
    if (scripted) {
        const std::size_t n = copyOut(scripted->bytes, rx, room);
        *rxLen = static_cast<std::size_t>(scripted->reported.value_or(n));
        return static_cast<KXx0ComError>(scripted->status);
    }
    if (this->board(board).gone) return static_cast<KXx0ComError>(kUsbFailed);
    field_->exchange({{0x50, 0x00}, 8, true});
    return NoError;
}

KXx0ComError Core::inventory(Board board, KXx0HANDLE handle, int slots16, Iso15693InventoryEntry* entries,
                             std::size_t* count) {
    auto scripted = begin(board, "_iso15693sendInventoryRequest@16", handle, {slots16, inOut(count)});
    const std::size_t room = *count;
    *count = 0;
    if (scripted) {
        const std::size_t n = copyOut(scripted->bytes, entries, room * kEntryBytes);
        *count = static_cast<std::size_t>(scripted->reported.value_or(n / kEntryBytes));
        return static_cast<KXx0ComError>(scripted->status);
    }
    if (this->board(board).gone) return static_cast<KXx0ComError>(kUsbFailed);
    if (vicinityTags.empty()) return static_cast<KXx0ComError>(kNotFound);
    // One slot: every tag answers in it, so more than one collide.
    if (slots16 == 0 && vicinityTags.size() > 1) return static_cast<KXx0ComError>(kCollision);
    const std::size_t n = std::min({vicinityTags.size(), room, kSlots});
    for (std::size_t i = 0; i < n; ++i) {
        entries[i] = {};
        std::reverse_copy(vicinityTags[i].begin(), vicinityTags[i].end(), entries[i].uid);
    }
    *count = n;
    return NoError;
}

KXx0ComError Core::other(Board board, const char* name, KXx0HANDLE handle, std::vector<std::int64_t> args) {
    if (auto scripted = begin(board, name, handle, std::move(args)))
        return static_cast<KXx0ComError>(scripted->status);
    return static_cast<KXx0ComError>(fieldStatus(board));
}

} // namespace kxx0standin
