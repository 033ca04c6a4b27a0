#include "soak_exchange.h"

#include <krnsim/frame.h>
#include <vkkrn.h>

#include <algorithm>
#include <cstdio>

namespace vksoak {
namespace {

// Bytes the outputs are filled with before a call; a failed call must leave
// them (but for the presets its command writes first).
constexpr std::uint8_t kUntouched = 0xEE;
constexpr int kUntouchedLength = -77;
// The first bytes of the outputs that are compared: more than any reply of the
// mix holds as hex text.
constexpr std::size_t kWatched = 512;
constexpr std::size_t kOutputSize = 0x10001;
constexpr std::size_t kConfBlockSize = 14;
constexpr std::uint8_t kAddress = 1;
constexpr std::uint8_t kTagType = 0x03;

constexpr std::array<std::string_view, kExchangeKinds> kNames = {
    "transparent", "0x65 version", "0x66 info", "0xB0 tags", "0x1E table", "0x9F piggyback", "0x80 block"};

void appendNumber(krnsim::Bytes& bytes, std::uint32_t n) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<std::uint8_t>(n >> shift));
}

// The reply data as the export writes it: bytes and a NUL, or hex text and a NUL.
krnsim::Bytes encoded(const krnsim::Bytes& data, int format) {
    krnsim::Bytes text;
    if (format == 0) {
        text = data;
    } else {
        char pair[3];
        for (std::uint8_t b : data) {
            std::snprintf(pair, sizeof pair, "%02X", b);
            text.push_back(static_cast<std::uint8_t>(pair[0]));
            text.push_back(static_cast<std::uint8_t>(pair[1]));
        }
    }
    text.push_back(0);
    return text;
}

bool untouchedFrom(const std::vector<std::uint8_t>& out, std::size_t from) {
    return std::all_of(out.begin() + static_cast<long>(from), out.begin() + kWatched,
                       [](std::uint8_t b) { return b == kUntouched; });
}

bool startsWith(const std::vector<std::uint8_t>& out, const krnsim::Bytes& prefix) {
    return std::equal(prefix.begin(), prefix.end(), out.begin());
}

krnsim::Bytes echoData(std::mt19937_64& random, int index, std::uint32_t sequence) {
    krnsim::Bytes data;
    appendNumber(data, sequence);
    data.push_back(static_cast<std::uint8_t>(index));
    const int padding = std::uniform_int_distribution<int>(0, 30)(random);
    for (int i = 0; i < padding; ++i)
        data.push_back(static_cast<std::uint8_t>(random()));
    return data;
}

} // namespace

std::string hexText(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    char pair[4];
    for (std::size_t i = 0; i < count && i < 48; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        text += pair;
    }
    return text;
}

std::string_view exchangeName(ExchangeKind kind) {
    const auto k = static_cast<std::size_t>(kind);
    return k < kNames.size() ? kNames[k] : "?";
}

krnsim::Bytes versionBlock(std::uint32_t number) {
    krnsim::Bytes block{0x01, 0x02, 0x03, 0x4B};
    appendNumber(block, number);
    block.push_back(static_cast<std::uint8_t>(number * 31u));
    return block;
}

krnsim::Bytes readerInfo(std::uint8_t mode, std::uint32_t number) {
    krnsim::Bytes info{mode};
    appendNumber(info, number);
    for (std::uint32_t i = 0; i < number % 9; ++i)
        info.push_back(static_cast<std::uint8_t>(mode ^ (i * 13u) ^ number));
    return info;
}

krnsim::Bytes confBlock(std::uint8_t address, std::uint32_t number) {
    krnsim::Bytes block{address};
    appendNumber(block, number);
    for (std::uint8_t i = 0; block.size() < 17; ++i)
        block.push_back(static_cast<std::uint8_t>(address ^ (i * 29u) ^ number));
    block.resize(number % 18);
    return block;
}

