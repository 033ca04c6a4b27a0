// The reader of the kernel's TCP connection table, over in-memory tables.
#include "connection_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr const char* kHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

// A table line for a connection from 127.0.0.1:40000 to `remote`:`port` in
// kernel state `state` (addresses as the kernel prints them).
std::string line(const char* remoteHex, unsigned port, unsigned state) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "   0: 0100007F:9C40 %s:%04X %02X 00000000:00000000 00:00000000 00000000  1000        0 "
                  "12345 1 0000000000000000 20 4 30 10 -1\n",
                  remoteHex, port, state);
    return text;
}

int stateIn(const std::string& body, const char* address, int port) {
    const std::string table = kHeader + body;
    std::FILE* file = ::fmemopen(const_cast<char*>(table.data()), table.size(), "r");
    const int state = vktcp::connectionStateIn(file, address, port);
    std::fclose(file);
    return state;
}

TEST(ConnectionState, EveryKernelStateHasItsReportedNumber) {
    const int reported[] = {0, 5, 3, 4, 6, 7, 11, 1, 8, 10, 2, 9, 0, 0};
    for (unsigned kernel = 0; kernel < std::size(reported); ++kernel) {
        EXPECT_EQ(vktcp::reportedState(kernel), reported[kernel]) << kernel;
        EXPECT_EQ(stateIn(line("0100007F", 5000, kernel), "127.0.0.1", 5000), reported[kernel]) << kernel;
    }
    EXPECT_EQ(vktcp::reportedState(0xFFFFFFFFu), 0);
}

TEST(ConnectionState, MatchesRemoteAddressAndPortAndKeepsTheLowestState) {
    struct Case {
        const char* what;
        std::string body;
        const char* address;
        int port;
        int expected;
    };
    const Case cases[] = {
        {"no line", "", "127.0.0.1", 5000, 0},
        {"other port", line("0100007F", 5001, 1), "127.0.0.1", 5000, 0},
        {"other address", line("0200007F", 5000, 1), "127.0.0.1", 5000, 0},
        {"address in network order", line("0A01A8C0", 80, 1), "192.168.1.10", 80, 5},
        {"first match", line("0100007F", 5000, 6), "127.0.0.1", 5000, 11},
        {"lower state replaces", line("0100007F", 5000, 6) + line("0100007F", 5000, 1), "127.0.0.1", 5000, 5},
        {"higher state does not", line("0100007F", 5000, 1) + line("0100007F", 5000, 6), "127.0.0.1", 5000,
         5},
        {"unknown kept state is replaced", line("0100007F", 5000, 12) + line("0100007F", 5000, 6),
         "127.0.0.1", 5000, 11},
        {"unknown later state is lower", line("0100007F", 5000, 1) + line("0100007F", 5000, 12), "127.0.0.1",
         5000, 0},
        {"non-matching lines between",
         line("0100007F", 5000, 6) + line("0100007F", 6000, 1) + line("0100007F", 5000, 5), "127.0.0.1", 5000,
         7},
        {"negative port", line("0100007F", 5000, 1), "127.0.0.1", -1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stateIn(c.body, c.address, c.port), c.expected) << c.what;
}

TEST(ConnectionState, SkipsShortMalformedOverlongAndWideLines) {
    const std::string good = line("0100007F", 5000, 1);
    const std::string wideLocal = "   1: 0000000000000000FFFF00000100007F:9C40 0100007F:1388 06 "
                                  "00000000:00000000 00:00000000 00000000  "
                                  "0 0 1 1\n";
    const std::string wideRemote = "   1: 0100007F:9C40 0000000000000000FFFF00000100007F:1388 06 "
                                   "00000000:00000000 00:00000000 00000000  "
                                   "0 0 1 1\n";
    const std::string tenFields =
        "   1: 0100007F:9C40 0100007F:1388 06 00000000:00000000 00:00000000 00000000\n";
    const std::string elevenFields =
        "   1: 0100007F:9C40 0100007F:1388 06 00000000:00000000 00:00000000 00000000 "
        "0\n";
    const std::string overlong =
        "   1: 0100007F:9C40 0100007F:1388 06 00000000:00000000 00:00000000 00000000 0 0 "
        "1 " +
        std::string(9000, 'x') + "\n";
    struct Case {
        const char* what;
        std::string body;
        int expected;
    };
    const Case cases[] = {
        {"ten fields", tenFields + good, 5},
        {"eleven fields count", elevenFields, 11},
        {"garbage", "garbage\n\n: : :\n" + good, 5},
        {"wide local address", wideLocal + good, 5},
        {"wide remote address", wideRemote + good, 5},
        {"overlong line and its rest", overlong + good, 5},
        {"no newline at the end", line("0100007F", 5000, 6).substr(0, 80), 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stateIn(c.body, "127.0.0.1", 5000), c.expected) << c.what;
}

TEST(ConnectionState, EmptyTableAndHeaderOnly) {
    std::FILE* empty = ::fmemopen(nullptr, 1, "r");
    EXPECT_EQ(vktcp::connectionStateIn(empty, "127.0.0.1", 80), 0);
    std::fclose(empty);
    EXPECT_EQ(stateIn("", "127.0.0.1", 80), 0);
}

} // namespace
