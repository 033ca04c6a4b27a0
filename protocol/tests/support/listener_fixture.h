// Tests of the notification listener through the exports: a portless reader
// whose task 3, 6 or 7 listens on a free loopback port, a recorder of the
// three callback forms, and raw peers.
#ifndef VKKRN_TESTS_LISTENER_FIXTURE_H
#define VKKRN_TESTS_LISTENER_FIXTURE_H

#include "portless_reader.h"
#include "task_recorder.h"

#include <krnsim/notifier.h>
#include <vktesting/unique_fd.h>
#include <vktesting/wait_until.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vkkrn_test {

struct ListenerCall {
    int reader = 0;
    int task = 0;
    int status = 0;
    int command = 0;
    std::vector<std::uint8_t> data;
    std::string address;
    int port = -1;
};

class ListenerRecorder {
  public:
    static void form1(void* context, int reader, int task, int status, unsigned char cmd, unsigned char* data,
                      int len) {
        auto* self = static_cast<ListenerRecorder*>(context);
        self->enter();
        self->record({reader, task, status, cmd, bytes(data, len), {}, -1});
    }
    static void form2(void* context, int reader, int task, int status, unsigned char cmd, unsigned char* data,
                      int len, char* address, int port) {
        auto* self = static_cast<ListenerRecorder*>(context);
        self->enter();
        self->record({reader, task, status, cmd, bytes(data, len), address ? address : "", port});
    }
    static int form3(void* context, int reader, int task, int status, unsigned char cmd, unsigned char* data,
                     int len, char* address, int port, unsigned char* acknowledge) {
        auto* self = static_cast<ListenerRecorder*>(context);
        self->enter();
        self->record({reader, task, status, cmd, bytes(data, len), address ? address : "", port});
        *acknowledge = self->acknowledgeByte;
        return self->result;
    }

    std::vector<ListenerCall> calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    std::vector<int> statuses() const {
        std::vector<int> out;
        for (const auto& c : calls())
            out.push_back(c.status);
        return out;
    }
    int count() const { return count_.load(); }
    bool waitFor(int n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        return vktesting::waitUntil([&] { return count_.load() >= n; }, timeout);
    }

    std::function<void(const ListenerCall&)> onCall; // runs on the listener thread
    // With a counter of the calling thread's allocations: the allocations the
    // listener's thread made between one callback's end and the next one's start.
    std::uint64_t (*allocationCounter)() = nullptr;
    std::uint64_t allocationsBetweenCalls() const { return between_.load(); }
    int result = 0;
    unsigned char acknowledgeByte = 0;

  private:
    static std::vector<std::uint8_t> bytes(const unsigned char* data, int len) {
        if (data == nullptr || len <= 0) return {};
        return std::vector<std::uint8_t>(data, data + len);
    }
    // First thing in a callback, before the recorder allocates anything itself.
    void enter() {
        if (allocationCounter != nullptr && lastExit_ != 0)
            between_.fetch_add(allocationCounter() - lastExit_);
    }
    void record(const ListenerCall& call) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.push_back(call);
        }
        if (onCall) onCall(call);
        if (allocationCounter != nullptr) lastExit_ = allocationCounter();
        count_.fetch_add(1);
    }
    mutable std::mutex mutex_;
    std::vector<ListenerCall> calls_;
    std::atomic<int> count_{0};
    std::uint64_t lastExit_ = 0; // on the listener thread only
    std::atomic<std::uint64_t> between_{0};
};

