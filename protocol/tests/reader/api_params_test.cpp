// Reader and library parameters through the exports.
#include "portless_reader.h"
#include <vkcommon/port_handle.h>
#include <vkkrn.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

class Parameters : public vkkrn_test::PortlessReaderTest {
  protected:
    // Sets the reader's last error to `code` by a failing call.
    void presetLastError() {
        unsigned char frame[4] = {0x05, 0, 0, 0};
        unsigned char adr, cmd, data[4];
        int n;
        ASSERT_EQ(VKKRN_SplitRecProtocol(reader_, frame, 4, &adr, &cmd, data, &n, 0), -4030);
    }

    std::string get(const std::string& key, int* result = nullptr) {
        std::vector<char> value(512, '\0');
        const int rc = VKKRN_GetReaderPara(reader_, key.c_str(), value.data());
        if (result != nullptr) *result = rc;
        return value.data();
    }
};

struct SetCase {
    const char* key;
    std::string value;
    int result;
    const char* readKey; // null: not read back
    const char* readBack;
    int lastErrorAfterSet; // 1: untouched (-4030 from the preset)
};

constexpr int kUntouched = 1;

TEST_F(Parameters, SetAndReadBack) {
    const SetCase cases[] = {
        {"LOGPROT", "1", 0, "LOGPROT", "1", kUntouched},
        {"logprot", "0", 0, "LogProt", "0", kUntouched},
        {"LOGFILE", "01", 0, "LOGFILE", "1", kUntouched},
        {"LOGFILE", "2", 0, "LOGFILE", "0", kUntouched},
        {"SENDPROTTOAPP", "1abc", 0, "SENDPROTTOAPP", "1", kUntouched},
        {"CHKRECBUSADR", "yes", 0, "CHKRECBUSADR", "0", kUntouched},
        {"CONVHEXTOSTRING", " 1", 0, "CONVHEXTOSTRING", "1", kUntouched},
        {"BUSYTO", "60", 0, "BUSYTO", "60", 0},
        {"BUSYTO", "61", -4051, "BUSYTO", "60", -4051},
        {"BUSYTO", "-1", -4051, "BUSYTO", "60", -4051},
        {"BUSYTO", "0", 0, "BUSYTO", "0", 0},
        {"REPCNT", "0", -4051, "REPCNT", "1", -4051},
        {"REPCNT", "99", 0, "REPCNT", "99", 0},
        {"REPCNT", "100", -4051, "REPCNT", "99", -4051},
        {"REPCNT", "99999999999999999999", -4051, "REPCNT", "99", -4051},
        {"LOGLEVEL", "-1", -4051, nullptr, nullptr, -4051},
        {"LOGLEVEL", "6", 0, nullptr, nullptr, 0},
        {"LOGFILENAME", std::string(257, 'b'), -4051, "LOGFILENAME", "vkkrn_log.txt", -4051},
        {"LOGFILENAME", std::string(256, 'a'), 0, "LOGFILENAME", nullptr, kUntouched},
        {"FRAMESUPPORT", "advanced", 0, "FrameSupport", "ADVANCED", kUntouched},
        {"FRAMESUPPORT", "Standard", 0, "FRAMESUPPORT", "STANDARD", kUntouched},
        {"FRAMESUPPORT", "EXTENDED", -4050, "FRAMESUPPORT", "STANDARD", -4050},
        {"FRAMESUPPORT", std::string(257, 'A'), -4051, "FRAMESUPPORT", "STANDARD", -4051},
        {"PORTHND", "0", 0, "PORTHND", "0", 0},
        {"PORTHND", "-5", -4051, "PORTHND", "0", -4051},
        {"PORTHND", std::to_string(vk::kPlugInPortHandle), -4051, "PORTHND", "0", -4051},
        {"PORTHND", std::to_string(0x30000001), -4051, "PORTHND", "0", -4051},
        {"PORTHND", std::to_string(0x20000000), -4051, "PORTHND", "0", -4051},
        {"PORTHND", std::to_string(0x20000001), 0, "PORTHND", "536870913", 0},
        {"SENDSTR", "x", -4050, nullptr, nullptr, -4050},
        {"ERRCODE", "1", -4050, nullptr, nullptr, -4050},
        {"USBGENERATION", "1", -4050, "USBGENERATION", "0", -4050},
        {"ISPROTTOAPPLOCKED", "1", -4050, nullptr, nullptr, -4050},
        {"NOSUCHKEY", "1", -4050, nullptr, nullptr, -4050},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.key << "=" << c.value.substr(0, 20));
        presetLastError();
        EXPECT_EQ(VKKRN_SetReaderPara(reader_, c.key, c.value.c_str()), c.result);
        EXPECT_EQ(lastError(), c.lastErrorAfterSet == kUntouched ? -4030 : c.lastErrorAfterSet);
        if (c.readKey == nullptr) continue;
        int rc = 0;
        const std::string value = get(c.readKey, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(value, c.readBack != nullptr ? std::string(c.readBack) : c.value);
    }
}

TEST_F(Parameters, KeyLengthLimits) {
    const std::string key127(127, 'K');
    const std::string key128(128, 'K');
    char value[16] = "1";
    EXPECT_EQ(VKKRN_SetReaderPara(reader_, key127.c_str(), "1"), -4050) << "reaches the reader";
    EXPECT_EQ(VKKRN_GetReaderPara(reader_, key127.c_str(), value), -4050);
    EXPECT_EQ(VKKRN_SetReaderPara(reader_, key128.c_str(), "1"), -4051);
    EXPECT_EQ(VKKRN_GetReaderPara(reader_, key128.c_str(), value), -4051);
    EXPECT_EQ(VKKRN_SetReaderPara(-1, key128.c_str(), "1"), -4022) << "the handle first";
}

