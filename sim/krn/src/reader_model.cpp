#include <krnsim/reader_model.h>

#include <krnsim/command_lengths.h>

#include <algorithm>
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
    case 0x1F:
    case 0x9F: return 3;
    case 0x1E: return 5;
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
    readOuts_[0x6E] = Bytes{};
    readOuts_[0x76] = Bytes{};
}

void ReaderModel::setReadOut(std::uint8_t command, Bytes data) {
    if (readOuts_.find(command) == readOuts_.end())
        throw std::invalid_argument("read-outs exist for 0x65, 0x31, 0x6E, 0x74, 0x75 and 0x76");
    if (data.size() > kMaxAdvancedReplyData) throw std::invalid_argument("read-out longer than a reply");
    readOuts_[command] = std::move(data);
}

void ReaderModel::queueBufferRecord(Bytes record) {
    bufferRecords_.push_back(std::move(record));
}

void ReaderModel::setBufferHead(Bytes head) {
    const std::size_t wanted = !head.empty() && (head[0] & 0x80) != 0 ? 2 : 1;
    if (head.size() != wanted) throw std::invalid_argument("a buffer head has 1 byte, or 2 with bit 7 set");
    bufferHead_ = std::move(head);
}

std::pair<Bytes, std::size_t> ReaderModel::takeRecords(std::size_t wanted, std::size_t room) {
    Bytes out;
    std::size_t n = 0;
    while (n < wanted && !bufferRecords_.empty() && out.size() + bufferRecords_.front().size() <= room) {
        out.insert(out.end(), bufferRecords_.front().begin(), bufferRecords_.front().end());
        bufferRecords_.pop_front();
        ++n;
    }
    return {out, n};
}

void ReaderModel::setReaderInfo(std::uint8_t mode, Bytes data) {
    if (data.size() > kMaxAdvancedReplyData) throw std::invalid_argument("read-out longer than a reply");
    readerInfo_[mode] = std::move(data);
}

Bytes ReaderModel::readerInfo(std::uint8_t mode) const {
    const auto it = readerInfo_.find(mode);
    return it == readerInfo_.end() ? Bytes{} : it->second;
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
    case 0x21: {
        auto [records, n] = takeRecords(d[0], kMaxAdvancedReplyData - 2);
        Bytes out{bufferHead_[0], static_cast<std::uint8_t>(n)};
        out.insert(out.end(), records.begin(), records.end());
        return ok(std::move(out));
    }
    case 0x22: {
        const std::size_t wanted = static_cast<std::size_t>(d[0] << 8 | d[1]);
        auto [records, n] = takeRecords(wanted, kMaxAdvancedReplyData - bufferHead_.size() - 2);
        Bytes out = bufferHead_;
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), records.begin(), records.end());
        return ok(std::move(out));
    }
    case 0x32:
    case 0x33: bufferRecords_.clear(); return ok();
    case 0x31:
    case 0x65:
    case 0x74:
    case 0x75:
    case 0x76: return ok(readOuts_[command]);
    case 0x68: {
        // Values of the width m1 and m2 select (1 byte where the host takes none).
        const std::uint8_t m1 = d[0];
        std::size_t width = 1;
        if ((m1 & 0x01) != 0)
            width = 4;
        else if ((m1 & 0x10) != 0)
            width = d[1] == 0 ? 4 : (d[1] == 1 || d[1] == 2 ? 2 : 1);
        else if ((m1 & 0x40) != 0)
            width = 2;
        const std::size_t count = static_cast<std::size_t>(d[4] << 8 | d[5]);
        Bytes out(std::min(count * width, kMaxAdvancedReplyData));
        for (std::size_t j = 0; j < out.size(); ++j)
            out[j] = channelAnalysisByte(j);
        return ok(std::move(out));
    }
    case 0x6E: return ok(d[0] == 0x21 ? Bytes{d[1]} : readOuts_[0x6E]);
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
