// Several threads on one board object: board commands through the channel's
// mutex, register reads through the register mutex as well.
#include "board_fixture.h"
#include "command_channel.h"
#include "kx20_com_usb_hid.h"

#include <boardsim/telegram_board.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace board_link::test {
namespace {

TEST_F(BoardTest, ThreadsGetTheirOwnAnswers) {
    boardsim::TelegramBoard firmware(board);
    firmware.setCommand(0x50, [](const Bytes& p, std::size_t) {
        return boardsim::CommandReply{0, Bytes(3, p.at(0))};
    });
    firmware.setRegister(7, 0x77);
    plugBoard();
    KX20Com_UsbHid object;
    object.driver().setTimeouts(50, 50);
    ASSERT_EQ(object.connect(), 0);
    auto commands = [&object](std::uint8_t mark) {
        for (int i = 0; i < 30; ++i) {
            std::vector<std::uint8_t> answer;
            EXPECT_EQ(object.sendBoardCommand(0x50, {mark}, 3, answer), 0);
            EXPECT_EQ(answer, Bytes(3, mark));
        }
    };
    std::thread a(commands, 0xA1);
    std::thread b(commands, 0xB2);
    std::thread c([&object] {
        for (int i = 0; i < 30; ++i) {
            uchar value = 0;
            EXPECT_EQ(object.readRegister(7, value, false), 0);
            EXPECT_EQ(value, 0x77);
        }
    });
    a.join();
    b.join();
    c.join();
    EXPECT_FALSE(board->overrun());
    object.disconnect();
}

// A channel with the late flush policy on a plugged board model.
class LateChannelTest : public BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        firmware = std::make_unique<boardsim::TelegramBoard>(board);
        firmware->setRegister(1, 0x11);
        plugBoard();
        driver.setTimeouts(50, 50);
    }
    void TearDown() override {
        driver.close();
        firmware.reset();
        BoardTest::TearDown();
    }

    KXx0HidComDriver driver{kKx20Board, KESTO_VENDOR_ID};
    std::unique_ptr<boardsim::TelegramBoard> firmware;
};

TEST_F(LateChannelTest, EveryOperationWaitsForAnotherThreadsUnflushedRequest) {
    struct Case {
        const char* name;
        std::function<void(CommandChannel&)> operation;
    };
    const Case cases[] = {
        {"queue",
         [](CommandChannel& c) {
             KXx0RegisterObject read(1, 1, 1);
             c.queue(&read);
             c.flush();
             EXPECT_EQ(read.value(), 0x11u);
         }},
        {"write",
         [](CommandChannel& c) {
             KXx0RegisterObject write(1, 1, 2, 0x22);
             c.write(&write);
             c.flush();
         }},
        {"flush", [](CommandChannel& c) { c.flush(); }},
        {"flush object", [](CommandChannel& c) { c.write(&flushObject()); }},
        {"lastError", [](CommandChannel& c) { EXPECT_EQ(c.lastError(), 0); }},
        {"setLastError", [](CommandChannel& c) { c.setLastError(0); }},
        {"takeLinkErrors", [](CommandChannel& c) { EXPECT_EQ(c.takeLinkErrors(), 0); }},
        {"open", [](CommandChannel& c) { EXPECT_TRUE(c.open()); }},
        {"reset", [](CommandChannel& c) { EXPECT_TRUE(c.reset()); }},
        {"close", [](CommandChannel& c) { EXPECT_TRUE(c.close()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CommandChannel channel(&driver, &lateFlushPolicy());
        ASSERT_TRUE(channel.open());
        KXx0RegisterObject mine(1, 1, 1);
        channel.queue(&mine); // this thread now holds a level until it flushes
        std::atomic<bool> done{false};
        std::thread other([&] {
            c.operation(channel);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(done.load());
        channel.flush();
        EXPECT_EQ(mine.result(), 0);
        EXPECT_EQ(mine.value(), 0x11u);
        other.join();
        EXPECT_TRUE(done.load());
        channel.close();
    }
    EXPECT_EQ(firmware->registerValue(2), 0x22);
    EXPECT_FALSE(board->overrun());
}

TEST_F(LateChannelTest, DestructorReleasesTheLevelsOfUnflushedRequests) {
    auto channel = std::make_unique<CommandChannel>(&driver, &lateFlushPolicy());
    ASSERT_TRUE(channel->open());
    KXx0RegisterObject first(1, 1, 1);
    KXx0RegisterObject second(1, 1, 2);
    channel->queue(&first);
    channel->queue(&second);
    // Two levels held by this thread, released by the destructor.
    channel.reset();
    EXPECT_FALSE(first.answered());
    EXPECT_FALSE(second.answered());

    // A fresh channel on the same driver starts clean once reset: the two
    // requests still pending in the driver are dropped with the old session.
    firmware->setRegister(3, 0x33);
    CommandChannel next(&driver, &lateFlushPolicy());
    ASSERT_TRUE(next.reset());
    KXx0RegisterObject read(1, 1, 3);
    next.queue(&read);
    next.flush();
    EXPECT_EQ(read.result(), 0);
    EXPECT_EQ(read.value(), 0x33u);
    ASSERT_EQ(firmware->telegrams().size(), 1u);
    EXPECT_EQ(firmware->telegrams()[0].payload, Bytes{3});
}

TEST_F(LateChannelTest, DestructorWaitsForAnotherThreadsUnflushedRequest) {
    auto* channel = new CommandChannel(&driver, &lateFlushPolicy());
    ASSERT_TRUE(channel->open());
    KXx0RegisterObject mine(1, 1, 1);
    channel->queue(&mine);
    std::atomic<bool> done{false};
    std::thread other([&done, channel] {
        delete channel;
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(done.load());
    channel->flush(); // the last level goes; the other thread destroys the channel
    other.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(mine.result(), 0);
    EXPECT_EQ(mine.value(), 0x11u);
}

} // namespace
} // namespace board_link::test
