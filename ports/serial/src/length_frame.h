// Length-field framing of a host-protocol reply as a pure step: from the bytes
// received so far it decides how much the next read may take, or how the reply
// ends. The first three bytes name the frame length: 0x02 starts an advanced
// frame (length in bytes 1 and 2, big-endian, more than 6), a first byte of 5 or
// more is the length of a standard frame, 0, 1, 3 and 4 are noise.
//
// Reads never go past the frame: until the length is known at most the missing
// header bytes, then at most the rest of the frame, so a frame that follows stays
// queued for the next read. A frame longer than the buffer is discarded by the
// caller (the step says how many bytes) and answered as an overflow.
#ifndef VKCOM_LENGTH_FRAME_H
#define VKCOM_LENGTH_FRAME_H

#include <cstdint>

namespace vkcom {

class LengthFrame {
  public:
    static constexpr int kHeaderSize = 3;

    enum class Next {
        Read,      // read at most `bound` (> 0) more bytes into the buffer
        Complete,  // the frame is whole: `bound` is its length
        Noise,     // the first byte is no frame start
        BadLength, // an advanced frame of length 6 or less
        Discard,   // the frame does not fit: drop `bound` more bytes, then overflow
        Overflow,  // the buffer is full and the frame still open
    };
    struct Step {
        Next next;
        int bound;
    };

    explicit LengthFrame(int bufferSize) : size_(bufferSize) {}

    // `count` bytes (at most the buffer size) have been received into `buffer`.
    Step step(const std::uint8_t* buffer, int count);

    // The frame length, -1 while unknown.
    int frameLength() const { return length_; }

  private:
    int size_;
    int length_ = -1;
};

} // namespace vkcom

#endif
