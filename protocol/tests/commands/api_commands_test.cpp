// The reader commands through the exports of libvkkrn.so, against the simulated
// reader on loopback TCP (libvktcp) and on a pseudo-terminal (libvkcom): the
// request each command sends, round trips through the reader's model, reply
// parsing of scripted replies, argument refusals and key masking.
#include "command_table.h"
#include "sim_link.h"

#include <krnsim/frame.h>
#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using krnsim::Form;
using krnsim::Reply;
using vkkrn_test::Bytes;
using vkkrn_test::scratch;

class Commands : public vktesting::TempDirTest, public ::testing::WithParamInterface<LinkKind> {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        link_ = std::make_unique<SimLink>(GetParam());
        reader_ = link_->newReader();
        ASSERT_GT(reader_, 0);
        handler_.pAny = this;
        handler_.uiUse = 1;
        handler_.uiFlag = 6;
        handler_.callback.form6 = [](void* any, unsigned char*, int value) {
            static_cast<Commands*>(any)->codes_.push_back(value);
        };
        ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGPROT", "1"), 0);
        ASSERT_EQ(VKKRN_AddEventHandler(reader_, &handler_), 0);
    }
    void TearDown() override {
        if (reader_ > 0) VKKRN_DeleteReader(reader_);
        link_.reset();
        vktesting::TempDirTest::TearDown();
    }

    krnsim::Reader& sim() { return link_->sim.reader(); }
    int lastError() {
        int code = 1;
        char text[256];
        VKKRN_GetLastError(reader_, &code, text);
        return code;
    }
    // The error events (101) seen: their codes. Events 2 and 3 carry the status.
    std::vector<int> errorCodes() {
        std::vector<int> out;
        for (const int c : codes_)
            if (c < 0) out.push_back(c);
        return out;
    }
    krnsim::LogEntry lastRequest() {
        const auto entries = sim().log().entries();
        EXPECT_FALSE(entries.empty());
        return entries.empty() ? krnsim::LogEntry{} : entries.back();
    }

    std::unique_ptr<SimLink> link_;
    int reader_ = 0;
    _VKKRN_EVENT_INIT handler_{};
    std::vector<int> codes_;
};

TEST_P(Commands, EachCommandSendsItsRequestData) {
    for (const vkkrn_test::RequestRow& row : vkkrn_test::requestRows()) {
        SCOPED_TRACE(row.name);
        sim().log().clear();
        EXPECT_EQ(row.call(reader_), 0);
        const krnsim::LogEntry entry = lastRequest();
        EXPECT_EQ(entry.command, row.command);
        EXPECT_EQ(entry.address, row.address);
        EXPECT_EQ(entry.data, row.data);
        EXPECT_EQ(sim().log().size(), 1u);
    }
}

TEST_P(Commands, LargeExchangeTravelsAdvancedAndComesBackWhole) {
    std::vector<unsigned char> data(60000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 7);
    std::vector<unsigned char> out(data.size() + 2, 0xEE);
    int n = -1;
    EXPECT_EQ(VKKRN_0x1E_TableDataExchange(reader_, 1, 1, 2, 3, 4, 5, data.data(), 60000, out.data(), &n), 0);
    EXPECT_EQ(lastRequest().form, Form::Advanced);
    EXPECT_EQ(n, 60000);
    EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 60000), data);
    EXPECT_EQ(out[60000], 0);
    EXPECT_EQ(out[60001], 0xEE);
}

INSTANTIATE_TEST_SUITE_P(Links, Commands, ::testing::Values(LinkKind::Tcp, LinkKind::Pty),
                         [](const auto& info) { return std::string(linkName(info.param)); });

// Round trips, scripted replies and refusals need one link only.
class CommandsTcp : public Commands {};

std::string text(const unsigned char* out) {
    return reinterpret_cast<const char*>(out);
}

