// The notification listener (tasks 3, 6 and 7) through the exports of the
// deliverable, with the simulated reader notifying over loopback TCP and raw
// peers misbehaving. Real libcrypto on the library's side, the simulator's own
// AES on the reader's.
#include "listener_fixture.h"

#include <vktesting/process_usage.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using krnsim::Bytes;
using krnsim::Form;
using vkkrn_test::ListenerTest;

Bytes lastRecProt(int reader) {
    unsigned char frame[0x10001];
    const int n = VKKRN_GetLastRecProt(reader, frame, 0);
    return n > 0 ? Bytes(frame, frame + n) : Bytes{};
}

// A raw peer: connects, sends what it is told, reads nothing unless asked.
class RawPeer {
  public:
    explicit RawPeer(std::uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    bool connected() const { return connected_; }
    void send(const Bytes& bytes) { (void)::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // True once the listener closed its side (a read gives 0 or a reset).
    bool closedWithin(std::chrono::milliseconds timeout) {
        return vktesting::waitUntil(
            [&] {
                char c;
                const ssize_t n = recv(fd_.get(), &c, 1, MSG_DONTWAIT);
                return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
            },
            timeout);
    }

  private:
    vktesting::UniqueFd fd_;
    bool connected_ = false;
};

// Connects once the listener listens again (it does a moment after a connection ends).
std::unique_ptr<RawPeer> connectRaw(std::uint16_t port) {
    std::unique_ptr<RawPeer> peer;
    vktesting::waitUntil([&] {
        peer = std::make_unique<RawPeer>(port);
        return peer->connected();
    });
    return peer;
}

TEST_F(ListenerTest, StartChecks) {
    struct Case {
        int task;
        unsigned variant;
        unsigned mode;
        const char* address;
        const char* logged; // expected in the log, or null
    };
    const Case cases[] = {
        {3, 3, 5, "127.0.0.1", "-4054"}, {7, 3, 5, "127.0.0.1", "-4054"}, {6, 1, 5, "127.0.0.1", "-4054"},
        {3, 1, 4, "127.0.0.1", nullptr}, {3, 2, 5, "1.2.3", "-4083"},
    };
    for (const Case& c : cases) {
        _VKKRN_TASK_INIT r = record(c.task, c.variant);
        r.uiMode = c.mode;
        std::strcpy(r.cAddress, c.address);
        const std::size_t before = log().size();
        EXPECT_EQ(VKKRN_StartAsyncTask(reader_, c.task, &r, nullptr), -4081) << c.task << " " << c.variant;
        // The task thread may write its error line just after the start has returned.
        std::string added;
        const bool logged = vktesting::waitUntil(
            [&] {
                added = log().substr(before);
                return c.logged != nullptr && added.find(c.logged) != std::string::npos;
            },
            std::chrono::milliseconds(c.logged != nullptr ? 5000 : 100));
        if (c.logged)
            EXPECT_TRUE(logged) << added;
        else
            EXPECT_EQ(added.find("-40"), std::string::npos) << added;
    }
    // A port held by a listening socket passes the port test but cannot be bound.
    vktesting::UniqueFd holder(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port_);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(holder.get(), 1), 0);
    _VKKRN_TASK_INIT r = record(3, 1);
    EXPECT_EQ(VKKRN_StartAsyncTask(reader_, 3, &r, nullptr), -4081);
    EXPECT_EQ(recorder_.count(), 0);
}

TEST_F(ListenerTest, Task3DeliversAndAcknowledges) {
    _VKKRN_TASK_INIT r = record(3, 2);
    r.uiAcknowledge = 1;
    auto reader = serve(3, r);
    ASSERT_TRUE(reader);
    const Bytes frame = reader->notification(0x22, Bytes{0x10, 0x20, 0x30}, Form::Standard, 0x07);
    reader->send(frame);
    const auto ack = reader->waitFrame(5s);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->verdict, "ok");
    EXPECT_EQ(ack->command, 0x32);
    EXPECT_EQ(ack->address, 9);
    EXPECT_TRUE(ack->data.empty());
    ASSERT_TRUE(recorder_.waitFor(1));
    const auto call = recorder_.calls()[0];
    EXPECT_EQ(call.reader, reader_);
    EXPECT_EQ(call.task, 3);
    EXPECT_EQ(call.status, 7);
    EXPECT_EQ(call.command, 0x22);
    EXPECT_EQ(call.data, (Bytes{0x10, 0x20, 0x30}));
    EXPECT_EQ(call.address, "127.0.0.1");
    EXPECT_EQ(call.port, port_);
    EXPECT_EQ(lastRecProt(reader_), frame);

