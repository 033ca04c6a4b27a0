// The exported interface: binding by name, argument checks in their order, the
// port registry and the library-wide keys.
#include "library_fixture.h"

#include <vkcommon/port_function_id.h>

#include <dlfcn.h>

#include <functional>
#include <string>

namespace vkcom_test {
namespace {

using Interface = LibraryTest;

TEST_F(Interface, EverySerialFunctionIdBindsByName) {
    for (const vk::PortFunctionRow& row : vk::kSerialPortFunctions) {
        EXPECT_EQ(vk::portLibraryFile(vk::portLibraryOf(row.id)), "libvkcom.so");
        EXPECT_NE(::dlsym(library, std::string(row.name).c_str()), nullptr) << row.name;
    }
    // The extended pair is found under its C++ names only (a lookup by the plain
    // name, as the data-manager bridge makes, gives nothing).
    EXPECT_EQ(::dlsym(library, "VIZER_AddEventHandlerEx"), nullptr);
    EXPECT_EQ(::dlsym(library, "VIZER_DelEventHandlerEx"), nullptr);
    EXPECT_NE(::dlsym(library, "g_LibVizerDrvHnd"), nullptr);
}

TEST_F(Interface, VersionTextAndNullBuffer) {
    char version[16] = "xxxxxxxxxxxxxxx";
    api.GetDLLVersion(version);
    EXPECT_STREQ(version, "03.01.00");
    api.GetDLLVersion(nullptr);
    EXPECT_EQ(api.libraryError(), -1002);
}

// One table over every function that takes a handle: the first failing check
// answers, and is stored as the library's last error.
TEST_F(Interface, HandleChecksComeInTheirOrder) {
    PtyLines lines(api, 1);
    std::uint8_t bytes[8] = {5, 0, 0, 0, 0};
    char key[] = "TIMEOUT";
    char value[32] = "";
    _VIZER_EVENT_INIT record{VIZER_EVENT_DTR, 0, 3, 0, nullptr};
    _VIZER_INTERNAL_EVENT_INIT internal{VIZER_EVENT_DTR, 0, 101, 0, nullptr};

    struct Call {
        const char* name;
        std::function<int(int handle, bool nullPointer, int length)> run;
        bool hasPointer; // a pointer the function itself tests (check 3)
        bool hasLength;  // a length whose 0 gives -1031 (check 5)
    };
    const Call calls[] = {
        {"Transceive",
         [&](int h, bool np, int len) { return api.Transceive(h, np ? nullptr : bytes, len, bytes, 8); },
         true, true},
        {"Transmit", [&](int h, bool np, int len) { return api.Transmit(h, np ? nullptr : bytes, len); },
         true, true},
        {"Receive", [&](int h, bool np, int) { return api.Receive(h, np ? nullptr : bytes, 8); }, true,
         false},
        {"DoPortCmd", [&](int h, bool np, int) { return api.DoPortCmd(h, np ? nullptr : key, value); }, true,
         false},
        {"AddEventHandler", [&](int h, bool, int) { return api.AddEventHandler(h, &record); }, false, false},
        {"DelEventHandler", [&](int h, bool, int) { return api.DelEventHandler(h, &record); }, false, false},
        {"AddEventHandlerEx", [&](int h, bool, int) { return api.AddEventHandlerEx(h, &internal); }, false,
         false},
        {"DelEventHandlerEx", [&](int h, bool, int) { return api.DelEventHandlerEx(h, &internal); }, false,
         false},
        {"ClosePort", [&](int h, bool, int) { return api.ClosePort(h); }, false, false},
    };
    for (const Call& call : calls) {
        SCOPED_TRACE(call.name);
        const auto expect = [&](int handle, bool nullPointer, int length, int code) {
            EXPECT_EQ(call.run(handle, nullPointer, length), code) << "handle " << handle;
            EXPECT_EQ(api.libraryError(), code);
        };
        // No port open.
        expect(-1, true, 0, -1022);
        expect(0, true, 0, -1021);
        if (call.hasPointer) expect(5, true, 0, -1002);
        expect(5, false, 0, -1001);
        // A port open, the handle unknown.
        const int handle = open(lines.portText(0));
        ASSERT_GT(handle, 0);
        if (call.hasLength) expect(handle + 1000, false, 0, -1031);
        expect(handle + 1000, false, 5, -1023);
        close(handle);
    }
}

TEST_F(Interface, OpeningCountsEveryAttempt) {
    PtyLines lines(api, 2);
    const int first = open(lines.portText(0));
    ASSERT_GT(first, 0);
    EXPECT_EQ(api.libraryError(), 0);
    // Out of range, overflowing, negative, without digits: -1053, number used.
    for (const char* text : {"0", "257", "-5", "99999999999999999999", "abc"}) {
        EXPECT_EQ(open(text), -1053) << text;
        EXPECT_EQ(api.libraryError(), -1053);
    }
    // The same port twice: -1013, and the first handle still works.
    EXPECT_EQ(open(lines.portText(0)), -1013);
    EXPECT_EQ(get(first, "PORTNR"), lines.portText(0));
    // A null text consumes no number.
    EXPECT_EQ(api.OpenPort(nullptr), -1002);
    EXPECT_EQ(api.libraryError(), -1002);
    const int second = open(lines.portText(1));
    EXPECT_EQ(second, first + 7);
}

TEST_F(Interface, MissingDeviceAndTooLongPathConsumeANumber) {
    PtyLines lines(api, 1);
    const int before = open(lines.portText(0));
    ASSERT_GT(before, 0);
    const int other = lines.portNumber(0) == 2 ? 3 : 2; // a number not open
    const std::string otherText = std::to_string(other);
    set(0, "PORTPREFIX", "/nonexistent/");
    EXPECT_EQ(open(otherText), -1000);
    EXPECT_EQ(api.libraryError(), -1000);
    EXPECT_EQ(api.DetectPort(other), -1005);
    set(0, "PORTPREFIX", "/dev/long/prefix/"); // 17 characters and more: never opened
    EXPECT_EQ(open(otherText), -1000);
    EXPECT_EQ(api.DetectPort(other), -1005);
    EXPECT_EQ(api.libraryError(), -1000); // untouched by DetectPort
    set(0, "PORTPREFIX", lines.prefix().c_str());
    EXPECT_EQ(get(before, "PORTNR"), lines.portText(0));
    close(before);
    EXPECT_EQ(open(lines.portText(0)), before + 3);
}

TEST_F(Interface, DetectPortLeavesTheLastError) {
    PtyLines lines(api, 1);
    EXPECT_EQ(api.DetectPort(0), -1053);
    EXPECT_EQ(api.libraryError(), -1053);
    EXPECT_EQ(api.DetectPort(257), -1053);
    EXPECT_EQ(api.DetectPort(lines.portNumber(0)), 0);
    EXPECT_EQ(api.libraryError(), -1053);
    set(0, "PORTPREFIX", "/nonexistent/");
    EXPECT_EQ(api.DetectPort(1), -1005);
    EXPECT_EQ(api.libraryError(), 0); // the read above cleared it; the -1005 is not stored
}

TEST_F(Interface, PortListInOpeningOrder) {
    PtyLines lines(api, 3);
    EXPECT_EQ(api.GetPortList(0), -1001);
    EXPECT_EQ(api.libraryError(), -1001);
    EXPECT_EQ(api.GetPortList(-1), -1022);
    const int a = open(lines.portText(2));
    const int b = open(lines.portText(0));
    const int c = open(lines.portText(1));
    ASSERT_GT(a, 0);
    EXPECT_EQ(api.GetPortList(0), a);
    EXPECT_EQ(api.GetPortList(a), b);
    EXPECT_EQ(api.GetPortList(b), c);
    EXPECT_EQ(api.GetPortList(c), 0);
    EXPECT_EQ(api.libraryError(), 0);
    EXPECT_EQ(api.GetPortList(c + 100), -1020);
    EXPECT_EQ(api.libraryError(), -1020);
    close(b);
    EXPECT_EQ(api.GetPortList(a), c);
}

TEST_F(Interface, PortHandleByNumberText) {
    PtyLines lines(api, 1);
    std::string text = lines.portText(0);
    EXPECT_EQ(api.GetPortHnd(text.data()), -1001);
    const int handle = open(text);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(api.GetPortHnd(text.data()), handle);
    std::string padded = "0" + text; // compared character for character
    EXPECT_EQ(api.GetPortHnd(padded.data()), 0);
    for (const char* bad : {"0", "256", "-1", "99999999999999999999", "abc"}) {
        std::string copy = bad;
        EXPECT_EQ(api.GetPortHnd(copy.data()), -1051) << bad;
        EXPECT_EQ(api.libraryError(), -1051);
    }
    EXPECT_EQ(api.GetPortHnd(nullptr), -1002);
}

TEST_F(Interface, LibraryKeysForAnyHandleOfZeroOrMore) {
    EXPECT_EQ(get(12345, "language"), "9");
    EXPECT_EQ(get(0, "Language"), "9");
    int result = 0;
    get(-1, "LANGUAGE", &result);
    EXPECT_EQ(result, -1022);
    EXPECT_EQ(set(0, "LANGUAGE", "8"), -1051);
    EXPECT_EQ(api.libraryError(), -1051);
    EXPECT_EQ(set(0, "LANGUAGE", "99999999999999999999"), -1051);
    EXPECT_EQ(get(0, "LANGUAGE"), "9");
    EXPECT_EQ(set(7, "language", "7"), 0);
    EXPECT_EQ(get(0, "LANGUAGE"), "7");

    EXPECT_EQ(get(0, "PORTPREFIX"), "/dev/ttyS");
    const std::string longest(255, 'p');
    EXPECT_EQ(set(0, "PortPrefix", longest.c_str()), 0);
    EXPECT_EQ(get(0, "PORTPREFIX"), longest);
    EXPECT_EQ(set(0, "PORTPREFIX", (longest + "q").c_str()), -1051);
    EXPECT_EQ(get(0, "PORTPREFIX"), longest);
}

TEST_F(Interface, LibraryKeySuccessLeavesTheLastError) {
    api.GetDLLVersion(nullptr); // stores -1002
    char key[] = "LANGUAGE";
    char value[16] = "9";
    EXPECT_EQ(api.SetPortPara(0, key, value), 0);
    EXPECT_EQ(api.GetPortPara(0, key, value), 0);
    EXPECT_EQ(api.libraryError(), -1002);
}

TEST_F(Interface, ParameterChecksInTheirOrder) {
    PtyLines lines(api, 1);
    char value[256] = "";
    const std::string key127(127, 'K'), key128(128, 'K');
    struct Case {
        int handle;
        const char* key;
        bool nullValue;
        int expected;
    } const cases[] = {
        {-1, nullptr, true, -1022},        {0, nullptr, false, -1002},   {0, "TIMEOUT", true, -1002},
        {0, key128.c_str(), false, -1051}, {0, "TIMEOUT", false, -1021}, {5, "TIMEOUT", false, -1001},
    };
    for (const Case& c : cases) {
        std::string key = c.key ? c.key : "";
        EXPECT_EQ(api.GetPortPara(c.handle, c.key ? key.data() : nullptr, c.nullValue ? nullptr : value),
                  c.expected);
        EXPECT_EQ(api.libraryError(), c.expected);
    }
    const int handle = openLine(lines, 0);
    ASSERT_GT(handle, 0);
    int result = 0;
    get(handle + 50, "TIMEOUT", &result);
    EXPECT_EQ(result, -1023);
    get(handle, key127.c_str(), &result);
    EXPECT_EQ(result, -1050); // looked up by the port
    get(handle, key128.c_str(), &result);
    EXPECT_EQ(result, -1051);
    EXPECT_EQ(set(handle, "TIMEOUT", std::string(128, '1').c_str()), -1051);
    EXPECT_EQ(set(handle, "TIMEOUT", std::string(127, '0').c_str()), 0);
}

} // namespace
} // namespace vkcom_test