TEST_P(CommandsTcp, ConfigurationBlockRoundTripInEachFormat) {
    const Bytes block = vkkrn_test::iota(14, 0xE1);
    ASSERT_EQ(VKKRN_0x81_WriteConfBlock(reader_, 1, 7, const_cast<unsigned char*>(block.data()), 0), 0);
    unsigned char out[64];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x80_ReadConfBlock(reader_, 1, 7, out, 0), 0);
    EXPECT_EQ(Bytes(out, out + 14), block);
    EXPECT_EQ(out[14], 0);
    EXPECT_EQ(out[15], 0xEE) << "guard";
    for (const int format : {1, 2}) {
        std::memset(out, 0xEE, sizeof out);
        ASSERT_EQ(VKKRN_0x80_ReadConfBlock(reader_, 1, 7, out, format), 0);
        EXPECT_EQ(text(out), "E1E2E3E4E5E6E7E8E9EAEBECEDEE") << format;
        EXPECT_EQ(out[29], 0xEE);
    }
    // Save, overwrite, reset: the saved block comes back.
    ASSERT_EQ(VKKRN_0x82_SaveConfBlock(reader_, 1, 7), 0);
    std::string other = "0102030405060708090A0B0C0D0E";
    ASSERT_EQ(VKKRN_0x81_WriteConfBlock(reader_, 1, 7, vkkrn_test::bytesOf(other), 1), 0);
    ASSERT_EQ(VKKRN_0x80_ReadConfBlock(reader_, 1, 7, out, 1), 0);
    EXPECT_EQ(text(out), other);
    ASSERT_EQ(VKKRN_0x83_ResetConfBlock(reader_, 1, 7), 0);
    ASSERT_EQ(VKKRN_0x80_ReadConfBlock(reader_, 1, 7, out, 1), 0);
    EXPECT_EQ(text(out), "E1E2E3E4E5E6E7E8E9EAEBECEDEE");
}

TEST_P(CommandsTcp, TimerDateNoiseAndConfigurationRoundTrips) {
    unsigned char out[64];
    std::string timer = "0a0B0c0D";
    ASSERT_EQ(VKKRN_0x85_SetSysTimer(reader_, 1, vkkrn_test::bytesOf(timer), 1), 0);
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x86_GetSysTimer(reader_, 1, out, 0), 0);
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{0x0A, 0x0B, 0x0C, 0x0D, 0x00, 0xEE}));

    ASSERT_EQ(VKKRN_0x87_SetSystemDate(reader_, 1, 26, 12, 10, 17, 5, 30, 4, 0xBEEF), 0);
    unsigned char d[7] = {};
    int value = 0;
    ASSERT_EQ(VKKRN_0x88_GetSystemDate(reader_, 1, d, d + 1, d + 2, d + 3, d + 4, d + 5, d + 6, &value), 0);
    EXPECT_EQ(Bytes(d, d + 7), (Bytes{26, 12, 10, 17, 5, 30, 4}));
    EXPECT_EQ(value, 0xBEEF);

    Bytes levels = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(VKKRN_0x6C_SetNoiseLevel(reader_, 1, levels.data(), 0), 0);
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x6D_GetNoiseLevel(reader_, 1, out, 1), 0);
    EXPECT_EQ(text(out), "010203040506");
    EXPECT_EQ(out[13], 0xEE);

    Bytes blocks = vkkrn_test::iota(3 * (4 + 2), 0x40);
    ASSERT_EQ(VKKRN_0x8B_WriteConfiguration(reader_, 1, 1, 2, 3, 3, 4, blocks.data()), 0);
    unsigned char count = 0;
    unsigned char size = 0;
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x8A_ReadConfiguration(reader_, 1, 1, 2, 3, 0, 0, &count, &size, out), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(Bytes(out, out + 18), blocks);
    EXPECT_EQ(out[18], 0xEE) << "no NUL after the blocks";
}

