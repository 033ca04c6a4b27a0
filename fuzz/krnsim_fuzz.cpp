// Host bytes reach the reader simulator unchecked: reassembly and dispatch must
// stay bounded, answer only whole good frames and never crash, whatever comes.
#include <krnsim/reader.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void prepare(krnsim::Reader& reader) {
    reader.setInterByteGap(krnsim::Millis(100));
    krnsim::Tag a;
    a.uid = {1, 2, 3, 4, 5, 6, 7, 8};
    reader.addTag(a);
    krnsim::Tag b;
    b.uid = {8, 7, 6, 5, 4, 3, 2, 1};
    b.blockSize = 32;
    b.blockCount = 256;
    b.readOnly = true;
    reader.addTag(b);
}

} // namespace

// Input: chunks of [control byte][up to 63 bytes]; the control byte's low six bits
// give the chunk length, bit 6 lets the inter-byte gap pass before the chunk.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    krnsim::Reader sim;
    prepare(sim);
    krnsim::Reassembler reassembler(sim.interByteGap());
    krnsim::ConnectionContext context(1);
    krnsim::TimePoint now{};
    std::vector<krnsim::Unit> units;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t control = data[at++];
        const std::size_t length = std::min<std::size_t>(control & 0x3F, size - at);
        if (control & 0x40) now += sim.interByteGap();
        now += krnsim::Millis(1);
        units.clear();
        reassembler.feed(krnsim::ByteView(data + at, length), now, units);
        at += length;
        if (reassembler.buffered() > krnsim::kMaxFrameLength) __builtin_trap();
        for (krnsim::Unit& unit : units) {
            const bool good = unit.verdict == krnsim::Verdict::Ok;
            const krnsim::Bytes reply = sim.handle(std::move(unit), context).bytes();
            if (!good && !reply.empty()) __builtin_trap();
            if (!reply.empty() && krnsim::crc16(reply) != 0) __builtin_trap();
        }
    }
    // The same bytes in one piece through the in-process link.
    const krnsim::Plan plan = sim.exchange(krnsim::ByteView(data, size));
    if (!plan.empty() && sim.log().size() == 0) __builtin_trap();
    return 0;
}
