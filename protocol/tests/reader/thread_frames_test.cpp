// Two readers' frame exports and capture reads in parallel, through the
// deliverable.
#include "frame_oracle.h"

#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using vkkrn::codec::testing::Bytes;
namespace oracle = vkkrn::codec::testing;

using FrameExportThreads = vktesting::TempDirTest;

TEST_F(FrameExportThreads, TwoReadersBuildAndSplitInParallel) {
    const int readers[2] = {VKKRN_NewReader(0), VKKRN_NewReader(0)};
    ASSERT_GT(readers[0], 0);
    ASSERT_GT(readers[1], 0);
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([h = readers[r], r] {
            const std::uint8_t adr = static_cast<std::uint8_t>(0x10 + r);
            for (int i = 0; i < 300; ++i) {
                Bytes data = oracle::pattern(static_cast<std::size_t>(i % 300), static_cast<std::uint8_t>(r));
                data.reserve(1);
                std::vector<unsigned char> frame(data.size() + 16);
                const int n = VKKRN_BuildSendProtocol(h, adr, 0xB0, data.data(),
                                                      static_cast<int>(data.size()), frame.data(), 10);
                ASSERT_EQ(n, static_cast<int>(data.size()) + (data.size() <= 250 ? 5 : 7));
                std::vector<unsigned char> last(frame.size());
                ASSERT_EQ(VKKRN_GetLastSendProt(h, last.data(), 0), n);
                ASSERT_TRUE(std::equal(frame.begin(), frame.begin() + n, last.begin()));
                const Bytes reply = oracle::standardReply(adr, 0xB0, static_cast<std::uint8_t>(i), {1});
                Bytes copy = reply;
                unsigned char a, c, out[4];
                int len;
                ASSERT_EQ(VKKRN_SplitRecProtocol(h, copy.data(), 7, &a, &c, out, &len, 10), i & 0xFF);
                ASSERT_EQ(a, adr);
                char text[80];
                ASSERT_EQ(VKKRN_GetLastState(h, text), i & 0xFF);
            }
        });
    }
    // A third thread reads both readers' captures meanwhile.
    threads.emplace_back([&readers] {
        std::vector<unsigned char> out(2 * 512);
        for (int i = 0; i < 300; ++i) {
            for (const int h : readers) {
                VKKRN_GetLastSendProt(h, out.data(), 1);
                VKKRN_GetLastRecProtLen(h);
                std::vector<char> value(4096);
                VKKRN_GetReaderPara(h, "RECBUSADR", value.data());
            }
        }
    });
    for (auto& t : threads)
        t.join();
}

} // namespace