TEST_P(CommandsTcp, DataBufferRecordsInBothHeads) {
    unsigned char head[2] = {0xEE, 0xEE};
    unsigned char count = 0xEE;
    unsigned char out[64];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x21_ReadBuffer(reader_, 1, 4, head, &count, out, 0), 0);
    EXPECT_EQ(head[0], 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(out[0], '0') << "empty: the preset stays";
    EXPECT_EQ(out[1], 0xEE);

    sim().queueBufferRecord({0x11, 0x12});
    sim().queueBufferRecord({0x21, 0x22});
    ASSERT_EQ(VKKRN_0x21_ReadBuffer(reader_, 1, 1, head, &count, out, 1), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(text(out), "1112");

    sim().setBufferHead({0x85, 0x07});
    int records = -1;
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x22_ReadBuffer(reader_, 1, 9, head, &records, out, 0), 0);
    EXPECT_EQ(head[0], 0x85);
    EXPECT_EQ(head[1], 0x07);
    EXPECT_EQ(records, 1);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x21, 0x22, 0x00, 0xEE}));

    ASSERT_EQ(VKKRN_0x22_ReadBuffer(reader_, 1, 9, head, &records, out, 0), 0);
    EXPECT_EQ(records, 0);
    EXPECT_EQ(out[0], '0');
    sim().queueBufferRecord({0x31});
    ASSERT_EQ(VKKRN_0x32_ClearDataBuffer(reader_, 1), 0);
    EXPECT_EQ(sim().bufferRecords(), 0u);
}

TEST_P(CommandsTcp, ChannelAnalysisPerBranch) {
    struct Case {
        int m1;
        int m2;
        int count;
        std::vector<long> values; // the first values written
        int written;              // how many
    };
    const Case cases[] = {
        {0x01, 0, 4, {0x80818283L, 0x84858687L}, 4},
        {0x10, 0, 2, {0x80818283L}, 2},
        {0x10, 1, 3, {0x8081, 0x8283, 0x8485}, 3},
        {0x10, 2, 1, {0x8081}, 1},
        {0x10, 3, 4, {}, 0},
        {0x40, 0, 2, {0x8081, 0x8283}, 2},
        {0x08, 0, 3, {-128, -127, -126}, 3},
        {0x04, 0, 1, {-128}, 1},
        {0x00, 0, 4, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m1 * 16 + c.m2);
        std::vector<long> values(520, 7);
        EXPECT_EQ(VKKRN_0x68_ChannelAnalyze(reader_, 1, c.m1, c.m2, 0, 0, c.count, values.data()), 0);
        for (std::size_t i = 0; i < c.values.size(); ++i)
            EXPECT_EQ(values[i], c.values[i]) << i;
        EXPECT_EQ(values[static_cast<std::size_t>(c.written)], 7) << "nothing past the last value";
    }
    std::vector<long> values(520, 7);
    EXPECT_EQ(VKKRN_0x68_ChannelAnalyze(reader_, 1, 0x01, 0, 0, 0, 5, values.data()), -4070);
    EXPECT_EQ(values[0], 7) << "a reply over 16 bytes writes no value";
    EXPECT_EQ(lastError(), -4070);
    EXPECT_EQ(errorCodes(), std::vector<int>{-4070});
    EXPECT_EQ(VKKRN_0x68_ChannelAnalyze(reader_, 1, 0x40, 0, 0, 0, 259, values.data()), -4070) << "518 bytes";
    EXPECT_EQ(VKKRN_0x68_ChannelAnalyze(reader_, 1, 0x40, 0, 0, 0, 258, values.data()), 0);
    EXPECT_EQ(values[257], 0x8283) << "516 bytes: reply bytes 514 and 515";
}

