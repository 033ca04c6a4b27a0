#include <krnsim/reader_model.h>

#include <krnsim/command_lengths.h>

#include <optional>
#include <stdexcept>

namespace krnsim {

namespace {

Answer ok(Bytes data = {}) {
    return Answer{reader_status::kOk, std::move(data)};
}

// Commands the model answers with their own request data after the leading or
// parameter bytes: the number of bytes skipped, or nothing for other commands.
std::optional<std::size_t> echoedAfter(std::uint8_t command) {
    switch (command) {
    case 0xB2: // until a card answers APDUs
    case 0xB3:
    case 0xFE: return 0;
    case 0xB1:
    case 0xB4:
    case 0xB5: return 1; // the leading byte
    case 0xC0: return 2; // [slot][time-out]
    case 0xC2:
    case 0xC3: return 2;
    case 0xBD:
    case 0xBE:
    case 0xBF: return 3; // [mode][value high][value low]
    case 0xC1: return 6;
    case 0xBB: return 7; // three bytes and two 16-bit values
    default: return std::nullopt;
    }
}

} // namespace

Bytes ReaderModel::defaultVersion() {
    // Software 1.2.3, device type 'K', firmware options 0, two 16-bit buffer sizes.
    return Bytes{0x01, 0x02, 0x03, 0x4B, 0x00, 0x10, 0x00, 0x10, 0x00};
}

Bytes ReaderModel::defaultReaderInfo() {
    // Software 1.2, development 3, hardware 'K', reader type 80, transponder types
    // 00 03, buffers of 4096 bytes each way, no UHF transponder types.
    return Bytes{0x01, 0x02, 0x03, 0x4B, 0x50, 0x00, 0x03, 0x10, 0x00, 0x10, 0x00, 0x00, 0x00};
}

ReaderModel::ReaderModel() {
    readerInfo_[0x00] = defaultReaderInfo();
    readOuts_[0x65] = defaultVersion();
    readOuts_[0x31] = Bytes(6, 0);
    readOuts_[0x74] = Bytes(1, 0);
    readOuts_[0x75] = Bytes(2, 0);
}

void ReaderModel::setReadOut(std::uint8_t command, Bytes data) {
    if (command != 0x65 && command != 0x31 && command != 0x74 && command != 0x75)
        throw std::invalid_argument("read-outs exist for 0x65, 0x31, 0x74 and 0x75");
    if (data.size() > kMaxAdvancedReplyData) throw std::invalid_argument("read-out longer than a reply");
    readOuts_[command] = std::move(data);
}

void ReaderModel::setReaderInfo(std::uint8_t mode, Bytes data) {
    if (data.size() > kMaxAdvancedReplyData) throw std::invalid_argument("read-out longer than a reply");
    readerInfo_[mode] = std::move(data);
}

Answer ReaderModel::answer(std::uint8_t command, ByteView data) {
    if (command == 0xAE || command == 0xAF) return Answer{reader_status::kNotAvailable, {}};
    const auto fits = lengthMatches(command, data);
    if (!fits) return Answer{reader_status::kUnknownCommand, {}};
    if (!*fits) return Answer{reader_status::kLength, {}};
    return modelAnswer(command, data);
}

Answer ReaderModel::modelAnswer(std::uint8_t command, ByteView d) {
    if (const auto skip = echoedAfter(command))
        return ok(Bytes(d.begin() + static_cast<std::ptrdiff_t>(*skip), d.end()));
    switch (command) {
    case 0x21: return ok({0x00, 0x00});       // empty buffer: head 0, count 0
    case 0x22: return ok({0x00, 0x00, 0x00}); // head 0, count 0 (two bytes)
    case 0x31:
    case 0x65:
    case 0x74:
    case 0x75: return ok(readOuts_[command]);
    case 0x66: {
        const auto it = readerInfo_.find(d[0]);
        return ok(it == readerInfo_.end() ? Bytes{} : it->second);
    }
    case 0x6C: noiseLevels_.assign(d.begin(), d.end()); return ok();
    case 0x6D: return ok(noiseLevels_);
    case 0x80: return ok(Bytes(confBlocks_[d[0]].begin(), confBlocks_[d[0]].end()));
    case 0x81: std::copy(d.begin() + 1, d.end(), confBlocks_[d[0]].begin()); return ok();
    case 0x82: savedBlocks_[d[0]] = confBlocks_[d[0]]; return ok();
    case 0x83: {
        const auto it = savedBlocks_.find(d[0]);
        confBlocks_[d[0]] = it == savedBlocks_.end() ? ConfBlock{} : it->second;
        return ok();
    }
    case 0x85: timer_.assign(d.begin(), d.end()); return ok();
    case 0x86: return ok(timer_);
    case 0x87: date_.assign(d.begin(), d.end()); return ok();
    case 0x88: return ok(date_);
    case 0x8A: {
        const auto it = configurations_.find({d[0], d[1], d[2]});
        return ok(it == configurations_.end() ? Bytes{0x00, 0x00} : it->second);
    }
    case 0x8B: configurations_[{d[0], d[1], d[2]}] = Bytes(d.begin() + 3, d.end()); return ok();
    case 0x8C: configurations_.erase({d[0], d[1], d[2]}); return ok();
    case 0xB0: return transponders_.isoCommand(d);
    default: return ok();
    }
}

} // namespace krnsim
