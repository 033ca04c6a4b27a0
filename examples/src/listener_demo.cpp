#include "listener_demo.h"

#include <krnsim/notifier.h>
#include <vkkrn.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace vkexample {

namespace {

using namespace std::chrono_literals;

std::string hex(const unsigned char* data, std::size_t n) {
    std::string text;
    char pair[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(pair, sizeof pair, "%s%02X", i == 0 ? "" : " ", data[i]);
        text += pair;
    }
    return text;
}

// A loopback port that was free a moment ago.
std::uint16_t freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0;
    close(fd);
    return ok ? ntohs(a.sin_port) : 0;
}

// The task callback (form 2): runs on the listener's thread.
void onNotification(void* context, int /*reader*/, int task, int status, unsigned char cmd,
                    unsigned char* data, int len, char* address, int port) {
    std::printf("  callback: task %d, status %d, command 0x%02X, data %s, from %s, listener port %d\n", task,
                status, cmd, hex(data, static_cast<std::size_t>(len > 0 ? len : 0)).c_str(), address, port);
    std::fflush(stdout);
    static_cast<std::atomic<int>*>(context)->fetch_add(1);
}

} // namespace

int demoNotification(int reader) {
    std::atomic<int> calls{0};
    _VKKRN_TASK_INIT task{};
    task.pAny = &calls;
    task.ucBusAdr = 0x01;
    task.uiMode = 5;
    std::strcpy(task.cAddress, "127.0.0.1");
    task.uiTcpPort = freePort();
    task.uiTimeout = 1;
    task.uiCallbackVariant = 2;
    task.uiAcknowledge = 1; // answer each 0x22 with 0x32
    task.callback.form2 = &onNotification;
    std::printf("\nNotification listener (task 3) on 127.0.0.1:%u\n", task.uiTcpPort);
    if (const int rc = VKKRN_StartAsyncTask(reader, 3, &task, nullptr)) {
        std::printf("  failed to start: %d\n", rc);
        return 1;
    }
    int result = 1;
    try {
        krnsim::Notifier simulated(static_cast<std::uint16_t>(task.uiTcpPort));
        simulated.notify(0x22, krnsim::Bytes{0x12, 0x34, 0x56});
        const auto ack = simulated.waitFrame(5000ms);
        for (int i = 0; i < 500 && calls.load() == 0; ++i)
            std::this_thread::sleep_for(10ms);
        if (ack && calls.load() == 1) {
            std::printf("  acknowledgement at the reader: %s (command 0x%02X)\n",
                        hex(ack->raw.data(), ack->raw.size()).c_str(), ack->command);
            result = 0;
        } else {
            std::printf("  no acknowledgement\n");
        }
    } catch (const std::exception& error) {
        std::printf("  the simulated reader cannot connect: %s\n", error.what());
    }
    VKKRN_CancelAsyncTask(reader);
    return result;
}

} // namespace vkexample