TEST_P(CommandsTcp, ScriptedRepliesParsedWithinTheirLayouts) {
    unsigned char head[2];
    int count = -1;
    unsigned char out[64];
    struct Case22 {
        Bytes reply;
        Bytes head;
        int count;
        Bytes out; // the first bytes of out
    };
    const Case22 cases[] = {
        {{0x80}, {0x00}, 0, {'0'}},                          // L 1: not parsed
        {{0x80, 0x07}, {0x80, 0x07}, 0, {'0'}},              // long head, no count
        {{0x80, 0x07, 0x00}, {0x80, 0x07}, 0, {'0'}},        // one count byte only
        {{0x00, 0x00, 0x02, 0xAA}, {0x00}, 2, {0xAA, 0x00}}, // one data byte came
        {{0x80, 0x07, 0x00, 0x01}, {0x80, 0x07}, 1, {0x00}}, // count, no data
        {{0x01, 0x00, 0x01, 0xBB}, {0x01}, 1, {0xBB, 0x00}}, // short head
    };
    for (const Case22& c : cases) {
        sim().script(0x22, Reply::frame(0x00, c.reply));
        std::memset(out, 0xEE, sizeof out);
        std::memset(head, 0xEE, sizeof head);
        ASSERT_EQ(VKKRN_0x22_ReadBuffer(reader_, 1, 1, head, &count, out, 0), 0);
        EXPECT_EQ(Bytes(head, head + c.head.size()), c.head);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(Bytes(out, out + c.out.size()), c.out);
    }

    // A short fixed reply after a key write: zeros, never the key.
    Bytes key = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    ASSERT_EQ(VKKRN_0xA2_WriteMifareKeys(reader_, 1, 1, 2, key.data(), 0), 0);
    sim().script(0x80, Reply::frame(0x00, {0x31, 0x32}));
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x80_ReadConfBlock(reader_, 1, 0, out, 0), 0);
    EXPECT_EQ(Bytes(out, out + 16), (Bytes{0x31, 0x32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xEE}));
    sim().script(0x88, Reply::frame(0x00, {0x01, 0x02}));
    unsigned char d[7];
    int value = -1;
    std::memset(d, 0xEE, sizeof d);
    ASSERT_EQ(VKKRN_0x88_GetSystemDate(reader_, 1, d, d + 1, d + 2, d + 3, d + 4, d + 5, d + 6, &value), 0);
    EXPECT_EQ(Bytes(d, d + 7), (Bytes{1, 2, 0, 0, 0, 0, 0}));
    EXPECT_EQ(value, 0);

    // No NUL after 0x76 and 0x8A; 0x8A blocks that do not fit leave out alone.
    sim().setReadOut(0x76, {0x01, 0x02, 0x03});
    int n = -1;
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x76_CheckAntennas(reader_, 1, 0, out, &n), 0);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{1, 2, 3, 0xEE}));
    sim().script(0x8A, Reply::frame(0x00, {0x02, 0x01, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5}));
    unsigned char blockCount = 0;
    unsigned char blockSize = 0;
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(VKKRN_0x8A_ReadConfiguration(reader_, 1, 0, 0, 0, 0, 0, &blockCount, &blockSize, out), 0);
    EXPECT_EQ(blockCount, 2);
    EXPECT_EQ(blockSize, 1);
    EXPECT_EQ(out[0], 0xEE) << "6 bytes wanted, 5 came";

    // A status above 0 with data: returned, data parsed.
    sim().script(0x65, Reply::frame(0x01, {0x12, 0x34}));
    ASSERT_EQ(VKKRN_0x65_SoftVersion(reader_, 1, out, 1), 1);
    EXPECT_EQ(text(out), "1234");
    EXPECT_EQ(lastError(), 0) << "a status is no error";

    // 0x6E writes the whole reply with a NUL; no data clears buffer[0].
    sim().setReadOut(0x6E, {0x61, 0x62});
    ASSERT_EQ(VKKRN_0x6E_RdDiag(reader_, 1, 1, out), 0);
    EXPECT_EQ(text(out), "ab");
    sim().setReadOut(0x6E, {});
    ASSERT_EQ(VKKRN_0x6E_RdDiag(reader_, 1, 1, out), 0);
    EXPECT_EQ(out[0], 0);
}

