// The bridge over the board library itself (its build on the simulated hidapi,
// with the board model behind it), found by name through the library path:
// connect takes the first board, its firmware passes the check, ISO 14443-A
// is set up on the board, and inventories run through its firmware.
#include "kesto_reader.h"
#include "kxx0_dll.h"

#include <boardsim/board.h>
#include <boardsim/telegram_board.h>
#include <hidsim/hidsim.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace kestoreader_test {
namespace {

namespace natives = vemlasdknative::natives;

TEST(BoardLibrary, ConnectsTheFirstBoardSetsUpIsoAAndTakesInventories) {
    vktesting::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1); // the library's session trace goes there
    hidsim::reset();
    auto board = std::make_shared<boardsim::Board>();
    boardsim::TelegramBoard model(board);
    model.setFirmwareNumber(1, 1, 4);
    boardsim::plug(board, boardsim::kKx10ProductId);

    // The library binds every one of the 87 names.
    vemlasdknative::HMODULE module = nullptr;
    EXPECT_EQ(vemlasdknative::Load_DLLKXx0(&module, "KX10EVALOComm.dll"), 0);
    ASSERT_TRUE(natives::connect());
    EXPECT_EQ(natives::getName(), "KX10B-EVALO");
    EXPECT_EQ(natives::checkVersion(), "");
    EXPECT_EQ(natives::getFirmwareVersion(), "1.1.4");
    model.clearRecord();
    EXPECT_EQ(natives::selectReaderMode({2, 0, 0, 1}), 0);
    // RF layer initialised, mode, bit rate (the first board's command), the
    // two frame delays, the guard time and the field.
    std::vector<std::uint8_t> commands;
    for (const boardsim::Telegram& telegram : model.telegrams())
        if (telegram.pid == 0x44 && !telegram.payload.empty()) commands.push_back(telegram.payload[0]);
    EXPECT_EQ(commands, (std::vector<std::uint8_t>{0x40, 0x43, 0x19, 0x49, 0x47, 0x4B, 0x22}));

    // The firmware's select-and-halt loop: one tag with a 4-byte UID, then none.
    int selects = 0;
    model.setCommand(0xA1, [&](const boardsim::Bytes& parameters, std::size_t) {
        EXPECT_EQ(parameters, (boardsim::Bytes{0x26, 0x01}));
        if (selects++ > 0) return boardsim::CommandReply{22, boardsim::Bytes(17, 0)};
        return boardsim::CommandReply{
            0, {0, 0x04, 0x00, 0x01, 0x08, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD, 0, 0, 0, 0, 0, 0}};
    });
    EXPECT_EQ(natives::antiCollision(), (std::vector<natives::Bytes>{{0xAA, 0xBB, 0xCC, 0xDD}}));
    EXPECT_EQ(selects, 2);

    // ISO 15693: one slot first, the entry's UID most significant byte first.
    EXPECT_EQ(natives::selectReaderMode({1, 0, 0, 0}), 0);
    model.setCommand(0xD2, boardsim::CommandReply{0, {1, 0, 0, 8, 7, 6, 5, 4, 3, 2, 0xE0}});
    EXPECT_EQ(natives::antiCollision(), (std::vector<natives::Bytes>{{0xE0, 2, 3, 4, 5, 6, 7, 8}}));

    natives::disconnect();
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    EXPECT_TRUE(board->violations().empty());
}

// Every connect makes a board reader, and every board reader loads its library
// again: the same module, counted once more, never a second copy. It stays
// loaded, as the entry table points into it.
TEST(BoardLibrary, EveryReaderLoadsTheOneModule) {
    vktesting::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    hidsim::reset();
    auto board = std::make_shared<boardsim::Board>();
    boardsim::TelegramBoard model(board);
    model.setFirmwareNumber(1, 1, 0);
    boardsim::plug(board, boardsim::kKx10ProductId);
    const auto mappings = [] {
        std::ifstream maps("/proc/self/maps");
        int count = 0;
        for (std::string line; std::getline(maps, line);)
            count += line.find("libKX10EVALOComm.so") != std::string::npos ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(natives::connect());
    natives::disconnect();
    const int mapped = mappings();
    ASSERT_GT(mapped, 0);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(natives::connect());
        EXPECT_EQ(natives::getName(), "KX10B-EVALO");
        natives::disconnect();
    }
    EXPECT_EQ(mappings(), mapped);
    vemlasdknative::HMODULE module = nullptr;
    EXPECT_EQ(vemlasdknative::Load_DLLKXx0(&module, "KX10EVALOComm.dll"), 0);
    EXPECT_EQ(module, ::dlopen("libKX10EVALOComm.so", RTLD_NOW | RTLD_NOLOAD));
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
}

} // namespace
} // namespace kestoreader_test
