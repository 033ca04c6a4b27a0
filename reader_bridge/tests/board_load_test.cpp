// Loading the board libraries and connect's order of readers, one process per
// scenario: each scenario's library path names only its stand-in libraries.
#include "kesto_reader.h"
#include "KX10.h"
#include "kx20.h"
#include "kxx0_dll.h"
#include "reader_fixture.h"

#include <kxx0_standin.h>

#include <algorithm>
#include <set>
#include <string>

namespace kestoreader_test {
namespace {

using kxx0standin::Board;
using kxx0standin::Core;
namespace natives = vemlasdknative::natives;

class Scenario : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        core.reset();
    }
    std::vector<std::string> names() const { return core.callNames(); }
    Core& core = Core::instance();
};

using NoBoardLibrary = Scenario;
using Kx10Present = Scenario;
using Kx10AbsentKx20Present = Scenario;
using Kx20Only = Scenario;
using Kx10TwoNamesMissing = Scenario;

TEST_F(NoBoardLibrary, ConnectGoesOnToTheDongle) {
    vemlasdknative::HMODULE module = &module;
    EXPECT_EQ(vemlasdknative::Load_DLLKXx0(&module, "KX10EVALOComm.dll"), -1);
    EXPECT_EQ(module, nullptr);
    plugDongle();
    ASSERT_TRUE(natives::connect());
    EXPECT_EQ(natives::getName(), "Qm30");
    EXPECT_TRUE(core.calls().empty());
}

TEST_F(Kx10Present, ConnectTakesTheFirstBoardAndNeverOpensTheDongle) {
    plugDongle();
    ASSERT_TRUE(natives::connect());
    EXPECT_EQ(natives::getName(), "KX10B-EVALO");
    EXPECT_EQ(names(), std::vector<std::string>{"_GetKX10@0"});
    EXPECT_EQ(hidsim::counters().openAttempts, 0);
    EXPECT_EQ(natives::checkVersion(), "");
    EXPECT_EQ(natives::selectReaderMode({2, 0, 0, 1}), 0);
    natives::disconnect();
    EXPECT_EQ(names().back(), "_ReleaseKX10@4");
}

TEST_F(Kx10Present, LoadFillsEveryEntryAndAMissingLibraryLeavesTheTable) {
    vemlasdknative::HMODULE module = nullptr;
    EXPECT_EQ(vemlasdknative::Load_DLLKXx0(&module, "KX10EVALOComm.dll"), 0);
    EXPECT_NE(module, nullptr);
    const auto names = vemlasdknative::kxx0EntryNames();
    EXPECT_EQ(names.size(), 87u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 87u);
    EXPECT_EQ(std::count(names.begin(), names.end(), std::string("_antennaSetTrimVal@8")), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), std::string("_iso15693sendInventoryRequest@16")), 1);

    // A second load of the same library is the same module.
    vemlasdknative::HMODULE again = nullptr;
    EXPECT_EQ(vemlasdknative::Load_DLLKXx0(&again, "kx10evalocomm.DLL"), -1); // file names keep their case
    EXPECT_EQ(vemlasdknative::Load_DLLKXx0(&again, "KX10EVALOComm.dll"), 0);
    EXPECT_EQ(again, module);

    EXPECT_EQ(vemlasdknative::Load_DLLKXx0(&again, "KX20EVALOComm.dll"), -1);
    EXPECT_EQ(again, nullptr);
    ASSERT_NE(vemlasdknative::kxx0Entries.GetKX10, nullptr);
    EXPECT_NE(vemlasdknative::kxx0Entries.GetKX10(), nullptr);
    EXPECT_EQ(core.calls().back().board, Board::Kx10);
}

TEST_F(Kx10AbsentKx20Present, ConnectAsksTheFirstBoardThenTakesTheSecond) {
    core.board(Board::Kx10).present = false;
    plugDongle();
    ASSERT_TRUE(natives::connect());
    EXPECT_EQ(natives::getName(), "KX20-EVALO");
    ASSERT_EQ(core.calls().size(), 2u);
    EXPECT_EQ(core.calls()[0].name, "_GetKX10@0");
    EXPECT_EQ(core.calls()[0].board, Board::Kx10);
    EXPECT_EQ(core.calls()[1].board, Board::Kx20);
    EXPECT_EQ(hidsim::counters().openAttempts, 0);
    // The table now belongs to the second board's library.
    EXPECT_EQ(natives::selectReaderMode({2, 0, 0, 0}), 0);
    EXPECT_EQ(core.calls().back().board, Board::Kx20);
}

TEST_F(Kx20Only, ConnectTakesTheSecondBoard) {
    plugDongle();
    ASSERT_TRUE(natives::connect());
    EXPECT_EQ(natives::getName(), "KX20-EVALO");
    EXPECT_EQ(hidsim::counters().openAttempts, 0);
    core.board(Board::Kx20).firmware = 0x050607;
    EXPECT_EQ(natives::checkVersion(), "");
    EXPECT_EQ(natives::getFirmwareVersion(), "5.6.7");
}

TEST_F(Kx10TwoNamesMissing, OperationsWithoutTheirEntryFailAndNothingIsCalledThroughNull) {
    vemlasdknative::HMODULE module = nullptr;
    EXPECT_EQ(vemlasdknative::Load_DLLKXx0(&module, "KX10EVALOComm.dll"), 2);
    EXPECT_EQ(vemlasdknative::kxx0Entries.checkConnection, nullptr);
    EXPECT_EQ(vemlasdknative::kxx0Entries.mosaFieldOnAndStarGT, nullptr);

    vemlasdknative::kx10 reader;
    ASSERT_TRUE(reader.Connect());
    vemlasdknative::byte_t a[4] = {2, 0, 0, 0};
    EXPECT_EQ(reader.SetMode(a), 3); // no field-on entry: the set-up fails
    vemlasdknative::byte_t v[4] = {1, 0, 0, 0};
    EXPECT_EQ(reader.SetMode(v), 0); // its status is not looked at in ISO 15693
    // Without checkConnection a board cannot be shown gone.
    core.board(Board::Kx10).gone = true;
    EXPECT_TRUE(reader.Connect());
    EXPECT_EQ(reader.SetMode(a), 3);
    vemlasdknative::Buffer tx(2);
    vemlasdknative::Buffer rx(260);
    EXPECT_EQ(reader.Transceive(tx, &rx), vemlasdknative::RfReaderBase::DEFAULT_ERROR);
    for (const auto& call : core.calls())
        EXPECT_NE(call.name, "_checkConnection@4");
}

} // namespace
} // namespace kestoreader_test