TEST_P(CommandsTcp, PiggybackEchoesAndKeepsOutWithoutData) {
    unsigned char out[16];
    int n = -1;
    std::memset(out, 0xEE, sizeof out);
    Bytes data = {0x01};
    ASSERT_EQ(VKKRN_0x9F_Piggyback_Command(reader_, 1, 0xB0, 0x01, 0x00, data.data(), 0, out, &n), 0);
    EXPECT_EQ(lastRequest().data, (Bytes{0xB0, 0x01, 0x00})) << "count 0: b1 to b3 alone";
    EXPECT_EQ(n, 0);
    EXPECT_EQ(out[0], 0xEE) << "no data: out untouched";
    sim().script(0x9F, Reply::frame(0x84, {0x0A, 0x0B}));
    ASSERT_EQ(VKKRN_0x9F_Piggyback_Command(reader_, 1, 1, 2, 3, data.data(), 1, out, &n), 0x84);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x0A, 0x0B, 0x00, 0xEE}));
    std::memset(out, 0xEE, sizeof out);
    n = 5;
    ASSERT_EQ(VKKRN_0x9F_Piggyback_Command(reader_, 1, 1, 2, 3, data.data(), 0, out, &n), 0);
    EXPECT_EQ(n, 0) << "cleared before the exchange";
}

TEST_P(CommandsTcp, BadArgumentsAreRefusedBeforeAnythingIsSent) {
    Bytes id(19, 0);
    Bytes data(8, 0);
    std::string oddHex = "ABC";
    std::string badHex = "ABCG";
    std::string shortHex = "A1B2";
    shortHex.push_back('\0');
    shortHex += "C3D4E5F6A1B2";
    std::vector<unsigned char> big(65536, 0);
    unsigned char out[64];
    int n = 0;
    struct Case {
        const char* name;
        std::function<int()> call;
        int expected;
    };
    const Case cases[] = {
        {"0x18 mode 2", [&] { return VKKRN_0x18_Destroy(reader_, 1, 2, id.data(), id.data()); }, -4051},
        {"0x71 -1", [&] { return VKKRN_0x71_SetOutput(reader_, 1, 0, -1, 0, 0); }, -4051},
        {"0x71 65,536", [&] { return VKKRN_0x71_SetOutput(reader_, 1, 0, 0, 0, 65536); }, -4051},
        {"0x72 null records", [&] { return VKKRN_0x72_SetOutput(reader_, 1, 0, 1, nullptr); }, -4051},
        {"0x1E count -1",
         [&] { return VKKRN_0x1E_TableDataExchange(reader_, 1, 0, 0, 0, 0, 0, data.data(), -1, out, &n); },
         -4051},
        {"0x1E 65,524 bytes",
         [&] { return VKKRN_0x1E_TableDataExchange(reader_, 1, 0, 0, 0, 0, 0, big.data(), 65524, out, &n); },
         -4051},
        {"0x1F odd hex",
         [&] {
             return VKKRN_0x1F_MAXDataExchange(reader_, 1, 0, 0, 0, vkkrn_test::bytesOf(oddHex), 3, out, &n,
                                               1);
         },
         -4052},
        {"0x1F not hex",
         [&] {
             return VKKRN_0x1F_MAXDataExchange(reader_, 1, 0, 0, 0, vkkrn_test::bytesOf(badHex), 4, out, &n,
                                               1);
         },
         -4052},
        {"0x1F hex over 65,528 bytes",
         [&] { return VKKRN_0x1F_MAXDataExchange(reader_, 1, 0, 0, 0, big.data(), 2 * 65526, out, &n, 1); },
         -4051},
        {"0x8B 255 blocks of 255",
         [&] { return VKKRN_0x8B_WriteConfiguration(reader_, 1, 0, 0, 0, 255, 255, big.data()); }, -4051},
        {"0x9F 65,526 bytes",
         [&] { return VKKRN_0x9F_Piggyback_Command(reader_, 1, 0, 0, 0, big.data(), 65526, out, &n); },
         -4051},
        {"0x9F the largest count",
         [&] { return VKKRN_0x9F_Piggyback_Command(reader_, 1, 0, 0, 0, big.data(), 0x7FFFFFFF, out, &n); },
         -4051},
        {"0x1E the largest count",
         [&] {
             return VKKRN_0x1E_TableDataExchange(reader_, 1, 0, 0, 0, 0, 0, big.data(), 0x7FFFFFFF, out, &n);
         },
         -4051},
        {"0xA2 NUL inside the hex key",
         [&] { return VKKRN_0xA2_WriteMifareKeys(reader_, 1, 0, 0, vkkrn_test::bytesOf(shortHex), 1); },
         -4052},
        {"0x6C not hex", [&] { return VKKRN_0x6C_SetNoiseLevel(reader_, 1, vkkrn_test::bytesOf(badHex), 1); },
         -4052},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim().log().clear();
        codes_.clear();
        EXPECT_EQ(c.call(), c.expected);
        EXPECT_EQ(sim().log().size(), 0u) << "nothing sent";
        EXPECT_EQ(lastError(), c.expected);
        EXPECT_EQ(errorCodes(), std::vector<int>{c.expected}) << "the error line";
    }
    // The largest requests that fit go out.
    EXPECT_EQ(VKKRN_0x71_SetOutput(reader_, 1, 65535, 0, 0, 0), 0);
    EXPECT_EQ(VKKRN_0x1E_TableDataExchange(reader_, 1, 0, 0, 0, 0, 0, big.data(), 65523, nullptr, nullptr), 0)
        << "null out and out length are skipped";
    EXPECT_EQ(VKKRN_0x72_SetOutput(-1, 1, 0, 0, nullptr), -4022) << "the handle first";
}

