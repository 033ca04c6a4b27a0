// Serial readers on the real libvkcom, on a pseudo-terminal.
#include "serial_line.h"

#include <vkkrn.h>
#include <vkkrn_plugin.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

class SerialReader : public vktesting::TempDirTest {
  protected:
    void TearDown() override {
        for (int h = VKKRN_GetReaderList(0); h > 0; h = VKKRN_GetReaderList(0))
            VKKRN_DeleteReader(h);
        vktesting::TempDirTest::TearDown();
    }
};

TEST_F(SerialReader, ThePortIsSwitchedToLengthFieldFraming) {
    SerialLine line;
    ASSERT_GT(line.handle, 0);
    ASSERT_EQ(line.set(line.handle, "UseNUBO", "0"), 0);
    ASSERT_EQ(line.get(line.handle, "UseNUBO"), "0");
    const int reader = VKKRN_NewReader(line.handle);
    ASSERT_GT(reader, 0);
    EXPECT_EQ(line.get(line.handle, "UseNUBO"), "1");
}

TEST_F(SerialReader, TimeoutRoundTripsThroughThePlugIn) {
    SerialLine line;
    const int reader = VKKRN_NewReader(line.handle);
    char key[] = "Timeout";
    char value[128] = "321";
    EXPECT_EQ(VKKRN_PI_SetPortPara(reader, key, value), 0);
    EXPECT_EQ(line.get(line.handle, "Timeout"), "321");
    ASSERT_EQ(line.set(line.handle, "Timeout", "654"), 0);
    std::memset(value, 0, sizeof value);
    EXPECT_EQ(VKKRN_PI_GetPortPara(reader, key, value), 0);
    EXPECT_STREQ(value, "654");
    // The library's own codes pass through.
    char unknown[] = "NOSUCHKEY";
    const int result = VKKRN_PI_GetPortPara(reader, unknown, value);
    EXPECT_LE(result, -1000);
    EXPECT_GE(result, -1099);
}

TEST_F(SerialReader, SlotsTheBuiltInPlugInDoesNotOffer) {
    SerialLine line;
    const int reader = VKKRN_NewReader(line.handle);
    char text[256] = {};
    EXPECT_EQ(VKKRN_PI_OpenPort(reader, text), -4005);
    EXPECT_EQ(VKKRN_PI_ClosePort(reader), -4005);
    EXPECT_EQ(VKKRN_PI_GetErrorText(reader, -1030, text), -4005);
    EXPECT_EQ(VKKRN_PI_GetDLLVersion(reader, text), 0);
    VKKRN_PlugIn plugIn;
    EXPECT_EQ(VKKRN_PI_Install(reader, &plugIn), -4054);
    EXPECT_EQ(VKKRN_PI_Remove(reader), -4054);
}

TEST_F(SerialReader, SerialCodesGetTheSerialLibrarysText) {
    SerialLine line;
    for (int code : {-1001, -1030, -1099}) {
        char expected[256] = {};
        line.errorText(code, expected);
        char text[256];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(VKKRN_GetErrorText(code, text), 0) << code;
        EXPECT_STREQ(text, expected) << code;
        EXPECT_GT(std::strlen(text), 0u) << code;
    }
}

} // namespace
