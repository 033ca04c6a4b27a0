// Several threads on one board object: board commands through the channel's
// mutex, register reads through the register mutex as well.
#include "board_fixture.h"
#include "kx20_com_usb_hid.h"

#include <boardsim/telegram_board.h>

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

} // namespace
} // namespace board_link::test