TEST_P(CommandsTcp, KeysReachTheReaderButNeverTheCaptureOrTheLog) {
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGFILE", "1"), 0);
    Bytes key = vkkrn_test::iota(16, 0xB1);
    struct Case {
        const char* name;
        std::function<int()> call;
        Bytes data;
        std::size_t shown; // data bytes shown before the key
    };
    const Case cases[] = {
        {"0xA2", [&] { return VKKRN_0xA2_WriteMifareKeys(reader_, 1, 1, 2, key.data(), 0); },
         vkkrn_test::concat({{1, 2}, Bytes(key.begin(), key.begin() + 6)}), 0},
        {"0xA3", [&] { return VKKRN_0xA3_Write_DES_AES_Keys(reader_, 1, 1, 2, 3, 16, key.data(), 0); },
         vkkrn_test::concat({{1, 2, 3, 16}, key}), 1},
        {"0xAD", [&] { return VKKRN_0xAD_WriteReaderAuthentKey(reader_, 1, 1, 2, 16, key.data(), 0); },
         vkkrn_test::concat({{1, 2, 16}, key}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.call(), 0);
        EXPECT_EQ(lastRequest().data, c.data) << "the reader gets the key";
        unsigned char frame[128];
        const int n = VKKRN_GetLastSendProt(reader_, frame, 0);
        ASSERT_EQ(n, static_cast<int>(c.data.size()) + 5);
        for (std::size_t i = c.shown; i < c.data.size(); ++i)
            EXPECT_EQ(frame[3 + i], 0xFF) << i;
    }
    const std::string log = readFile("vkkrn_log.txt");
    EXPECT_NE(log.find("A3"), std::string::npos);
    EXPECT_EQ(log.find("B1 B2"), std::string::npos) << log;
    Bytes login = {0x4C, 0x4F, 0x47, 0x49};
    ASSERT_EQ(VKKRN_0xA0_RdLogin(reader_, 1, login.data(), 0), 0);
    EXPECT_NE(readFile("vkkrn_log.txt").find("4C 4F 47 49"), std::string::npos) << "the login is shown";
}

INSTANTIATE_TEST_SUITE_P(Link, CommandsTcp, ::testing::Values(LinkKind::Tcp),
                         [](const auto& info) { return std::string(linkName(info.param)); });

} // namespace
