// Transponder and SAM commands of several threads, on one reader and on two,
// against the simulated reader on loopback TCP.
#include "sim_link.h"

#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using krnsim::Bytes;

krnsim::Tag tagEnding(std::uint8_t last) {
    krnsim::Tag t;
    t.uid = {0xE0, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, last};
    t.type = 0x03;
    return t;
}

// One reader on its own simulated reader with one tag, UID ending in `last`.
struct TagReader {
    explicit TagReader(std::uint8_t last) : link(LinkKind::Tcp), uidEnd(last) {
        link.sim.reader().addTag(tagEnding(last));
        handle = VKKRN_NewReader(link.handle);
        EXPECT_GT(handle, 0);
    }
    ~TagReader() { VKKRN_DeleteReader(handle); }

    // An inventory: true when it found the one tag.
    bool inventory() {
        unsigned char request[] = {0x01, 0x00};
        unsigned char reply[64];
        int len = 0;
        const int rc = VKKRN_0xB0_ISOCmd(handle, 1, request, 2, reply, &len, 0);
        return rc == 0 && len == 10 && reply[0] == 1 && reply[9] == uidEnd;
    }
    // A SAM command whose data the reader echoes: true when they came back.
    bool sam(std::uint8_t mark) {
        unsigned char request[] = {mark, 0xA4, mark};
        unsigned char reply[64];
        int len = 0;
        const int rc = VKKRN_0xC0_SAMCmd_Sync(handle, 1, 0, 20, request, 3, reply, &len);
        return rc == 0 && len == 3 && reply[0] == mark && reply[2] == mark;
    }

    SimLink link;
    std::uint8_t uidEnd;
    int handle = 0;
};

class ThreadCommands : public vktesting::TempDirTest {};

TEST_F(ThreadCommands, InventoryAndSamOnOneReader) {
    TagReader reader(0x0A);
    char key[] = "Timeout";
    char value[] = "700";
    ASSERT_EQ(VKKRN_PI_SetPortPara(reader.handle, key, value), 0);
    constexpr int kRounds = 40;
    std::atomic<int> good{0};
    std::thread inventories([&] {
        for (int i = 0; i < kRounds; ++i)
            good += reader.inventory();
    });
    std::thread sams([&] {
        for (int i = 0; i < kRounds; ++i)
            good += reader.sam(static_cast<std::uint8_t>(i));
    });
    inventories.join();
    sams.join();
    EXPECT_EQ(good.load(), 2 * kRounds);
    char now[64] = {};
    ASSERT_EQ(VKKRN_PI_GetPortPara(reader.handle, key, now), 0);
    EXPECT_STREQ(now, "700") << "every swap undone";
}

TEST_F(ThreadCommands, TwoReadersInParallel) {
    TagReader first(0x0A);
    TagReader second(0x0B);
    constexpr int kRounds = 40;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (TagReader* r : {&first, &second}) {
        threads.emplace_back([&good, r] {
            for (int i = 0; i < kRounds; ++i)
                good += r->inventory() + r->sam(static_cast<std::uint8_t>(i));
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(good.load(), 4 * kRounds);
}

} // namespace
