// Two threads on one board handle: blocking receives with their raised read
// time-out on one, other operations on the other.
#include "board_library_fixture.h"

#include <algorithm>
#include <thread>

namespace board_link::test {
namespace {

INSTANTIATE_TEST_SUITE_P(Libraries, BoardLibraryTest, ::testing::Values(kKx10Library, kKx20Library),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(BoardLibraryTest, RaisedTimeOutStaysWithTheBlockingExchange) {
    // Every exchange below takes one input report, so each read belongs to
    // one exchange: only the blocking receives may read at 10,000 ms.
    model->setCommand(0x58, boardsim::CommandReply{0, {0, 2, 0xAB, 0xCD}});
    constexpr int kRounds = 40;
    std::thread blocking([&] {
        std::uint8_t rx[4];
        std::uint16_t rcvLen = 0;
        for (int i = 0; i < kRounds; ++i)
            EXPECT_EQ(api.mosaTransceiveBlockingRx(handle, rx, sizeof rx, &rcvLen), 0);
    });
    std::thread other([&] {
        for (int i = 0; i < kRounds; ++i)
            EXPECT_EQ(api.mosaSetGT(handle, static_cast<std::uint32_t>(i)), 0);
    });
    blocking.join();
    other.join();
    const std::vector<int> timeouts = readTimeouts();
    EXPECT_EQ(timeouts.size(), 2u * kRounds);
    EXPECT_EQ(std::count(timeouts.begin(), timeouts.end(), 10000), kRounds);
    EXPECT_EQ(std::count(timeouts.begin(), timeouts.end(), 1000), kRounds);
    EXPECT_EQ(commands().size(), 2u * kRounds);
    EXPECT_EQ(api.checkConnection(handle), 0);
}

} // namespace
} // namespace board_link::test