ExchangeMix::ExchangeMix(krnsim::Reader& sim) : sim_(sim), out_(kOutputSize) {
    auto refuse = [] { return krnsim::Reply::frame(0x81, {}); };
    sim_.setHandler(0x65, [this, refuse](const krnsim::Request& r, krnsim::ConnectionContext&) {
        if (!r.data.empty()) return refuse();
        return krnsim::Reply::frame(0x00, versionBlock(versionsAnswered_.fetch_add(1)));
    });
    sim_.setHandler(0x66, [this, refuse](const krnsim::Request& r, krnsim::ConnectionContext&) {
        if (r.data.size() != 1) return refuse();
        return krnsim::Reply::frame(0x00, readerInfo(r.data[0], infosAnswered_.fetch_add(1)));
    });
    sim_.setHandler(0x80, [this, refuse](const krnsim::Request& r, krnsim::ConnectionContext&) {
        if (r.data.size() != 1) return refuse();
        return krnsim::Reply::frame(0x00, confBlock(r.data[0], blocksAnswered_.fetch_add(1)));
    });
}

Expected ExchangeMix::prepare(ExchangeKind kind, std::mt19937_64& random, int index, std::uint32_t sequence) {
    Expected e;
    e.kind = kind;
    auto byte = [&random] { return static_cast<std::uint8_t>(random()); };
    e.format = static_cast<int>(random() % 2);
    switch (kind) {
    case ExchangeKind::Transparent: {
        e.command = 0xB2;
        e.requestData = echoData(random, index, sequence);
        e.replyData = e.requestData;
        e.format = 0;
        break;
    }
    case ExchangeKind::SoftVersion:
        e.command = 0x65;
        e.replyData = versionBlock(versionsSent_++);
        break;
    case ExchangeKind::ReaderInfo:
        e.command = 0x66;
        e.lead[0] = byte();
        e.requestData = {e.lead[0]};
        e.replyData = readerInfo(e.lead[0], infosSent_++);
        break;
    case ExchangeKind::Inventory: {
        e.command = 0xB0;
        e.requestData = {0x01, 0x00};
        e.format = 0;
        const std::uint8_t tags = static_cast<std::uint8_t>(1 + sequence % 3);
        e.replyData = {tags};
        sim_.clearTags();
        for (std::uint8_t j = 0; j < tags; ++j) {
            krnsim::Tag tag;
            tag.uid = {0xE0,
                       0x04,
                       static_cast<std::uint8_t>(index),
                       j,
                       static_cast<std::uint8_t>(sequence >> 24),
                       static_cast<std::uint8_t>(sequence >> 16),
                       static_cast<std::uint8_t>(sequence >> 8),
                       static_cast<std::uint8_t>(sequence)};
            tag.type = kTagType;
            tag.blockSize = 4;
            tag.blockCount = 1;
            sim_.addTag(tag);
            e.replyData.push_back(kTagType);
            e.replyData.insert(e.replyData.end(), tag.uid.begin(), tag.uid.end());
        }
        break;
    }
    case ExchangeKind::TableData:
    case ExchangeKind::Piggyback: {
        const bool table = kind == ExchangeKind::TableData;
        e.command = table ? 0x1E : 0x9F;
        e.format = 0;
        const int leads = table ? 5 : 3;
        for (int i = 0; i < leads; ++i)
            e.lead[i] = byte();
        e.replyData = echoData(random, index, sequence);
        e.requestData.assign(e.lead, e.lead + leads);
        e.requestData.insert(e.requestData.end(), e.replyData.begin(), e.replyData.end());
        break;
    }
    case ExchangeKind::ConfBlock:
        e.command = 0x80;
        e.lead[0] = byte();
        e.requestData = {e.lead[0]};
        e.replyData = confBlock(e.lead[0], blocksSent_++);
        break;
    }
    return e;
}

void ExchangeMix::resync() {
    versionsSent_ = versionsAnswered_.load();
    infosSent_ = infosAnswered_.load();
    blocksSent_ = blocksAnswered_.load();
}