    // 0x6E is delivered, not acknowledged.
    reader->notify(0x6E, Bytes{1});
    ASSERT_TRUE(recorder_.waitFor(2));
    EXPECT_FALSE(reader->waitFrame(200ms));
    EXPECT_TRUE(logHas("Connected with: 127.0.0.1"));
    EXPECT_TRUE(logHas("Enter callback [0x22]"));
    EXPECT_EQ(cancelOutsideTheCallback(reader_), 0);
    EXPECT_TRUE(reader->waitFrame(2s) == std::nullopt && reader->closedByHost()) << "keep 0 closes";
    EXPECT_TRUE(logHas("Disconnected (5)"));
}

TEST_F(ListenerTest, Task6AcknowledgesWhatItsCallbackAsks) {
    _VKKRN_TASK_INIT r = record(6, 3);
    recorder_.result = 1;
    recorder_.acknowledgeByte = 0x05;
    auto reader = serve(6, r);
    ASSERT_TRUE(reader);
    reader->notify(0x1F, Bytes{1, 2});
    const auto ack = reader->waitFrame(5s);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->command, 0x1F);
    EXPECT_EQ(ack->status, 0);
    EXPECT_EQ(ack->data, Bytes{0x05});
    recorder_.result = 0;
    reader->notify(0x1F, Bytes{3});
    ASSERT_TRUE(recorder_.waitFor(2));
    EXPECT_FALSE(reader->waitFrame(200ms));
}

TEST_F(ListenerTest, Task7AppendsTheBusAddressAndSendsNothing) {
    _VKKRN_TASK_INIT r = record(7, 1);
    auto reader = serve(7, r);
    ASSERT_TRUE(reader);
    reader->notify(0x77, Bytes{0xAA});
    ASSERT_TRUE(recorder_.waitFor(1));
    EXPECT_EQ(recorder_.calls()[0].data, (Bytes{0xAA, 0x01}));
    EXPECT_FALSE(reader->waitFrame(200ms));
}

class CipherKinds : public ListenerTest, public ::testing::WithParamInterface<int> {};

TEST_P(CipherKinds, AReaderAuthenticatesAndNotifiesEnciphered) {
    const std::uint8_t type = static_cast<std::uint8_t>(GetParam());
    const std::size_t length = 16u + 8u * type;
    _VKKRN_TASK_INIT r = record(3, 1);
    withKey(r, length);
    auto reader = serve(3, r);
    ASSERT_TRUE(reader);
    ASSERT_TRUE(reader->authenticate(type, keyBytes(length)));
    for (int i = 0; i < 3; ++i) {
        reader->notify(0x22, Bytes{static_cast<std::uint8_t>(i), 0x55}, Form::Advanced, 2);
        const auto ack = reader->waitFrame(5s);
        ASSERT_TRUE(ack);
        EXPECT_EQ(ack->verdict, "ok");
        EXPECT_EQ(ack->command, 0x32) << "every notification is acknowledged on the channel";
    }
    ASSERT_TRUE(recorder_.waitFor(3));
    const auto call = recorder_.calls()[2];
    EXPECT_EQ(call.status, 2);
    EXPECT_EQ(call.command, 0x22);
    EXPECT_EQ(call.data, (Bytes{2, 0x55}));
    EXPECT_EQ(VKKRN_SetReaderPara(reader_, "FRAMESUPPORT", "STANDARD"), -4056);
}

