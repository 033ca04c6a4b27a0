// The library from several threads at once: transfers on two ports while a
// third port is opened and closed and parameters and the port list are read.
#include "library_fixture.h"

#include <vksim/host_frame.h>
#include <vktesting/thread_state.h>
#include <vktesting/wait_until.h>

#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <thread>

namespace vkcom_test {
namespace {

using namespace std::chrono_literals;
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

enum class Call { Transceive, Receive, Transmit };

// A close while another thread is inside the port, blocked where only the close
// can end it in time: the call ends at once with -1023 (its handle is no longer
// open), the close returns 0 once the call has left, and restores the line.
TEST_F(Threads, CloseEndsACallBlockedInsideThePort) {
    struct Case {
        const char* name;
        Call call;
    } const cases[] = {
        {"a transceive waiting for the reply the peer holds back", Call::Transceive},
        {"a receive waiting for the rest of a frame", Call::Receive},
        {"a transmit on a line whose output is stopped", Call::Transmit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyLines lines(api, 2);
        const int slave = lines.line(0).slave();
        const int handle = openLine(lines, 0, 4000);
        ASSERT_GT(handle, 0);
        // A second port keeps the list from emptying, so the closed handle reads
        // -1023 whenever the call looks it up.
        const int other = openLine(lines, 1);
        ASSERT_GT(other, 0);
        ASSERT_EQ(set(handle, "UseNUBO", "1"), 0);
        if (c.call == Call::Transceive) lines.peer(0).expect(Script::silence());
        if (c.call == Call::Receive) {
            lines.peer(0).play(Script::reply({0x10, 0xFF, 0x52})); // the head of a 16-byte frame
            ASSERT_TRUE(lines.waitSlaveReadable(0));
        }
        if (c.call == Call::Transmit) {
            ASSERT_EQ(::tcflow(slave, TCOOFF), 0);
        }

        std::atomic<pid_t> tid{0};
        std::atomic<bool> done{false};
        std::atomic<int> result{1};
        std::thread caller([&] {
            tid = vktesting::currentThreadId();
            Bytes request{0x06, 0xFF, 0x52, 0x00, 0x00, 0x00};
            std::uint8_t reply[64];
            switch (c.call) {
            case Call::Transceive:
                result = api.Transceive(handle, request.data(), 6, reply, sizeof reply);
                break;
            case Call::Receive: result = api.Receive(handle, reply, sizeof reply); break;
            case Call::Transmit: result = api.Transmit(handle, request.data(), 6); break;
            }
            done = true;
        });
        const auto inside = [&] {
            if (c.call == Call::Transceive) return lines.peer(0).requestCount() == 1;
            if (c.call == Call::Receive) {
                int queued = -1;
                return ::ioctl(slave, FIONREAD, &queued) == 0 && queued == 0; // the head is read
            }
            return tid.load() != 0 && vktesting::threadSleeps(tid.load());
        };
        EXPECT_TRUE(vktesting::waitUntil(inside, 5s));

        EXPECT_EQ(close(handle), 0);
        EXPECT_TRUE(vktesting::waitUntil([&] { return done.load(); }, 2s)) << "the call still waits";
        if (c.call == Call::Transmit) ::tcflow(slave, TCOON);
        caller.join();
        EXPECT_EQ(result.load(), -1023);
        termios line{};
        ::tcgetattr(slave, &line);
        EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B38400)) << "the line as found";
        EXPECT_EQ(close(handle), -1023);
        EXPECT_EQ(close(other), 0);
    }
}

} // namespace
} // namespace vkcom_test
