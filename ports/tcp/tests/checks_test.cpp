// Argument checks of every function that takes a handle, in their order:
// negative, zero, null pointer, length of 0 or below, empty list, unknown handle.
// None of them lets a byte reach the peer.
#include "loopback.h"
#include "tcp_api.h"

#include <vktesting/loopback_listener.h>

#include <chrono>
#include <functional>
#include <string>

namespace {

using namespace std::chrono_literals;
using vktcp_test::TcpTest;

enum class Fault { None, NullPointer, ZeroLength, NegativeLength };

struct HandleCall {
    const char* name;
    std::function<int(const vktcp_test::TcpApi&, int handle, Fault)> run;
    bool takesPointer;
    bool takesLength;
};

std::uint8_t gRequest[8] = {7, 0, 0x52, 0, 0, 0, 0};
std::uint8_t gReply[16];
int gCode;
char gText[256];
_VKTCP_EVENT_INIT gRecord{nullptr, VKTCP_EVENT_DISCONNECT, 0, VKTCP_EVENT_FLAG_CONTEXT,
                          [](void*, int, int, int) {}};

int lengthFor(Fault fault) {
    return fault == Fault::ZeroLength ? 0 : fault == Fault::NegativeLength ? -1 : 7;
}

const HandleCall kCalls[] = {
    {"Transceive/request",
     [](const auto& api, int h, Fault f) {
         return api.Transceive(h, f == Fault::NullPointer ? nullptr : gRequest, lengthFor(f), gReply, 16);
     },
     true, true},
    {"Transceive/reply",
     [](const auto& api, int h, Fault f) {
         return api.Transceive(h, gRequest, 7, f == Fault::NullPointer ? nullptr : gReply, lengthFor(f));
     },
     true, true},
    {"Transmit",
     [](const auto& api, int h, Fault f) {
         return api.Transmit(h, f == Fault::NullPointer ? nullptr : gRequest, lengthFor(f));
     },
     true, true},
    {"Receive",
     [](const auto& api, int h, Fault f) {
         return api.Receive(h, f == Fault::NullPointer ? nullptr : gReply, lengthFor(f));
     },
     true, true},
    {"GetLastError/code",
     [](const auto& api, int h, Fault f) {
         return api.GetLastError(h, f == Fault::NullPointer ? nullptr : &gCode, gText);
     },
     true, false},
    {"GetLastError/text",
     [](const auto& api, int h, Fault f) {
         return api.GetLastError(h, &gCode, f == Fault::NullPointer ? nullptr : gText);
     },
     true, false},
    {"AddEventHandler",
     [](const auto& api, int h, Fault f) {
         return api.AddEventHandler(h, f == Fault::NullPointer ? nullptr : &gRecord);
     },
     true, false},
    {"DelEventHandler",
     [](const auto& api, int h, Fault f) {
         return api.DelEventHandler(h, f == Fault::NullPointer ? nullptr : &gRecord);
     },
     true, false},
    {"DisConnect", [](const auto& api, int h, Fault) { return api.DisConnect(h); }, false, false},
};

struct Scenario {
    const char* what;
    int handle; // 1: a valid-looking handle that is not connected
    Fault fault;
    bool connected; // one other socket is connected
    int expected;
    bool needsPointer;
    bool needsLength;
};

constexpr int kUnknown = 0x20000077;

const Scenario kScenarios[] = {
    {"negative before null", -1, Fault::NullPointer, false, -1222, false, false},
    {"negative before length", -7, Fault::ZeroLength, false, -1222, false, false},
    {"zero before null", 0, Fault::NullPointer, false, -1221, false, false},
    {"null before length", kUnknown, Fault::NullPointer, false, -1202, true, false},
    {"zero length before empty list", kUnknown, Fault::ZeroLength, false, -1251, false, true},
    {"negative length before empty list", kUnknown, Fault::NegativeLength, false, -1251, false, true},
    {"empty list", kUnknown, Fault::None, false, -1201, false, false},
    {"unknown handle", kUnknown, Fault::None, true, -1223, false, false},
    {"null with a socket listed", kUnknown, Fault::NullPointer, true, -1202, true, false},
    {"length with a socket listed", kUnknown, Fault::ZeroLength, true, -1251, false, true},
};

class Checks : public TcpTest {};

TEST_F(Checks, HandleFunctionsCheckInOrder) {
    vktesting::LoopbackListener listener;
    for (bool connected : {false, true}) {
        int handle = 0;
        vktesting::UniqueFd accepted;
        if (connected) {
            handle = api.Connect("127.0.0.1", listener.port());
            ASSERT_GT(handle, 0);
            accepted = listener.accept(5s);
            ASSERT_TRUE(accepted);
        }
        for (const Scenario& s : kScenarios) {
            if (s.connected != connected) continue;
            for (const HandleCall& call : kCalls) {
                if ((s.needsPointer && !call.takesPointer) || (s.needsLength && !call.takesLength)) continue;
                EXPECT_EQ(call.run(api, s.handle, s.fault), s.expected) << call.name << ": " << s.what;
            }
        }
        if (connected) {
            EXPECT_FALSE(vktcp_test::hasInput(accepted.get(), 50)) << "a refused call reached the peer";
            accepted.reset(); // the peer hangs up; the disconnect needs no wait for it
            EXPECT_EQ(api.DisConnect(handle), 0);
        }
    }
}

TEST_F(Checks, ParameterFunctionsCheckInOrder) {
    const std::string longKey(128, 'K');
    const std::string key127(127, 'K');
    char value[128];
    struct Case {
        const char* what;
        int handle;
        const char* key;
        bool nullValue;
        int expected;
    };
    const Case cases[] = {
        {"null key before negative", -1, nullptr, false, -1202},
        {"null value before negative", -1, "TIMEOUT", true, -1202},
        {"negative before key length", -1, longKey.c_str(), false, -1222},
        {"key length before zero", 0, longKey.c_str(), false, -1251},
        {"127-character key is looked at", 0, key127.c_str(), false, -1221},
        {"zero", 0, "TIMEOUT", false, -1221},
        {"empty list", kUnknown, "TIMEOUT", false, -1201},
        {"empty list before key lookup", kUnknown, "NOSUCHKEY", false, -1201},
    };
    for (const Case& c : cases) {
        std::snprintf(value, sizeof value, "100");
        EXPECT_EQ(api.GetSocketPara(c.handle, c.key, c.nullValue ? nullptr : value), c.expected)
            << "get: " << c.what;
        EXPECT_EQ(api.SetSocketPara(c.handle, c.key, c.nullValue ? nullptr : "100"), c.expected)
            << "set: " << c.what;
    }

    vktesting::LoopbackListener listener;
    const int handle = api.Connect("127.0.0.1", listener.port());
    ASSERT_GT(handle, 0);
    vktesting::UniqueFd accepted = listener.accept(5s);
    EXPECT_EQ(api.GetSocketPara(kUnknown, "TIMEOUT", value), -1223);
    EXPECT_EQ(api.SetSocketPara(kUnknown, "TIMEOUT", "100"), -1223);
    EXPECT_EQ(api.SetSocketPara(handle, "TIMEOUT", std::string(128, '1').c_str()), -1251);
    EXPECT_FALSE(vktcp_test::hasInput(accepted.get(), 20));
    accepted.reset();
    EXPECT_EQ(api.DisConnect(handle), 0);
}

TEST_F(Checks, HostFunctionsRefuseBadHostsAndPorts) {
    const std::string host128(128, 'h');
    const std::string host256(256, 'h');
    struct Case {
        const char* what;
        const char* host;
        int port;
        int connect;
        int getHandle;
    };
    const Case cases[] = {
        {"null host", nullptr, 80, -1202, -1202},
        {"null host before port", nullptr, -1, -1202, -1202},
        {"port -1", "127.0.0.1", -1, -1251, -1251},
        {"port 65536", "127.0.0.1", 65536, -1251, -1251},
        {"host of 128 characters", host128.c_str(), 80, -1251, -1251},
        {"host of 256 characters", host256.c_str(), 80, -1251, -1251},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(api.Connect(c.host, c.port), c.connect) << c.what;
        EXPECT_EQ(api.GetSocketHnd(c.host, c.port), c.getHandle) << c.what;
    }
    EXPECT_EQ(api.Detect(nullptr, 80), -1202);
    EXPECT_EQ(api.Detect("127.0.0.1", 65536), -1251);
    EXPECT_EQ(api.Detect("127.0.0.1", -1), -1251);
    EXPECT_EQ(api.GetSocketList(-1), -1222);
    EXPECT_EQ(api.GetSocketList(kUnknown), -1220);
    EXPECT_EQ(api.GetSocketState(nullptr, 80), 0);
}

} // namespace
