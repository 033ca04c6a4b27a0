// The library from several threads at once: transfers on two ports while a
// third port is opened and closed and parameters and the port list are read.
#include "library_fixture.h"

#include <vksim/host_frame.h>

#include <atomic>
#include <thread>

namespace vkcom_test {
namespace {

using vksim::Script;

using Threads = LibraryTest;

// The simulated reader answers every request with its command byte and the
// request's fourth byte as data.
Script answer(const Bytes& request) {
    return Script::reply(vksim::standardReply(0xFF, request.at(2), 0, {request.at(3)}));
}

TEST_F(Threads, TransfersWhileAnotherPortOpensAndCloses) {
    PtyLines lines(api, 3);
    int handles[2];
    for (int i = 0; i < 2; ++i) {
        handles[i] = openLine(lines, i, 5000);
        ASSERT_GT(handles[i], 0);
        ASSERT_EQ(set(handles[i], "UseNUBO", "1"), 0);
        lines.peer(i).respond(answer);
    }
    constexpr int kExchanges = 100;
    std::atomic<int> wrong{0};
    std::atomic<bool> done{false};

    std::vector<std::thread> workers;
    for (const int handle : handles) {
        workers.emplace_back([&, handle] {
            for (int i = 0; i < kExchanges; ++i) {
                Bytes request{0x06, 0xFF, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(handle),
                              0,    0};
                std::uint8_t reply[64];
                const int n = api.Transceive(handle, request.data(), 6, reply, sizeof reply);
                const Bytes expected = vksim::standardReply(0xFF, request[2], 0, {request[3]});
                if (n != static_cast<int>(expected.size()) ||
                    !std::equal(expected.begin(), expected.end(), reply))
                    ++wrong;
            }
        });
    }
    std::thread opener([&] {
        std::string text = lines.portText(2);
        while (!done.load()) {
            const int handle = api.OpenPort(text.data());
            if (handle <= 0 || api.ClosePort(handle) != 0) ++wrong;
        }
    });
    std::thread reader([&] {
        std::string portA = lines.portText(0);
        while (!done.load()) {
            char key[] = "language";
            char value[64] = "";
            if (api.GetPortPara(0, key, value) != 0 || std::string(value) != "9") ++wrong;
            char baud[] = "BAUD";
            if (api.GetPortPara(handles[1], baud, value) != 0 || std::string(value) != "9600") ++wrong;
            if (api.GetPortHnd(portA.data()) != handles[0]) ++wrong;
            if (api.GetPortList(0) != handles[0]) ++wrong;
        }
    });
    for (std::thread& worker : workers)
        worker.join();
    done = true;
    opener.join();
    reader.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(lines.peer(0).requestCount(), static_cast<std::size_t>(kExchanges));
}

} // namespace
} // namespace vkcom_test
