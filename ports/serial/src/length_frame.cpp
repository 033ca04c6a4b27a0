#include "length_frame.h"

#include <algorithm>

namespace vkcom {

LengthFrame::Step LengthFrame::step(const std::uint8_t* buffer, int count) {
    if (length_ < 0) {
        if (count < kHeaderSize) {
            if (count >= size_) return {Next::Overflow, 0};
            return {Next::Read, std::min(kHeaderSize, size_) - count};
        }
        const std::uint8_t first = buffer[0];
        if (first == 0x02) {
            const int length = buffer[1] * 256 + buffer[2];
            if (length <= 6) return {Next::BadLength, 0};
            length_ = length;
        } else if (first < 5) {
            return {Next::Noise, 0};
        } else {
            length_ = first;
        }
    }
    if (length_ > size_) return {Next::Discard, length_ - count};
    if (count >= length_) return {Next::Complete, length_};
    return {Next::Read, length_ - count};
}

} // namespace vkcom