Outcome ExchangeMix::run(int reader, const Expected& e) {
    std::fill(out_.begin(), out_.begin() + kWatched, kUntouched);
    int length = kUntouchedLength;
    Outcome o;
    krnsim::Bytes own = encoded(e.replyData, e.format);
    // Whether the outputs have the shape of this command's reply, though not
    // this exchange's: another exchange's values.
    bool shaped = false;
    // Whether the presets of the command (out[0] = 0 for the read-outs, a
    // length of 0) are all the call wrote.
    bool untouched = false;
    switch (e.kind) {
    case ExchangeKind::Transparent: {
        krnsim::Bytes frame =
            krnsim::buildRequest(krnsim::Form::Standard, kAddress, e.command, e.requestData);
        o.result = VKKRN_SendTransparent(reader, frame.data(), static_cast<int>(frame.size()), out_.data(),
                                         static_cast<int>(out_.size()), 0, 0);
        own = krnsim::buildReply(krnsim::Form::Standard, kAddress, e.command, 0x00, e.replyData);
        if (o.result > 0 && static_cast<std::size_t>(o.result) == own.size() && startsWith(out_, own))
            o.verdict = Verdict::Own;
        shaped = o.result > 6 && out_[0] == o.result && out_[2] == e.command && out_[3] == 0;
        untouched = untouchedFrom(out_, 0);
        break;
    }
    case ExchangeKind::SoftVersion:
    case ExchangeKind::ReaderInfo:
    case ExchangeKind::ConfBlock: {
        if (e.kind == ExchangeKind::SoftVersion)
            o.result = VKKRN_0x65_SoftVersion(reader, kAddress, out_.data(), e.format);
        else if (e.kind == ExchangeKind::ReaderInfo)
            o.result = VKKRN_0x66_ReaderInfo(reader, kAddress, e.lead[0], out_.data(), e.format);
        else
            o.result = VKKRN_0x80_ReadConfBlock(reader, kAddress, e.lead[0], out_.data(), e.format);
        untouched = out_[0] == 0 && untouchedFrom(out_, 1);
        if (e.kind == ExchangeKind::ConfBlock && !e.replyData.empty()) {
            // A fixed layout of 14 bytes: a shorter block is filled with zeros.
            krnsim::Bytes fixed = e.replyData;
            fixed.resize(kConfBlockSize, 0);
            own = encoded(fixed, e.format);
        }
        const bool written = e.replyData.empty() ? untouched : startsWith(out_, own);
        if (o.result == 0 && written) o.verdict = Verdict::Own;
        shaped = o.result == 0 && !untouched;
        break;
    }
    case ExchangeKind::Inventory: {
        krnsim::Bytes request = e.requestData;
        o.result = VKKRN_0xB0_ISOCmd(reader, kAddress, request.data(), static_cast<int>(request.size()),
                                     out_.data(), &length, 0);
        if (o.result == 0 && length == static_cast<int>(e.replyData.size()) && startsWith(out_, own))
            o.verdict = Verdict::Own;
        shaped = o.result == 0 && length > 0;
        untouched = length == 0 && untouchedFrom(out_, 0);
        break;
    }
    case ExchangeKind::TableData:
    case ExchangeKind::Piggyback: {
        krnsim::Bytes data = e.replyData;
        const int count = static_cast<int>(data.size());
        if (e.kind == ExchangeKind::TableData)
            o.result =
                VKKRN_0x1E_TableDataExchange(reader, kAddress, e.lead[0], e.lead[1], e.lead[2], e.lead[3],
                                             e.lead[4], data.data(), count, out_.data(), &length);
        else
            o.result = VKKRN_0x9F_Piggyback_Command(reader, kAddress, e.lead[0], e.lead[1], e.lead[2],
                                                    data.data(), count, out_.data(), &length);
        if (o.result == 0 && length == count && startsWith(out_, own)) o.verdict = Verdict::Own;
        shaped = o.result == 0 && length > 0;
        // 0x1E leaves the length alone, 0x9F sets it to 0 first.
        const int preset = e.kind == ExchangeKind::TableData ? kUntouchedLength : 0;
        untouched = length == preset && untouchedFrom(out_, 0);
        break;
    }
    }
    if (o.verdict != Verdict::Own) {
        if (o.result < 0 && untouched)
            o.verdict = Verdict::Untouched;
        else if (shaped)
            o.verdict = Verdict::Foreign;
        else
            o.verdict = Verdict::Wrong;
    }
    if (o.verdict != Verdict::Own && o.verdict != Verdict::Untouched) {
        o.detail = std::string(exchangeName(e.kind)) + " result " + std::to_string(o.result) + ", length " +
                   std::to_string(length) + ", outputs " + hexText(out_.data(), 48) + ", expected " +
                   hexText(own.data(), own.size());
    }
    return o;
}

} // namespace vksoak
