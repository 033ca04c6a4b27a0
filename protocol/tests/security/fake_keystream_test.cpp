// The host side's fake keystream and the simulated reader's keep the same stream
// by value: the two must not drift apart.
#include "fake_keystream.h"

#include <krnsim/keystream.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(FakeKeystream, EqualsTheSimulatedReaders) {
    krnsim::Keystream reader;
    std::uint32_t hostBlock = 0;
    // Calls of uneven sizes keep both sides in step block by block.
    for (const std::size_t n : {0u, 1u, 15u, 16u, 17u, 33u, 250u, 4096u}) {
        std::vector<std::uint8_t> plain(n);
        for (std::size_t i = 0; i < n; ++i)
            plain[i] = static_cast<std::uint8_t>(i * 13 + n);
        std::vector<std::uint8_t> host(n);
        vkkrn::testing::applyFakeKeystream(plain.data(), n, host.data(), &hostBlock);
        const auto simulated = reader.apply(krnsim::ByteView(plain.data(), plain.size()));
        EXPECT_EQ(std::vector<std::uint8_t>(simulated.begin(), simulated.end()), host) << n;
        EXPECT_EQ(reader.nextBlock(), hostBlock) << n;
    }
}

} // namespace
