// A board library as a caller meets it: the simulated build loaded by path
// through the loader, every operation bound by its decorated name into the
// header's typed pointers, and the board model behind this process's simulated
// hidapi (the library links the same libhidsim.so, so there is one simulator).
//
// Each test case is its own process; the fixture points XDG_CONFIG_HOME at a
// fresh directory before the library loads (the library writes its session
// trace there).
#ifndef BOARD_LINK_TESTS_BOARD_LIBRARY_FIXTURE_H
#define BOARD_LINK_TESTS_BOARD_LIBRARY_FIXTURE_H

#include <boardsim/board.h>
#include <boardsim/telegram_board.h>
#include <hidsim/hidsim.h>
#include <KXx0EVALOComm.h>
#include <vkplatform/kernel_services.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace board_link::test {

using Bytes = std::vector<std::uint8_t>;
using vkplatform::kernel::GetProcAddress;
using vkplatform::kernel::HMODULE;
using vkplatform::kernel::LoadLibraryA;

// Every operation of the header as a typed pointer.
struct BoardApi {
#define BOARD_API_FIELD(name, bytes) decltype(&::name) name = nullptr;
    KXX0_COMMON_OPERATIONS(BOARD_API_FIELD)
    KXX0_FIRST_BOARD_OPERATIONS(BOARD_API_FIELD)
#undef BOARD_API_FIELD

    // Binds every operation the library should have; false when one is missing.
    bool bind(HMODULE module, bool firstBoard) {
        bool all = true;
#define BOARD_API_BIND(name, bytes)                                                                          \
    name = reinterpret_cast<decltype(&::name)>(GetProcAddress(module, "_" #name "@" #bytes));                \
    all = all && name != nullptr;
        KXX0_COMMON_OPERATIONS(BOARD_API_BIND)
        if (firstBoard) {
            KXX0_FIRST_BOARD_OPERATIONS(BOARD_API_BIND)
        }
#undef BOARD_API_BIND
        return all;
    }
};

// One of the two libraries.
struct Library {
    const char* name;
    std::uint16_t product;
    bool firstBoard;
    std::uint8_t bitrateCommand;
};

inline constexpr Library kKx10Library{"KX10EVALOComm", boardsim::kKx10ProductId, true, 0x19};
inline constexpr Library kKx20Library{"KX20EVALOComm", boardsim::kKx20ProductId, false, 0x45};

inline void PrintTo(const Library& library, std::ostream* os) {
    *os << library.name;
}

// The simulated build's path, under the caller's ".dll" name.
inline std::string simulatedLibrary(const Library& library) {
    return std::string(BOARD_LINK_SIM_DIR) + "/" + library.name + ".dll";
}

// The simulated hidapi reset, the configuration home set, nothing loaded yet.
class LibraryProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        hidsim::reset();
    }

    // Loads `library` and binds it; the test fails when anything is missing.
    void load(const Library& library) {
        module = LoadLibraryA(simulatedLibrary(library).c_str());
        ASSERT_NE(module, nullptr) << ::dlerror();
        ASSERT_TRUE(api.bind(module, library.firstBoard));
    }

    vktesting::TempDir config;
    HMODULE module = nullptr;
    BoardApi api;
};

// A board plugged in and a handle to it, for either library.
class BoardLibraryTest : public LibraryProcessTest, public ::testing::WithParamInterface<Library> {
  protected:
    void SetUp() override {
        LibraryProcessTest::SetUp();
        board = std::make_shared<boardsim::Board>();
        model = std::make_unique<boardsim::TelegramBoard>(board);
        device = boardsim::plug(board, GetParam().product);
        ASSERT_NO_FATAL_FAILURE(load(GetParam()));
        handle = api.GetKX10();
        ASSERT_NE(handle, nullptr);
        model->clearRecord();
        hidsim::clearCalls();
    }
    void TearDown() override {
        if (handle != nullptr) api.ReleaseKX10(handle);
        EXPECT_EQ(hidsim::counters().liveHandles, 0);
        EXPECT_EQ(hidsim::violations(), std::vector<std::string>{});
        std::vector<std::string> violations = board->violations();
        // A report the host lost on the way shows as a gap in the sequence.
        if (reportLost)
            std::erase_if(violations,
                          [](const std::string& v) { return v.find("sequence") != std::string::npos; });
        EXPECT_EQ(violations, std::vector<std::string>{});
    }

    // Board commands (pid 0x44) the model took since the last clearRecord.
    std::vector<boardsim::Telegram> commands() const {
        std::vector<boardsim::Telegram> found;
        for (const boardsim::Telegram& t : model->telegrams())
            if (t.pid == boardsim::kPidCommand) found.push_back(t);
        return found;
    }
    // The time-outs the reads since the last clearCalls asked for.
    static std::vector<int> readTimeouts() {
        std::vector<int> timeouts;
        for (const hidsim::Call& call : hidsim::calls(hidsim::Fn::Read))
            timeouts.push_back(call.timeout);
        return timeouts;
    }
    // Makes the next exchange fail at the transfer (its answer report comes
    // with length 0, so the read falls short): the channel's error latches.
    void latchError() {
        failNextAnswer();
        ASSERT_EQ(api.mosaInitialize(handle), 1);
        model->clearRecord();
        hidsim::clearCalls();
    }

    void failNextAnswer() { board->injectFault(boardsim::Fault(boardsim::FaultKind::LengthByte, 0)); }
    // The next output report is lost on its way to the board.
    void loseNextReport() {
        hidsim::failNth(hidsim::Fn::Write, 1, -1);
        reportLost = true;
    }

    std::shared_ptr<boardsim::Board> board;
    std::unique_ptr<boardsim::TelegramBoard> model;
    bool reportLost = false;
    int device = 0;
    KXx0HANDLE handle = nullptr;
};

} // namespace board_link::test

#endif