INSTANTIATE_TEST_SUITE_P(KeyTypes, CipherKinds, ::testing::Values(0, 1, 2));

TEST_F(ListenerTest, OneConnectionAtATime) {
    _VKKRN_TASK_INIT r = record(3, 1);
    auto first = serve(3, r);
    ASSERT_TRUE(first);
    first->notify(0x22, Bytes{1});
    ASSERT_TRUE(recorder_.waitFor(1));
    EXPECT_THROW(krnsim::Notifier second(port_), std::runtime_error)
        << "no second connection while one is served";
    // Frames 1.5 T apart stay on the one connection.
    std::this_thread::sleep_for(1500ms);
    first->notify(0x22, Bytes{2});
    ASSERT_TRUE(recorder_.waitFor(2));
    first.reset();
    auto second = connect();
    ASSERT_TRUE(second);
    second->notify(0x22, Bytes{3});
    ASSERT_TRUE(recorder_.waitFor(3));
    EXPECT_EQ(recorder_.statuses(), (std::vector<int>{0, 0, 0}));
}

TEST_F(ListenerTest, HostilePeersAreClosedAndAGoodReaderIsServed) {
    _VKKRN_TASK_INIT r = record(3, 1);
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 3, &r, nullptr), 0);
    const int baseline = vktesting::openDescriptors();
    {
        const auto silent = connectRaw(port_);
        ASSERT_TRUE(silent->connected());
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(silent->closedWithin(6s));
        EXPECT_GE(std::chrono::steady_clock::now() - start, 2900ms) << "closed at the idle limit";
    }
    EXPECT_TRUE(vktesting::waitUntil([&] { return logHas("Disconnected (6)"); })); // logged after the close
    EXPECT_TRUE(logHas("Idle timeout: 3"));
    {
        const auto half = connectRaw(port_);
        ASSERT_TRUE(half->connected());
        const Bytes frame = krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1, 2, 3});
        half->send(Bytes(frame.begin(), frame.begin() + 4));
        ASSERT_TRUE(recorder_.waitFor(1, 3s));
        EXPECT_EQ(recorder_.statuses(), std::vector<int>{-1230});
        ASSERT_TRUE(half->closedWithin(4s));
    }
    {
        const auto noise = connectRaw(port_);
        ASSERT_TRUE(noise->connected());
        Bytes junk(4096);
        for (std::size_t i = 0; i < junk.size(); ++i)
            junk[i] = static_cast<std::uint8_t>(i * 131 + 7);
        noise->send(junk);
    } // closed at once
    // A connection queued behind the noise is reset when the listener takes the
    // noise's: a good reader connects again until it is served.
    auto good = retryUntilServed(
        [&](krnsim::Notifier& reader) {
            reader.notify(0x22, Bytes{9});
            return vktesting::waitUntil(
                [&] {
                    const auto calls = recorder_.calls();
                    return !calls.empty() && calls.back().status == 0;
                },
                500ms);
        },
        5s);
    ASSERT_TRUE(good) << log();
    for (const int status : recorder_.statuses())
        EXPECT_TRUE(status == 0 || status == -1230 || status == -4030 || status == -4031) << status;
    good.reset();
    EXPECT_TRUE(vktesting::waitUntil([&] { return vktesting::openDescriptors() <= baseline; }));
    // The listener closed the silent peer's connection first: its side waits out
    // TIME_WAIT on the port, and a new listener there is refused meanwhile.
    EXPECT_EQ(cancelOutsideTheCallback(reader_), 0);
    EXPECT_EQ(VKKRN_StartAsyncTask(reader_, 3, &r, nullptr), -4086);
}

