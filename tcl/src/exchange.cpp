#include "exchange.h"

#include "codes.h"

#include <algorithm>
#include <vector>

namespace vktcl {

Route routeOf(int portHandle) {
    switch ((portHandle >> 28) & 3) {
    case 0: return Route::Serial;
    case 2: return Route::Tcp;
    default: return Route::Library;
    }
}

int blockOverhead(int remaining, bool advanced) {
    return advanced || remaining + 2 > 250 ? 7 : 5;
}

int buildRequest(VKProtocol& request, RequestKind kind, const std::uint8_t* data, int length,
                 const RequestShape& shape) {
    request.clearProtocol();
    const bool apdu = kind == RequestKind::Apdu;
    const bool nad = apdu && shape.useNad;
    std::vector<std::uint8_t> bytes;
    try {
        if (shape.useCid) bytes.push_back(shape.cid);
        if (nad) bytes.push_back(shape.nad);
        if (apdu && length > 0) bytes.insert(bytes.end(), data, data + length);
        int remaining = static_cast<int>(bytes.size());
        if (!apdu) {
            const std::uint8_t mode = static_cast<std::uint8_t>(
                0x80 | (kind == RequestKind::Ping ? 0x08 : 0) | (shape.useCid ? 0x02 : 0));
            const int room = shape.receiveSize - blockOverhead(remaining, shape.advanced);
            request.addProtocolBlock(
                std::make_unique<VKProtocolBlock>(0, 0, room, 0, mode, bytes.data(), 0, remaining));
            return 0;
        }
        int offset = 0;
        for (int index = 0; remaining > 0; ++index) {
            const int room = shape.receiveSize - blockOverhead(remaining, shape.advanced);
            const int blockLength = std::min(remaining + 2, room);
            const bool follows = remaining > blockLength - 2;
            const std::uint8_t mode =
                static_cast<std::uint8_t>(0x01 | (index == 0 ? 0x80 : 0) | (shape.useCid ? 0x02 : 0) |
                                          (nad ? 0x04 : 0) | (follows ? 0x40 : 0));
            request.addProtocolBlock(
                std::make_unique<VKProtocolBlock>(index, 0, room, 0, mode, bytes.data(), offset, remaining));
            offset += blockLength - 2;
            remaining -= blockLength - 2;
        }
    } catch (const std::bad_alloc&) {
        request.clearProtocol();
        return kErrMemory;
    }
    return 0;
}

std::optional<int> wantedTimeout(std::uint8_t wtxm, std::uint8_t fwi) {
    if (wtxm == 0 && fwi == 0) return std::nullopt;
    int wanted = fwi;
    if (wtxm != 0) {
        // The product wraps in 32 bits; read back as signed, a wrapped value
        // ends at the lower clamp.
        const std::uint32_t product = (302u << (fwi % 32)) * wtxm;
        wanted = static_cast<std::int32_t>(product) / 1000 + 200;
    }
    return std::clamp(wanted, 300, 6500);
}

BlockExchange::BlockExchange(Route route, int requestIndex, VKResponse& response, Raise raise,
                             Clock::time_point sent)
    : route_(route), sent_(sent), response_(response), raise_(std::move(raise)), lastId_(requestIndex) {}

bool BlockExchange::end(int result) {
    ended_ = true;
    result_ = result;
    return true;
}

bool BlockExchange::feed(const AnswerFrame& answer) {
    if (ended_) return true;
    if (++frames_ > kMaxAnswerFrames) return end(kErrResponseTooLarge);
    const bool ended = feedOne(answer);
    if (response_.getResponseLength() > kMaxResponseBytes && (!ended || result_ == 0))
        return end(kErrResponseTooLarge);
    return ended;
}

bool BlockExchange::overdue(Clock::time_point now) {
    if (!ended_ && now - sent_ > kMaxBlockTime) end(kErrBlockTime);
    return ended_;
}

bool BlockExchange::feedOne(const AnswerFrame& answer) {
    if (route_ != Route::Library) return feedDirect(answer);
    if (first_) {
        first_ = false;
        return feedFirst(answer);
    }
    return feedFollowUp(answer);
}

// The answer block of `answer` under `id`; a waiting-time block needs its two
// values.
bool BlockExchange::add(int id, const AnswerFrame& answer, int pstat) {
    response_.addProtocolBlock(
        std::make_unique<VKProtocolBlock>(id, answer.status, 0, pstat, 0, answer.data, 0, answer.length));
    return response_.isComplete();
}

namespace {

bool accepted(int status, int pstat) {
    if (status == kStatusMoreData)
        return pstat == kPstatWaitingTime || pstat == kPstatNone || pstat == kPstatData;
    return status == kStatusOk && pstat == kPstatData;
}

int answerId(const AnswerFrame& answer) {
    return answer.data[1] << 8 | answer.data[2];
}

// Too short for what its status and PSTAT promise.
bool tooShort(const AnswerFrame& answer) {
    if (answer.status == kStatusIsoError) return answer.length < 1;
    return answer.length < 3 || (answer.data[0] == kPstatWaitingTime && answer.length < 5);
}

} // namespace

bool BlockExchange::feedDirect(const AnswerFrame& answer) {
    const int status = answer.status;
    if (status < 0) return end(status);
    if (status == kStatusIsoError) {
        if (tooShort(answer)) return end(kErrAnswerLength);
        add(lastId_, answer, kStatusIsoError);
        return end(kStatusIsoError);
    }
    if (status != kStatusOk && status != kStatusMoreData) return end(status);
    if (tooShort(answer)) return end(kErrAnswerLength);
    const int pstat = answer.data[0];
    if (!accepted(status, pstat)) return end(status);
    // A card not given the time it asks for: the port's code.
    if (pstat == kPstatWaitingTime) {
        if (const int raised = raise_(answer.data[3], answer.data[4]); raised != 0) return end(raised);
    }
    lastId_ = answerId(answer);
    add(lastId_, answer, pstat);
    return false;
}

bool BlockExchange::endOfRead() {
    if (!ended_ && response_.isComplete()) end(0);
    return ended_;
}

void BlockExchange::readFailed(int code) {
    if (ended_) return;
    if (route_ == Route::Library && code < 0 && response_.missingBlocks()) code = kErrListIncomplete;
    end(code);
}

bool BlockExchange::feedFirst(const AnswerFrame& answer) {
    const int status = answer.status;
    if (status < 0) return end(status);
    if (status == kStatusIsoError) {
        if (tooShort(answer)) return end(kErrAnswerLength);
        add(0, answer, kStatusIsoError);
        return end(kStatusIsoError);
    }
    if (status != kStatusOk && status != kStatusMoreData) return end(status);
    if (tooShort(answer)) return end(kErrAnswerLength);
    const int pstat = answer.data[0];
    if (status == kStatusOk && pstat == kPstatData)
        return end(add(0, answer, pstat) ? 0 : kErrListIncomplete);
    if (!accepted(status, pstat)) return end(status);
    // The reader library's route goes on whatever the raise gave.
    if (pstat == kPstatWaitingTime) raise_(answer.data[3], answer.data[4]);
    lastId_ = 0;
    add(0, answer, pstat);
    return false;
}

bool BlockExchange::feedFollowUp(const AnswerFrame& answer) {
    const int status = answer.status;
    if (status < 0) return end(status);
    if (status == kStatusIsoError) {
        if (tooShort(answer)) return end(kErrAnswerLength);
        return end(add(lastId_, answer, kStatusIsoError) ? 0 : kErrListIncomplete);
    }
    if (status != kStatusOk && status != kStatusMoreData) return end(status);
    if (tooShort(answer)) return end(kErrAnswerLength);
    lastId_ = answerId(answer);
    if (add(lastId_, answer, answer.data[0])) return end(0);
    return false;
}

void walkRead(const std::uint8_t* bytes, int count, const FrameSplit& split, BlockExchange& exchange) {
    int position = 0;
    while (position < count && !exchange.ended()) {
        const std::uint8_t* frame = bytes + position;
        const int left = count - position;
        int length = 0;
        if (frame[0] >= 6) {
            length = frame[0];
        } else if (frame[0] == 2) {
            if (left < 3) {
                exchange.readFailed(kErrFrameLength);
                return;
            }
            length = frame[1] << 8 | frame[2];
            if (length < 8) {
                exchange.readFailed(kErrProtocol);
                return;
            }
        } else {
            exchange.readFailed(kErrProtocol);
            return;
        }
        if (length > left) {
            exchange.readFailed(kErrFrameLength);
            return;
        }
        exchange.feed(split(frame, length));
        position += length;
    }
    exchange.endOfRead();
}

} // namespace vktcl
