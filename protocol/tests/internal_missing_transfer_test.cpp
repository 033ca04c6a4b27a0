// A serial port library without its transfer functions: the pass-through
// plug-in reports -4002 for each slot that cannot be bound.
#include "internal_fixture.h"

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
