// A clean simulated hidapi with one board model per test; every test ends with
// no live handle and no violation on either side.
#ifndef BOARD_LINK_TESTS_BOARD_FIXTURE_H
#define BOARD_LINK_TESTS_BOARD_FIXTURE_H

#include "hid_com_driver.h"

#include <boardsim/board.h>
#include <hidsim/hidsim.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace board_link::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes counting(std::size_t n, std::uint8_t first = 0) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

class BoardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hidsim::reset();
        board = std::make_shared<boardsim::Board>();
    }
    void TearDown() override {
        EXPECT_EQ(hidsim::counters().liveHandles, 0);
        EXPECT_EQ(hidsim::violations(), std::vector<std::string>{});
        if (expectBoardClean) {
            EXPECT_EQ(board->violations(), std::vector<std::string>{});
        }
    }

    // Plugs `board` (or another model) under the maker's vendor id.
    int plugBoard(std::uint16_t product = boardsim::kKx20ProductId) { return boardsim::plug(board, product); }
    int plugForeign(std::uint16_t vendor = 0x1234, std::uint16_t product = boardsim::kKx20ProductId) {
        hidsim::DeviceProfile profile;
        profile.vendor = vendor;
        profile.product = product;
        return hidsim::plug(profile, nullptr);
    }
    // Output reports the program wrote to `device`, as hid_write took them.
    static std::vector<Bytes> written(int device) {
        std::vector<Bytes> reports;
        for (const hidsim::Traffic& t : hidsim::traffic(device))
            if (t.out) reports.push_back(t.bytes);
        return reports;
    }

    std::shared_ptr<boardsim::Board> board;
    bool expectBoardClean = true;
};

} // namespace board_link::test

#endif