TEST_F(ListenerTest, AQuietReaderKeepsItsConnectionAfterItsFirstFrame) {
    _VKKRN_TASK_INIT r = record(3, 1);
    auto reader = serve(3, r);
    ASSERT_TRUE(reader);
    reader->notify(0x22, Bytes{1});
    ASSERT_TRUE(recorder_.waitFor(1));
    EXPECT_FALSE(reader->waitFrame(6500ms));
    EXPECT_FALSE(reader->closedByHost());
    reader->notify(0x22, Bytes{2});
    ASSERT_TRUE(recorder_.waitFor(2));
}

TEST_F(ListenerTest, CipherRefusalsAndAnUnauthenticatedReader) {
    _VKKRN_TASK_INIT r = record(3, 1);
    withKey(r, 16);
    auto reader = serve(3, r);
    ASSERT_TRUE(reader);
    reader->notify(0x22, Bytes{1});
    ASSERT_TRUE(recorder_.waitFor(1));
    EXPECT_EQ(recorder_.calls()[0].status, -4092);
    EXPECT_FALSE(reader->waitFrame(200ms)) << "no acknowledgement";
    krnsim::HandshakeFaults wrongType;
    EXPECT_FALSE(reader->authenticate(1, keyBytes(24), wrongType, 300ms));
    ASSERT_TRUE(recorder_.waitFor(2));
    EXPECT_EQ(recorder_.calls()[1].status, -4092);
    // Never authenticated: closed at the idle limit with -4092.
    EXPECT_TRUE(vktesting::waitUntil([&] { return reader->waitFrame(100ms), reader->closedByHost(); }, 5s));
    EXPECT_EQ(recorder_.statuses(), (std::vector<int>{-4092, -4092, -4092}));
}

TEST_F(ListenerTest, KeptConnectionsCloseWithTheReader) {
    const int baseline = vktesting::openDescriptors();
    _VKKRN_TASK_INIT r = record(3, 1);
    r.uiKeepConnection = 1;
    auto reader = serve(3, r);
    ASSERT_TRUE(reader);
    reader->notify(0x22, Bytes{1});
    ASSERT_TRUE(recorder_.waitFor(1));
    EXPECT_EQ(cancelOutsideTheCallback(reader_), 0);
    EXPECT_FALSE(reader->waitFrame(200ms));
    EXPECT_FALSE(reader->closedByHost()) << "kept";
    EXPECT_EQ(VKKRN_StartAsyncTask(reader_, 3, &r, nullptr), -4086) << "the kept connection holds the port";
    EXPECT_EQ(VKKRN_DeleteReader(reader_), 0);
    reader_ = 0;
    EXPECT_FALSE(reader->waitFrame(2s));
    EXPECT_TRUE(reader->closedByHost());
    reader.reset();
    EXPECT_TRUE(vktesting::waitUntil([&] { return vktesting::openDescriptors() <= baseline; }));
}

TEST_F(ListenerTest, CancelAndDeletionWhileServing) {
    _VKKRN_TASK_INIT r = record(3, 1);
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 3, &r, nullptr), 0);
    // Cancel while accepting.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(cancelOutsideTheCallback(reader_), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    // Cancel from inside the callback is refused; the listener goes on.
    port_ = vkkrn_test::freeLoopbackPort();
    r = record(3, 1);
    std::atomic<int> refused{1};
    std::atomic<int> command{1};
    recorder_.onCall = [&](const vkkrn_test::ListenerCall&) {
        if (refused.load() != 1) return;
        refused.store(VKKRN_CancelAsyncTask(reader_));
        unsigned char version[64] = {};
        command.store(VKKRN_0x65_SoftVersion(reader_, 1, version, 0));
    };
    auto reader = serve(3, r);
    ASSERT_TRUE(reader);
    reader->notify(0x22, Bytes{1});
    ASSERT_TRUE(recorder_.waitFor(1));
    EXPECT_EQ(refused.load(), -4084);
    EXPECT_EQ(command.load(), -4032) << "a command on the listener's own reader from its callback";
    reader->notify(0x22, Bytes{2});
    ASSERT_TRUE(recorder_.waitFor(2));

    // Deletion while a frame is half read: no later callback.
    const Bytes frame = krnsim::buildReply(Form::Standard, 1, 0x22, 0, Bytes{1, 2, 3});
    reader->send(Bytes(frame.begin(), frame.begin() + 3));
    std::this_thread::sleep_for(50ms);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(VKKRN_DeleteReader(reader_), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    reader_ = 0;
    const int count = recorder_.count();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(recorder_.count(), count);
}