// A port that was free a moment ago (bound to :0 and released).
inline std::uint16_t freeLoopbackPort() {
    vktesting::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// The simulated reader connected to a listener on 127.0.0.1:port as soon as it
// accepts (a connect before the listening socket is back is refused); null when
// it did not within the time-out.
inline std::unique_ptr<krnsim::Notifier>
connectNotifier(std::uint16_t port, std::chrono::milliseconds timeout = std::chrono::seconds(5),
                int receiveBuffer = 0) {
    std::unique_ptr<krnsim::Notifier> out;
    vktesting::waitUntil(
        [&] {
            try {
                out = std::make_unique<krnsim::Notifier>(port, 1, "127.0.0.1", receiveBuffer);
                return true;
            } catch (const std::runtime_error&) {
                return false;
            }
        },
        timeout);
    return out;
}

// A listener record on 127.0.0.1:port calling `recorder` back in `variant`
// (bus address 9, mode 5, T in seconds).
inline _VKKRN_TASK_INIT listenerRecord(ListenerRecorder& recorder, std::uint16_t port, unsigned variant,
                                       unsigned timeout = 1) {
    _VKKRN_TASK_INIT r{};
    r.pAny = &recorder;
    r.ucBusAdr = 9;
    r.uiMode = 5;
    std::strcpy(r.cAddress, "127.0.0.1");
    r.uiTcpPort = port;
    r.uiTimeout = timeout;
    r.uiCallbackVariant = variant;
    if (variant == 1) r.callback.form1 = &ListenerRecorder::form1;
    if (variant == 2) r.callback.form2 = &ListenerRecorder::form2;
    if (variant == 3) r.callback.form3 = &ListenerRecorder::form3;
    return r;
}

class ListenerTest : public PortlessReaderTest {
  protected:
    void SetUp() override {
        writeFile("vkkrn.ini", "logfile;loglevel=3");
        PortlessReaderTest::SetUp();
        port_ = freeLoopbackPort();
    }
    void TearDown() override {
        if (reader_ > 0) VKKRN_DeleteReader(reader_);
        reader_ = 0;
        PortlessReaderTest::TearDown();
    }

    // The task id names the test's intent only: the record is the same.
    _VKKRN_TASK_INIT record(int /*task*/, unsigned variant, unsigned timeout = 1) {
        return listenerRecord(recorder_, port_, variant, timeout);
    }
    static void withKey(_VKKRN_TASK_INIT& r, std::size_t length) {
        r.ucCipher = 1;
        r.uiKeyLength = static_cast<unsigned>(length);
        for (std::size_t i = 0; i < length; ++i)
            r.ucKey[i] = static_cast<unsigned char>(0x40 + i);
    }
    static krnsim::Bytes keyBytes(std::size_t length) {
        krnsim::Bytes key(length);
        for (std::size_t i = 0; i < length; ++i)
            key[i] = static_cast<std::uint8_t>(0x40 + i);
        return key;
    }
    // Connects as soon as the listener accepts.
    std::unique_ptr<krnsim::Notifier> connect(std::chrono::milliseconds timeout = std::chrono::seconds(5),
                                              int receiveBuffer = 0) {
        return connectNotifier(port_, timeout, receiveBuffer);
    }
    // Starts the listener task and connects the simulated reader to it.
    std::unique_ptr<krnsim::Notifier> serve(int task, _VKKRN_TASK_INIT& r) {
        const int rc = VKKRN_StartAsyncTask(reader_, task, &r, nullptr);
        EXPECT_EQ(rc, 0);
        return rc == 0 ? connect() : nullptr;
    }
    // A good reader after hostile ones: connects and tries `attempt` until it
    // succeeds (a connect queued behind another is reset when that one is
    // accepted, so the reader tries again). The served reader, or null.
    std::unique_ptr<krnsim::Notifier> retryUntilServed(const std::function<bool(krnsim::Notifier&)>& attempt,
                                                       std::chrono::milliseconds timeout) {
        std::unique_ptr<krnsim::Notifier> reader;
        const bool served = vktesting::waitUntil(
            [&] {
                reader = connect(timeout);
                if (!reader) return false;
                try {
                    return attempt(*reader);
                } catch (const std::runtime_error&) {
                    return false; // reset meanwhile
                }
            },
            timeout);
        if (!served) reader.reset();
        return reader;
    }
    std::string log() const { return readFile("vkkrn_log.txt"); }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

    ListenerRecorder recorder_;
    std::uint16_t port_ = 0;
};

} // namespace vkkrn_test

#endif
