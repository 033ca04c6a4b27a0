#include "client.h"

#include <krnsim/simulator.h>

#include <vktesting/wait_until.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace krnsim {
namespace {

using namespace test;

const Bytes kVersionRequest = hex("05 01 65 FD 2D");
const Bytes kVersionReply = hex("0F 01 65 00 01 02 03 4B 00 10 00 10 00 19 33");

vktesting::UniqueFd openSlave(const std::string& path) {
    return vktesting::UniqueFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
}

// A link path the serial library can name: at most 15 characters.
std::string shortLinkPath() {
    const std::string path = "/tmp/kq" + std::to_string(::getpid() % 100000) + "A0";
    EXPECT_LE(path.size(), 15u);
    return path;
}

TEST(KrnSimPty, ExchangesAndSurvivesTheClientReopening) {
    Simulator sim;
    const PtyEndpoint pty = sim.openPty();
    ASSERT_EQ(pty.slavePath.rfind("/dev/pts/", 0), 0u);
    for (int round = 0; round < 3; ++round) {
        auto client = openSlave(pty.slavePath);
        ASSERT_TRUE(client) << round;
        EXPECT_EQ(exchange(client.get(), kVersionRequest), kVersionReply) << round;
    }
    ASSERT_TRUE(sim.reader().log().waitFor(3, kPatience));
    EXPECT_EQ(sim.reader().log().entries()[0].connection, pty.connection);
}

TEST(KrnSimPty, PlacesAndRemovesTheLink) {
    const std::string link = shortLinkPath();
    {
        Simulator sim;
        const PtyEndpoint pty = sim.openPty(link);
        EXPECT_EQ(pty.linkPath, link);
        EXPECT_EQ(std::filesystem::read_symlink(link), pty.slavePath);
        auto client = openSlave(link);
        ASSERT_TRUE(client);
        EXPECT_EQ(exchange(client.get(), kVersionRequest), kVersionReply);
        sim.sendFrame(pty.connection, 0x1C, 0);
        EXPECT_EQ(readFrame(client.get()), hex("06 01 1C 00 56 2E"));
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(KrnSimPty, RefusesALinkPathThatIsNotASymlink) {
    const std::string path = shortLinkPath();
    { std::ofstream file(path); }
    Simulator sim;
    EXPECT_THROW(sim.openPty(path), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    std::filesystem::remove(path);
    EXPECT_TRUE(sim.connections().empty());
}

TEST(KrnSimPty, Sends65KilobytesToASlowReader) {
    Simulator sim;
    Bytes data(65527);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    sim.reader().setCannedReply(0xB0, Reply::frame(0, data));
    const PtyEndpoint pty = sim.openPty();
    auto client = openSlave(pty.slavePath);
    ASSERT_TRUE(client);
    writeAll(client.get(), request(0xB0, {0x01, 0x00}));
    Bytes frame;
    while (frame.size() < 65535) {
        const ReadResult part = readBytes(client.get(), std::min<std::size_t>(1000, 65535 - frame.size()));
        ASSERT_FALSE(part.bytes.empty()) << "after " << frame.size();
        frame.insert(frame.end(), part.bytes.begin(), part.bytes.end());
        std::this_thread::sleep_for(Millis(1)); // a slow reader: the pty buffer fills meanwhile
    }
    ASSERT_EQ(frame.size(), 65535u);
    EXPECT_EQ(toHex(Bytes(frame.begin(), frame.begin() + 6)), "02 FF FF 01 B0 00");
    EXPECT_EQ(Bytes(frame.begin() + 6, frame.end() - 2), data);
    EXPECT_EQ(crc16(frame), 0);
    EXPECT_EQ(exchange(client.get(), kVersionRequest), kVersionReply);
}

TEST(KrnSimPty, HangsUpOnADisconnectFault) {
    const std::string link = shortLinkPath();
    Simulator sim;
    const PtyEndpoint pty = sim.openPty(link);
    auto client = openSlave(pty.slavePath);
    ASSERT_TRUE(client);
    sim.reader().queueFault(Fault::closeAfter(4));
    writeAll(client.get(), kVersionRequest);
    const ReadResult seen = readBytes(client.get(), 100);
    EXPECT_EQ(toHex(seen.bytes), "0F 01 65 00");
    EXPECT_TRUE(seen.eof || seen.error == EIO) << seen.error;
    EXPECT_TRUE(vktesting::waitUntil([&] { return sim.connections().empty(); }, kPatience));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

// A client reconnecting after a hang-up opens a new pty at the same link while
// the old one ends on the loop thread: whatever the order, the link stays the
// new pty's.
TEST(KrnSimPty, ALinkPlacedAgainSurvivesTheOldPtyEnding) {
    const std::string link = shortLinkPath();
    for (int round = 0; round < 200; ++round) {
        auto old = std::make_unique<Simulator>();
        old->openPty(link);
        Simulator fresh;
        std::thread ending([&] { old.reset(); });
        const PtyEndpoint pty = fresh.openPty(link);
        ending.join();
        std::error_code error;
        ASSERT_EQ(std::filesystem::read_symlink(link, error), pty.slavePath) << "round " << round;
        auto client = openSlave(link);
        ASSERT_TRUE(client) << "round " << round;
    }
}

} // namespace
} // namespace krnsim
