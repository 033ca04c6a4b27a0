// The dongle reader connected to the simulated dongle, for its frame
// exchange: transfers into a receive buffer of the reader's maximum that starts
// full of 0xEE, so what a transfer left untouched shows.
#ifndef KESTOREADER_TESTS_FRAME_FIXTURE_H
#define KESTOREADER_TESTS_FRAME_FIXTURE_H

#include "reader_fixture.h"

#include <functional>
#include <ostream>
#include <vector>

namespace kestoreader_test {

using vemlasdknative::Qm30;
using Bytes = std::vector<std::uint8_t>;
using Status = vemlasdknative::RfReaderBase::ReaderStatus;

inline constexpr std::uint8_t kUntouched = 0xEE;

struct Outcome {
    Status status;
    int length; // rx.length afterwards
    Bytes rx;   // the bytes rx.length names (all 500 when it stayed the capacity)
    bool operator==(const Outcome&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Outcome& outcome);

// n bytes first, first + 1, ... (mod 256).
Bytes counting(std::size_t n, std::uint8_t first = 0);
Bytes join(Bytes a, const Bytes& b);
// A buffer holding the bytes.
vemlasdknative::Buffer bufferOf(const Bytes& bytes);

class FrameTest : public ReaderTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    Qm30& reader() { return *static_cast<Qm30*>(vemlasdknative::handle); }
    qm30sim::Qm30Model& firmware() { return dongle->firmware; }
    // Selects a protocol (CRC append on unless said) and clears the record.
    void mode(std::uint8_t protocol, std::uint8_t appendCrc = 1);
    // Frames go out in one report from now on.
    static void singleReport();
    // Runs a transfer into a fresh receive buffer of 500 bytes.
    Outcome run(const std::function<Status(vemlasdknative::Buffer*)>& transfer);
    Outcome transceive(const Bytes& tx);
    Outcome transceive(const Bytes& tx, std::uint8_t flag);
    // What an untouched buffer reads after a failed transfer.
    static Outcome untouched(Status status);
};

} // namespace kestoreader_test

#endif
