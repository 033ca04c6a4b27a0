// A serial port library without its transfer functions: the pass-through
// plug-in reports -4002 for each slot that cannot be bound.
#include "internal_fixture.h"

#include <vktesting/wait_until.h>

#include <string>

namespace {

TEST_F(InternalTest, TransferSlotsWithoutTheirPortFunctionGiveNullPointer) {
    int handle = 0;
    auto reader = newReader(1, &handle);
    ASSERT_NE(reader, nullptr);
    unsigned char frame[] = {0x05, 0x01, 0x65, 0xFD, 0x2D};
    unsigned char rx[64];
    EXPECT_EQ(reader->Exe_SendTransparent(frame, 5, rx, sizeof rx, 0, 0), -4002);
    EXPECT_EQ(reader->GetLastError(), -4002);
    EXPECT_EQ(reader->Exe_Transmit(frame, 5, 0, 0), -4002);
    EXPECT_EQ(reader->Exe_Receive(rx, sizeof rx, 0), -4002);
    {
        auto lock = reader->Lock();
        int len = 0;
        bool parsing = true;
        EXPECT_EQ(reader->Exe_Transceive(1, 0x65, 0, nullptr, &len, &parsing), -4002);
        EXPECT_EQ(len, 0);
    }
    char key[] = "Timeout";
    char value[32] = {};
    EXPECT_EQ(VKKRN_PI_GetPortPara(handle, key, value), -4002);
}

} // namespace

namespace {

TEST_F(InternalTest, TheScanThreadEndsWhenAPortFunctionIsMissing) {
    writeFile("vkkrn.ini", "logfile;loglevel=14");
    auto reader = newReader(1);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->StartThreadScanMode(), 0);
    EXPECT_TRUE(vktesting::waitUntil([&] {
        return readFile("vkkrn_log.txt").find("VKKRN_ThreadScanMode: lpfnDoPortCmd == NULL (error -4002)") !=
               std::string::npos;
    }));
    EXPECT_EQ(libraryLastError(), -4002);
    EXPECT_EQ(reader->StartThreadScanMode(), -4080) << "its handle stays until the removal";
    reader->RemoveThreadScanMode();
    EXPECT_EQ(readFile("vkkrn_log.txt").find("Leave VKKRN_ThreadScanMode"), std::string::npos);
}

} // namespace
