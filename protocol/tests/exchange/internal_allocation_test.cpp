// The engine allocates nothing per exchange while logging is off: every
// operator new of this program's threads is counted.
#include "command_table.h"
#include "internal_fixture.h"

#include <vkkrn_plugin.h>
#include <vktesting/allocation_counter.h>

#include <cstring>

namespace {

// Answers every request with one canned reply frame under the request's
// command, allocating nothing.
class CannedPlugIn : public VKKRN_PlugIn {
  public:
    int transceive_protocol(char* frame, int, char* replyOut, int) override {
        // [LEN][ADR][CMD][STATUS][data 01 02 03][CRC] from bus address 1, for the
        // request's command.
        static const unsigned char reply[] = {0x09, 0x01, 0x65, 0x00, 0x01, 0x02, 0x03, 0x00, 0x00};
        std::memcpy(replyOut, reply, sizeof reply);
        replyOut[2] = frame[0] == 0x02 ? frame[4] : frame[2];
        // The CRC bytes as the library's own CRC routine computes them.
        unsigned short crc = 0xFFFF;
        for (int i = 0; i < 7; ++i) {
            crc ^= static_cast<unsigned char>(replyOut[i]);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? static_cast<unsigned short>((crc >> 1) ^ 0x8408)
                                : static_cast<unsigned short>(crc >> 1);
        }
        replyOut[7] = static_cast<char>(crc & 0xFF);
        replyOut[8] = static_cast<char>(crc >> 8);
        return sizeof reply;
    }
};

TEST_F(InternalTest, ExchangesAllocateNothingWhileLoggingIsOff) {
    int handle = 0;
    auto reader = newReader(VKKRN_PLUGIN, &handle);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->PlugIn_Install(new CannedPlugIn), 0);
    unsigned char frame[] = {0x05, 0x01, 0x65, 0xFD, 0x2D};
    unsigned char rx[64];
    // The first exchange may bind what it needs once.
    ASSERT_EQ(reader->Exe_SendTransparent(frame, 5, rx, sizeof rx, 0, 0), 9);
    const std::uint64_t probe = vktesting::threadAllocationCount();
    int* volatile counted = new int(7);
    delete counted;
    ASSERT_EQ(vktesting::threadAllocationCount() - probe, 1u) << "the counter counts";
    const std::uint64_t before = vktesting::threadAllocationCount();
    for (int i = 0; i < 100; ++i) {
        {
            auto lock = reader->Lock();
            int len = 0;
            bool parsing = true;
            ASSERT_EQ(reader->Exe_Transceive(1, 0x65, 0, nullptr, &len, &parsing), 0);
            ASSERT_EQ(len, 3);
        }
        ASSERT_EQ(reader->Exe_SendTransparent(frame, 5, rx, sizeof rx, 0, 0), 9);
    }
    EXPECT_EQ(vktesting::threadAllocationCount() - before, 0u);
}

TEST_F(InternalTest, CommandsAllocateNothingWhileLoggingIsOff) {
    int handle = 0;
    auto reader = newReader(VKKRN_PLUGIN, &handle);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->PlugIn_Install(new CannedPlugIn), 0);
    const std::vector<vkkrn_test::ExportRow> exportRows = vkkrn_test::exportRows();
    const std::vector<vkkrn_test::RequestRow> requestRows = vkkrn_test::requestRows();
    // A first round may bind what it needs once.
    for (const vkkrn_test::ExportRow& row : exportRows)
        ASSERT_GE(row.call(handle, false), 0) << row.name;
    const std::uint64_t before = vktesting::threadAllocationCount();
    for (const vkkrn_test::ExportRow& row : exportRows)
        ASSERT_GE(row.call(handle, false), 0) << row.name;
    for (const vkkrn_test::RequestRow& row : requestRows)
        ASSERT_GE(row.call(handle), 0) << row.name;
    EXPECT_EQ(vktesting::threadAllocationCount() - before, 0u);
}

TEST_F(InternalTest, TransponderCommandsAllocateNothingWhileLoggingIsOff) {
    auto reader = newReader(VKKRN_PLUGIN);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->PlugIn_Install(new CannedPlugIn), 0);
    unsigned char request[] = "0100";
    unsigned char field[] = "00A0FF";
    unsigned char reply[16];
    int len = 0;
    unsigned int ulen = 0;
    auto round = [&] {
        int ok = 0;
        ok += reader->Exe_0xB0_ISOCmd(1, request, 4, reply, &len, 1) == 0 && len == 6;
        ok += reader->Exe_0xB1_ISOCustAndPropCmd(1, 0x21, request, 2, reply, &len, 0) == 0 && len == 3;
        ok += reader->Exe_0xFE_Transceive(1, request, 2, reply, &len) == 0 && len == 3;
        ok += reader->Exe_0xBB_C1G2_TranspCmd(1, 1, 2, 3, 4, 5, request, 2, reply, &ulen) == 0 && ulen == 3;
        ok += reader->Exe_0xBF_ISOTranspCmd(1, 1, 88, request, 0, reply, &len, 2) == 0 && len == 6;
        ok += reader->Exe_0xC0_SAMCmd_Sync(1, 0, 30, request, 2, reply, &len) == 0 && len == 3;
        ok += reader->Exe_0xC1_DESFireCmd(1, 1, 2, field, 4, request, 4, reply, &len, 1) == 0 && len == 6;
        ok += reader->Exe_0xC3_DESFireCmd(1, 1, 2, request, 2, reply, &len, 0) == 0 && len == 3;
        return ok;
    };
    ASSERT_EQ(round(), 8);
    const std::uint64_t before = vktesting::threadAllocationCount();
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(round(), 8);
    EXPECT_EQ(vktesting::threadAllocationCount() - before, 0u);
}

} // namespace