TEST_F(Parameters, ReadOnlyKeys) {
    int rc = 0;
    EXPECT_EQ(get("LOGLEVEL", &rc), "");
    EXPECT_EQ(rc, -4050);
    presetLastError();
    EXPECT_EQ(get("ERRCODE", &rc), "-4030");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(get("ERRCODE", &rc), "0") << "reading it stored its result";
    presetLastError();
    EXPECT_EQ(get("ERRSTR", &rc), "VKKRN: (-4030) protocol length error");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(get("USBGENERATION", &rc), "0");
    EXPECT_EQ(get("RECBUSADR", &rc), "0");
    EXPECT_EQ(get("PORTHND", &rc), "0");
    EXPECT_EQ(get("LOGFILENAME", &rc), "vkkrn_log.txt");
    EXPECT_EQ(get("BUSYTO", &rc), "5");
    EXPECT_EQ(get("REPCNT", &rc), "1");
    EXPECT_EQ(get("FRAMESUPPORT", &rc), "STANDARD");
    presetLastError();
    EXPECT_EQ(get("FRAMESUPPORT", &rc), "STANDARD");
    EXPECT_EQ(lastError(), -4030) << "a defined frame mode leaves the last error";
    EXPECT_EQ(get("SENDSTR", &rc), "");
    EXPECT_EQ(rc, -4010);
}

TEST_F(Parameters, PlugInReadersTakeAnyPortHandle) {
    const int plugInReader = VKKRN_NewReader(vk::kPlugInPortHandle);
    ASSERT_GT(plugInReader, 0);
    char value[32];
    ASSERT_EQ(VKKRN_GetReaderPara(plugInReader, "PORTHND", value), 0);
    EXPECT_EQ(std::string(value), std::to_string(vk::kPlugInPortHandle));
    EXPECT_EQ(VKKRN_SetReaderPara(plugInReader, "PORTHND", "-3"), 0);
    ASSERT_EQ(VKKRN_GetReaderPara(plugInReader, "PORTHND", value), 0);
    EXPECT_STREQ(value, "0") << "a handle below 1 reads 0";
    EXPECT_EQ(VKKRN_SetReaderPara(plugInReader, "PORTHND", "77"), 0);
    ASSERT_EQ(VKKRN_GetReaderPara(plugInReader, "PORTHND", value), 0);
    EXPECT_STREQ(value, "77");
}

TEST(LibraryParameters, LanguageSwitchesEveryText) {
    char text[256];
    char value[16];
    ASSERT_EQ(VKKRN_GetReaderPara(0, "LANGUAGE", value), 0);
    EXPECT_STREQ(value, "9");
    EXPECT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", "8"), -4051);
    EXPECT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", "abc"), -4051);
    ASSERT_EQ(VKKRN_SetReaderPara(0, "language", "7"), 0);
    ASSERT_EQ(VKKRN_GetReaderPara(0, "LANGUAGE", value), 0);
    EXPECT_STREQ(value, "7");
    ASSERT_EQ(VKKRN_GetErrorText(-4031, text), 0);
    EXPECT_STREQ(text, "VKKRN: (-4031) Checksummen-Fehler");
    ASSERT_EQ(VKKRN_GetStatusText(0x93, text), 0);
    EXPECT_STREQ(text, "Leser: \xDC"
                       "berlauf in Tabelle");
    ASSERT_EQ(VKKRN_SetReaderPara(7, "LANGUAGE", "9"), 0) << "any handle of 0 or more";
    ASSERT_EQ(VKKRN_GetStatusText(0x93, text), 0);
    EXPECT_STREQ(text, "Reader: Data Table Overflow");
}

TEST(LibraryParameters, ChecksBeforeTheReader) {
    char value[16];
    EXPECT_EQ(VKKRN_SetReaderPara(-1, "LANGUAGE", "7"), -4022);
    EXPECT_EQ(VKKRN_SetReaderPara(0, nullptr, "7"), -4002);
    EXPECT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", nullptr), -4002);
    EXPECT_EQ(VKKRN_GetReaderPara(0, "LANGUAGE", nullptr), -4002);
    EXPECT_EQ(VKKRN_SetReaderPara(0, "LOGPROT", "1"), -4021);
    EXPECT_EQ(VKKRN_GetReaderPara(0, "LOGPROT", value), -4021);
    EXPECT_EQ(VKKRN_SetReaderPara(3, "LOGPROT", "1"), -4001);
    EXPECT_EQ(VKKRN_SetReaderPara(0, "LOCKPROTTOAPP", "1"), 0) << "no reader is no failure";
    EXPECT_EQ(VKKRN_GetReaderPara(0, "ISPROTTOAPPLOCKED", value), 1);
    EXPECT_EQ(VKKRN_GetReaderPara(0, "LOCKPROTTOAPP", value), -4021) << "goes to the reader";
    const int reader = VKKRN_NewReader(0);
    EXPECT_EQ(VKKRN_SetReaderPara(reader + 1, "LOGPROT", "1"), -4023);
    EXPECT_EQ(VKKRN_GetReaderPara(reader, "LOCKPROTTOAPP", value), -4050);
}

} // namespace
