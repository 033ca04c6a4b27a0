// Reader commands from several threads through the exports of libvkkrn.so: one
// reader shared by two threads (each reads its own configuration block), and
// two readers in parallel, each on its own simulated reader over loopback TCP.
#include "sim_link.h"

#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

class CommandThreads : public vktesting::TempDirTest {
  protected:
    // Writes block `address` and reads it back `rounds` times; the failures.
    static int readBack(int reader, unsigned char address, int rounds) {
        unsigned char block[14];
        std::memset(block, address, sizeof block);
        int failures = VKKRN_0x81_WriteConfBlock(reader, 1, address, block, 0) == 0 ? 0 : 1;
        for (int i = 0; i < rounds; ++i) {
            unsigned char out[15];
            if (VKKRN_0x80_ReadConfBlock(reader, 1, address, out, 0) != 0 ||
                std::memcmp(out, block, 14) != 0 || out[14] != 0)
                ++failures;
        }
        return failures;
    }
};

TEST_F(CommandThreads, TwoThreadsReadDifferentBlocksOfOneReader) {
    SimLink link(LinkKind::Tcp);
    const int reader = link.newReader();
    int failures[2] = {-1, -1};
    std::thread a([&] { failures[0] = readBack(reader, 3, 40); });
    std::thread b([&] { failures[1] = readBack(reader, 9, 40); });
    a.join();
    b.join();
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);
    VKKRN_DeleteReader(reader);
}

TEST_F(CommandThreads, TwoReadersInParallel) {
    SimLink first(LinkKind::Tcp);
    SimLink second(LinkKind::Tcp);
    const int readers[2] = {first.newReader(), second.newReader()};
    int failures[2] = {-1, -1};
    std::thread a([&] { failures[0] = readBack(readers[0], 5, 40); });
    std::thread b([&] { failures[1] = readBack(readers[1], 5, 40); });
    a.join();
    b.join();
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);
    for (const int r : readers)
        VKKRN_DeleteReader(r);
}

} // namespace
