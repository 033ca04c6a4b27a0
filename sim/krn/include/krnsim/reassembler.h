// Cuts the byte stream of one connection into received units: request frames,
// bad frames and noise. Holds at most one frame (65,535 bytes).
#ifndef KRNSIM_REASSEMBLER_H
#define KRNSIM_REASSEMBLER_H

#include <krnsim/frame.h>

#include <optional>
#include <vector>

namespace krnsim {

// What became of a received unit.
enum class Verdict : std::uint8_t {
    Ok,           // a request frame with a good CRC
    BadCrc,       // a whole frame whose CRC does not check
    BadLength,    // an advanced length field below 7; the line is skipped until quiet
    Noise,        // one byte 0, 1, 3 or 4 where a frame should start
    Incomplete,   // a partial frame given up after the inter-byte gap
    OtherAddress, // a good frame for another bus address
    Filtered,     // a good frame the request filter took away
};

const char* verdictName(Verdict verdict);

struct Unit {
    Verdict verdict = Verdict::Ok;
    Bytes raw;
    Form form = Form::Standard;
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    Bytes data;
};

class Reassembler {
  public:
    explicit Reassembler(Millis gap = Millis(300)) : gap_(gap) {}

    void setGap(Millis gap) { gap_ = gap; }
    // Takes bytes that arrived at `now`; every unit they complete goes to `out`.
    // A partial unit older than the gap is given up first.
    void feed(ByteView bytes, TimePoint now, std::vector<Unit>& out);
    // The time at which the waiting partial unit is given up, if one waits.
    std::optional<TimePoint> deadline() const;
    // Gives up the partial unit when its deadline has passed.
    void expire(TimePoint now, std::vector<Unit>& out);
    std::size_t buffered() const { return buffer_.size(); }

  private:
    std::size_t needed() const;
    void complete(std::vector<Unit>& out);

    Millis gap_;
    Bytes buffer_;
    bool discarding_ = false;
    TimePoint last_{};
};

} // namespace krnsim

#endif
