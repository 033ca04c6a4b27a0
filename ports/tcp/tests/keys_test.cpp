// Socket parameters and the library-wide "LANGUAGE": defaults, accepted ranges,
// refusals that keep the old value, read-only and unknown keys.
#include "peer_fixture.h"

#include <string>

namespace {

class Keys : public vktcp_test::PeerTest {};

TEST_F(Keys, FreshSocketDefaults) {
    open({}, "127.0.0.1", true);
    const std::pair<const char*, const char*> defaults[] = {
        {"TIMEOUT", "3000"},    {"CHARTIMEOUT", "250"}, {"TXDELAYTIME", "5"},
        {"TXTIMECONTROL", "0"}, {"USENUBO", "1"},       {"LASTSOCKETERROR", "0"},
    };
    for (const auto& [key, value] : defaults)
        EXPECT_EQ(api.para(handle, key), value) << key;
    EXPECT_EQ(lastError(), 0);
}

TEST_F(Keys, RangesAndRefusals) {
    open({}, "127.0.0.1", true);
    struct Case {
        const char* key;
        const char* value;
        int result;
        const char* reads; // after the call
    };
    const Case cases[] = {
        {"TIMEOUT", "0", 0, "0"},
        {"TIMEOUT", "99999", 0, "99999"},
        {"TIMEOUT", "100000", -1251, "99999"},
        {"TIMEOUT", "-1", -1251, "99999"},
        {"TIMEOUT", "99999999999999999999999", -1251, "99999"},
        {"TIMEOUT", "4294967297", -1251, "99999"},
        {"TIMEOUT", "abc", 0, "0"},
        {"TIMEOUT", " 1500ms", 0, "1500"},
        {"CHARTIMEOUT", "1", 0, "1"},
        {"CHARTIMEOUT", "999", 0, "999"},
        {"CHARTIMEOUT", "1000", -1251, "999"},
        {"CHARTIMEOUT", "0", -1251, "999"},
        {"CHARTIMEOUT", "", -1251, "999"},
        {"TXDELAYTIME", "0", 0, "0"},
        {"TXDELAYTIME", "999", 0, "999"},
        {"TXDELAYTIME", "1000", -1251, "999"},
        {"TXDELAYTIME", "-1", -1251, "999"},
        {"TXTIMECONTROL", "1", 0, "1"},
        {"TXTIMECONTROL", "2", -1251, "1"},
        {"TXTIMECONTROL", "0", 0, "0"},
        {"TXTIMECONTROL", "-1", -1251, "0"},
        {"USENUBO", "0", 0, "0"},
        {"USENUBO", "2", -1251, "0"},
        {"USENUBO", "1", 0, "1"},
        {"USENUBO", "18446744073709551617", -1251, "1"},
        {"Timeout", "250", 0, "250"},
        {"UseNUBO", "0", 0, "0"},
        {"charTimeOut", "20", 0, "20"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(api.SetSocketPara(handle, c.key, c.value), c.result) << c.key << "=" << c.value;
        EXPECT_EQ(lastError(), c.result) << "stored on the socket: " << c.key << "=" << c.value;
        EXPECT_EQ(api.para(handle, c.key), c.reads) << c.key << "=" << c.value;
    }
    EXPECT_EQ(api.SetSocketPara(handle, "TIMEOUT", std::string(127, '1').c_str()), -1251) << "out of range";
    EXPECT_EQ(api.SetSocketPara(handle, "TIMEOUT", std::string(128, '0').c_str()), -1251) << "too long";
    EXPECT_EQ(api.SetSocketPara(handle, "TIMEOUT", (std::string(126, '0') + "7").c_str()), 0);
    EXPECT_EQ(api.para(handle, "TIMEOUT"), "7");
}

TEST_F(Keys, ReadOnlyAndUnknownKeys) {
    open();
    char value[128];
    for (const char* key : {"PORTNR", "HOSTADR", "HOSTNAME", "LASTSOCKETERROR", "portnr"}) {
        EXPECT_EQ(api.SetSocketPara(handle, key, "1"), -1250) << key;
        EXPECT_EQ(lastError(), -1250);
        EXPECT_EQ(api.GetSocketPara(handle, key, value), 0) << key;
        EXPECT_EQ(lastError(), 0) << "a successful get stores 0";
    }
    for (const char* key : {"NOSUCHKEY", "", "TIMEOUTX", "TIME OUT"}) {
        EXPECT_EQ(api.SetSocketPara(handle, key, "1"), -1250) << key;
        EXPECT_EQ(api.GetSocketPara(handle, key, value), -1250) << key;
    }
    EXPECT_EQ(api.para(handle, "PORTNR"), std::to_string(peer->port()));
}

TEST_F(Keys, LanguageIsLibraryWide) {
    char value[128] = {};
    for (int handle : {0, 1, 0x20000077, 0x7FFFFFFF}) {
        EXPECT_EQ(api.GetSocketPara(handle, "language", value), 0) << handle;
        EXPECT_STREQ(value, "9");
    }
    EXPECT_EQ(api.GetSocketPara(-1, "LANGUAGE", value), -1222);
    EXPECT_EQ(api.SetSocketPara(0x20000077, "Language", "7"), 0);
    EXPECT_EQ(api.text(-1201), "VKTCP: (-1201) Leere Socketliste");
    const std::string tooLong(128, '9');
    for (const char* refused : {"8", "0", "", "79", "-9", "4294967303", tooLong.c_str()}) {
        EXPECT_EQ(api.SetSocketPara(0, "LANGUAGE", refused), -1251) << refused;
        EXPECT_EQ(api.GetSocketPara(0, "LANGUAGE", value), 0);
        EXPECT_STREQ(value, "7") << "kept after " << refused;
    }
    EXPECT_EQ(api.SetSocketPara(0, "LANGUAGE", "9"), 0);
    EXPECT_EQ(api.text(-1201), "VKTCP: (-1201) empty socket list");
}

} // namespace
