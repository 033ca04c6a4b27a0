#include "frame_fixture.h"

#include "kesto_reader.h"
#include "qm30_dll.h"

namespace kestoreader_test {

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
    return out << "status " << outcome.status << ", length " << outcome.length << ", " << hex(outcome.rx);
}

Bytes counting(std::size_t n, std::uint8_t first) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

vemlasdknative::Buffer bufferOf(const Bytes& bytes) {
    vemlasdknative::Buffer buffer(static_cast<std::int32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer.buf);
    return buffer;
}

void FrameTest::SetUp() {
    ReaderTest::SetUp();
    connectDongle();
}

void FrameTest::TearDown() {
    vemlasdknative::MCUrev = vemlasdknative::kMCUrevInitial;
    ReaderTest::TearDown();
}

void FrameTest::mode(std::uint8_t protocol, std::uint8_t appendCrc) {
    ASSERT_EQ(vemlasdknative::natives::selectReaderMode({protocol, 0, 0, appendCrc}), 1);
    hidsim::clearCalls();
}

void FrameTest::singleReport() {
    vemlasdknative::MCUrev = vemlasdknative::kLastSingleReportRev;
}

Outcome FrameTest::run(const std::function<Status(vemlasdknative::Buffer*)>& transfer) {
    vemlasdknative::Buffer rx(Qm30::kMaxLength);
    std::fill_n(rx.buf, rx.capacity(), kUntouched);
    const Status status = transfer(&rx);
    const int n = std::clamp(rx.length, 0, rx.capacity());
    return {status, rx.length, Bytes(rx.buf, rx.buf + n)};
}

Outcome FrameTest::transceive(const Bytes& tx) {
    vemlasdknative::Buffer frame = bufferOf(tx);
    return run([&](vemlasdknative::Buffer* rx) { return reader().Transceive(frame, rx); });
}

Outcome FrameTest::transceive(const Bytes& tx, std::uint8_t flag) {
    vemlasdknative::Buffer frame = bufferOf(tx);
    return run([&](vemlasdknative::Buffer* rx) { return reader().Transceive(frame, flag, rx); });
}

Outcome FrameTest::untouched(Status status) {
    return {status, Qm30::kMaxLength, Bytes(Qm30::kMaxLength, kUntouched)};
}

} // namespace kestoreader_test