TEST_F(ListenerTest, APortTakenMeanwhileEndsTheTask) {
    _VKKRN_TASK_INIT r = record(3, 1);
    auto reader = serve(3, r);
    ASSERT_TRUE(reader);
    reader->notify(0x22, Bytes{1});
    ASSERT_TRUE(recorder_.waitFor(1));
    // While the connection is served the port has no listener: another takes it.
    vktesting::UniqueFd thief(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    setsockopt(thief.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port_);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(thief.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(thief.get(), 1), 0);
    reader.reset();
    ASSERT_TRUE(recorder_.waitFor(2));
    EXPECT_EQ(recorder_.calls()[1].status, -4083);
    EXPECT_TRUE(vktesting::waitUntil([&] { return VKKRN_CancelAsyncTask(reader_) == -4081; })) << "task over";
}

TEST_F(ListenerTest, DescriptorsAbove1024) {
    std::vector<vktesting::UniqueFd> filler;
    while (filler.empty() || filler.back().get() < 1100)
        filler.emplace_back(::dup(0));
    _VKKRN_TASK_INIT r = record(3, 1);
    r.uiAcknowledge = 1;
    auto reader = serve(3, r);
    ASSERT_TRUE(reader);
    ASSERT_GT(reader->fd(), 1024);
    reader->notify(0x22, Bytes{1});
    ASSERT_TRUE(reader->waitFrame(5s));
    ASSERT_TRUE(recorder_.waitFor(1));
    EXPECT_EQ(recorder_.calls()[0].status, 0);
}

TEST_F(ListenerTest, TwoListenersHandshakeAtOnce) {
    vkkrn_test::ListenerRecorder otherRecorder;
    const int other = VKKRN_NewReader(0);
    ASSERT_GT(other, 0);
    _VKKRN_TASK_INIT r = record(3, 1);
    withKey(r, 32);
    ASSERT_EQ(VKKRN_StartAsyncTask(reader_, 3, &r, nullptr), 0);
    _VKKRN_TASK_INIT o = r;
    o.pAny = &otherRecorder;
    o.uiTcpPort = vkkrn_test::freeLoopbackPort();
    ASSERT_EQ(VKKRN_StartAsyncTask(other, 3, &o, nullptr), 0);
    std::atomic<int> good{0};
    auto run = [&](std::uint16_t port) {
        for (int i = 0; i < 500; ++i) {
            try {
                krnsim::Notifier reader(port);
                for (int round = 0; round < 5; ++round) {
                    if (!reader.authenticate(2, keyBytes(32))) return;
                    reader.notify(0x22, Bytes{static_cast<std::uint8_t>(round)}, Form::Advanced);
                    const auto ack = reader.waitFrame(5s);
                    if (!ack || ack->command != 0x32) return;
                }
                good.fetch_add(1);
                return;
            } catch (const std::runtime_error&) {
                std::this_thread::sleep_for(5ms);
            }
        }
    };
    std::thread first(run, port_);
    std::thread second(run, static_cast<std::uint16_t>(o.uiTcpPort));
    first.join();
    second.join();
    EXPECT_EQ(good.load(), 2);
    EXPECT_EQ(recorder_.statuses(), std::vector<int>(5, 0));
    EXPECT_EQ(otherRecorder.statuses(), std::vector<int>(5, 0));
    EXPECT_EQ(VKKRN_DeleteReader(other), 0);
}

} // namespace
