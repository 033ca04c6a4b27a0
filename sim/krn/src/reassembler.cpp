#include <krnsim/reassembler.h>

#include <algorithm>

namespace krnsim {

namespace {

bool isNoise(std::uint8_t byte) {
    return byte == 0 || byte == 1 || byte == 3 || byte == 4;
}

} // namespace

const char* verdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok: return "ok";
    case Verdict::BadCrc: return "bad CRC";
    case Verdict::BadLength: return "bad length field";
    case Verdict::Noise: return "noise";
    case Verdict::Incomplete: return "incomplete";
    case Verdict::OtherAddress: return "other address";
    case Verdict::Filtered: return "filtered";
    }
    return "?";
}

std::size_t Reassembler::needed() const {
    if (buffer_.empty()) return 1;
    if (buffer_[0] != kAdvancedMark) return buffer_[0];
    if (buffer_.size() < 3) return 3;
    return static_cast<std::size_t>(buffer_[1]) << 8 | buffer_[2];
}

void Reassembler::feed(ByteView bytes, TimePoint now, std::vector<Unit>& out) {
    if (bytes.empty()) return;
    expire(now, out);
    last_ = now;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (discarding_) {
            const std::size_t room = kMaxFrameLength - std::min(buffer_.size(), kMaxFrameLength);
            const std::size_t take = std::min(room, bytes.size() - at);
            buffer_.insert(buffer_.end(), bytes.begin() + at, bytes.begin() + at + take);
            return; // skipped until the line is quiet
        }
        if (buffer_.empty() && isNoise(bytes[at])) {
            out.push_back(Unit{Verdict::Noise, Bytes{bytes[at]}, Form::Standard, 0, 0, {}});
            ++at;
            continue;
        }
        const std::size_t want = needed();
        const std::size_t take = std::min(want - buffer_.size(), bytes.size() - at);
        buffer_.insert(buffer_.end(), bytes.begin() + at, bytes.begin() + at + take);
        at += take;
        if (buffer_.size() < want) break;
        if (buffer_[0] == kAdvancedMark && buffer_.size() == 3 && needed() < kAdvancedRequestOverhead) {
            discarding_ = true;
            continue;
        }
        if (buffer_.size() < needed()) continue; // the header told the length: take more
        complete(out);
    }
}

void Reassembler::complete(std::vector<Unit>& out) {
    Unit unit;
    unit.form = buffer_[0] == kAdvancedMark ? Form::Advanced : Form::Standard;
    const std::size_t head = headerLength(unit.form);
    unit.address = buffer_[head];
    unit.command = buffer_[head + 1];
    unit.data.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(head + 2), buffer_.end() - 2);
    unit.verdict = crc16(buffer_) == 0 ? Verdict::Ok : Verdict::BadCrc;
    unit.raw = std::move(buffer_);
    buffer_.clear();
    out.push_back(std::move(unit));
}

std::optional<TimePoint> Reassembler::deadline() const {
    if (buffer_.empty()) return std::nullopt;
    return last_ + gap_;
}

void Reassembler::expire(TimePoint now, std::vector<Unit>& out) {
    const auto due = deadline();
    if (!due || now < *due) return;
    Unit unit;
    unit.verdict = discarding_ ? Verdict::BadLength : Verdict::Incomplete;
    unit.form = buffer_[0] == kAdvancedMark ? Form::Advanced : Form::Standard;
    unit.raw = std::move(buffer_);
    buffer_.clear();
    discarding_ = false;
    out.push_back(std::move(unit));
}

} // namespace krnsim
