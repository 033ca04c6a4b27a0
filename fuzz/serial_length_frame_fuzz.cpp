// Feeds a byte stream, cut into arrivals of fuzzed sizes, through the
// length-field framing step of the serial port, and checks what the port relies
// on: a read bound is positive and never passes the buffer or the frame, a
// complete frame has the length its header names, and noise, short advanced
// lengths and oversized frames are told apart exactly.
//
// Input: [buffer size high][buffer size low][arrival sizes seed][stream...]
#include "length_frame.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// The frame length a header names, by the port's own rules, computed apart.
int headerLength(const std::vector<std::uint8_t>& b) {
    if (b[0] == 0x02) return b[1] * 256 + b[2];
    return b[0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int bufferSize = 1 + ((data[0] << 8 | data[1]) % 600);
    std::uint32_t seed = data[2] | 1u;
    const std::uint8_t* stream = data + 3;
    const std::size_t streamSize = size - 3;

    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bufferSize));
    vkcom::LengthFrame frame(bufferSize);
    std::size_t taken = 0;
    int count = 0;
    for (int steps = 0; steps < 100000; ++steps) {
        const vkcom::LengthFrame::Step step = frame.step(buffer.data(), count);
        switch (step.next) {
        case vkcom::LengthFrame::Next::Read: {
            check(step.bound > 0 && count + step.bound <= bufferSize);
            if (frame.frameLength() >= 0) check(count + step.bound <= frame.frameLength());
            if (taken >= streamSize) return 0; // the line went quiet
            seed = seed * 1103515245u + 12345u;
            std::size_t arrival = 1 + (seed >> 16) % 64;
            arrival = std::min({arrival, static_cast<std::size_t>(step.bound), streamSize - taken});
            std::copy(stream + taken, stream + taken + arrival, buffer.begin() + count);
            taken += arrival;
            count += static_cast<int>(arrival);
            break;
        }
        case vkcom::LengthFrame::Next::Complete:
            check(count >= 3 && step.bound == count && headerLength(buffer) == count);
            check(count <= bufferSize);
            return 0;
        case vkcom::LengthFrame::Next::Noise:
            check(count >= 3 && buffer[0] < 5 && buffer[0] != 0x02);
            return 0;
        case vkcom::LengthFrame::Next::BadLength:
            check(count >= 3 && buffer[0] == 0x02 && headerLength(buffer) <= 6);
            return 0;
        case vkcom::LengthFrame::Next::Discard:
            check(count >= 3 && headerLength(buffer) > bufferSize &&
                  step.bound == headerLength(buffer) - count);
            return 0;
        case vkcom::LengthFrame::Next::Overflow: check(count == bufferSize && bufferSize < 3); return 0;
        }
    }
    check(false); // a step that makes no progress
    return 0;
}
