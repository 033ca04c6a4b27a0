#include <vktesting/loopback_listener.h>
#include <vktesting/memory_search.h>
#include <vktesting/pty_pair.h>
#include <vktesting/temp_dir.h>
#include <vktesting/wait_until.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h> // explicit_bzero
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

class WorkDir : public vktesting::TempDirTest {};

TEST_F(WorkDir, RunsInsideAFreshDirectory) {
    EXPECT_EQ(std::filesystem::current_path(), workDir());
    writeFile("vkkrn.ini", "[x]\n");
    EXPECT_EQ(readFile("vkkrn.ini"), "[x]\n");
    EXPECT_EQ(readFile("missing"), "");
}

TEST(PtyPair, CarriesBytesBothWays) {
    vktesting::PtyPair pty;
    EXPECT_GE(pty.slaveNumber(), 0);
    ASSERT_EQ(::write(pty.slave(), "\x02\x00", 2), 2);
    pollfd entry{pty.master(), POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 1000), 1);
    unsigned char bytes[4] = {};
    EXPECT_EQ(::read(pty.master(), bytes, sizeof bytes), 2);
    EXPECT_EQ(bytes[0], 0x02);
}

TEST(LoopbackListener, AcceptsAConnection) {
    vktesting::LoopbackListener listener;
    ASSERT_GT(listener.port(), 0);
    vktesting::UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(listener.port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_TRUE(listener.accept(1s));
    EXPECT_FALSE(listener.accept(10ms));
}

TEST(WaitUntil, ReturnsWhenTheConditionHoldsOrTheDeadlinePasses) {
    std::atomic<bool> flag{false};
    std::thread setter([&] { flag = true; });
    EXPECT_TRUE(vktesting::waitUntil([&] { return flag.load(); }));
    setter.join();
    EXPECT_FALSE(vktesting::waitUntil([] { return false; }, 5ms));
}

TEST(MemorySearch, FindsACopyUntilItIsWiped) {
    std::array<std::uint8_t, 16> needle{};
    for (std::size_t i = 0; i < needle.size(); ++i)
        needle[i] = static_cast<std::uint8_t>(0xA5 ^ (37 * i));
    const auto block = std::make_unique<std::uint8_t[]>(64);
    std::copy(needle.begin(), needle.end(), block.get() + 8);
    const auto copy = reinterpret_cast<std::uintptr_t>(block.get() + 8);
    EXPECT_THAT(vktesting::findInMemory(needle, needle.data(), needle.size()), ::testing::Contains(copy));
    explicit_bzero(block.get(), 64);
    EXPECT_THAT(vktesting::findInMemory(needle, needle.data(), needle.size()),
                ::testing::Not(::testing::Contains(copy)));
}

} // namespace
