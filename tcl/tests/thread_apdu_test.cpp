// Asynchronous APDUs: callbacks, chaining from callbacks, deletion under a
// running worker and from its callback.
#include "tcl_link.h"

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using krnsim::CardAnswer;

int threadCount() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(d))
            n += e->d_name[0] != '.' ? 1 : 0;
        ::closedir(d);
    }
    return n;
}

struct Calls {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    int handle = 0;
    int result = 0;
    int length = 0;
    int deletion = 1; // what a callback's deletion of its transponder gave
    void* context = nullptr;
    Bytes response;

    void record(void* c, int h, int r, int l) {
        std::lock_guard<std::mutex> lock(mutex);
        ++count;
        context = c;
        handle = h;
        result = r;
        length = l;
        changed.notify_all();
    }
    bool waitFor(int n, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return count >= n; });
    }
    int calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return count;
    }
};

Calls* g_calls = nullptr;

void callback3(int h, int r, int l) {
    g_calls->record(nullptr, h, r, l);
}

void callback4(void* any, int h, int r, int l) {
    auto* calls = static_cast<Calls*>(any);
    // The response may be fetched from the callback.
    Bytes out(l > 0 ? static_cast<std::size_t>(l) : 1);
    const int n = VKTCL_GetResponseData(h, out.data(), static_cast<int>(out.size()));
    if (n >= 0) out.resize(static_cast<std::size_t>(n));
    {
        std::lock_guard<std::mutex> lock(calls->mutex);
        calls->response = out;
    }
    calls->record(any, h, r, l);
}

class TclAsync : public TclLinkTest {
  protected:
    // Long enough for a loaded machine: an answer later than the plug-in's
    // time-out would be read as the answer to the next reader command.
    static constexpr int kLoadedTimeoutMs = 2000;

    void SetUp() override {
        open(TclLink::PlugIn);
        plugIn_->timeoutMs = kLoadedTimeoutMs;
        g_calls = &calls_;
    }
    void TearDown() override {
        TclLinkTest::TearDown();
        g_calls = nullptr;
    }

    _VKTCL_EVENT_INIT event(unsigned int selector, void* callback) {
        _VKTCL_EVENT_INIT e{};
        e.pAny = &calls_;
        e.uiFlag = selector;
        e.callback = callback;
        return e;
    }
    int start(int h, const Bytes& a, _VKTCL_EVENT_INIT e) {
        return VKTCL_Apdu(h, const_cast<std::uint8_t*>(a.data()), static_cast<int>(a.size()), &e);
    }

    Calls calls_;
};

TEST_F(TclAsync, CallbackForms) {
    const int h = newTransponder();
    const Bytes a = apduOf(9);
    ASSERT_EQ(start(h, a, event(3, reinterpret_cast<void*>(&callback3))), 0);
    ASSERT_TRUE(calls_.waitFor(1));
    EXPECT_EQ(calls_.handle, h);
    EXPECT_EQ(calls_.result, 0);
    EXPECT_EQ(calls_.length, 11);
    EXPECT_EQ(response(h), echoed(a));

    ASSERT_EQ(start(h, a, event(4, reinterpret_cast<void*>(&callback4))), 0);
    ASSERT_TRUE(calls_.waitFor(2));
    EXPECT_EQ(calls_.context, &calls_);
    EXPECT_EQ(calls_.response, echoed(a));

    // Another selector, or no callback, calls nothing; the response still comes.
    for (const auto& e : {event(7, reinterpret_cast<void*>(&callback3)), event(3, nullptr)}) {
        ASSERT_EQ(start(h, a, e), 0);
        int rc = -4209;
        const auto until = Clock::now() + std::chrono::seconds(3);
        while (rc == -4209 && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            response(h, &rc);
        }
        EXPECT_EQ(rc, 11);
    }
    EXPECT_EQ(calls_.calls(), 2);
}

TEST_F(TclAsync, BusyWhileAWorkerRuns) {
    const int h = newTransponder();
    card_->setResponseTime(krnsim::Millis(100));
    ASSERT_EQ(start(h, apduOf(4), event(3, reinterpret_cast<void*>(&callback3))), 0);
    const Bytes a = apduOf(4);
    EXPECT_EQ(apdu(h, a), -4209);
    EXPECT_EQ(VKTCL_Ping(h), -4209);
    EXPECT_EQ(VKTCL_Deselect(h), -4209);
    int rc = 0;
    response(h, &rc);
    EXPECT_EQ(rc, -4209);
    ASSERT_TRUE(calls_.waitFor(1));
    EXPECT_EQ(response(h), echoed(a));
}

struct Chain {
    Calls* calls = nullptr;
    std::atomic<int> left{100};
    Bytes apdu;
};
void chainCallback(void* any, int h, int r, int l) {
    auto* chain = static_cast<Chain*>(any);
    if (r == 0 && l == static_cast<int>(chain->apdu.size()) + 2 && --chain->left > 0) {
        _VKTCL_EVENT_INIT e{};
        e.pAny = any;
        e.uiFlag = 4;
        e.callback = reinterpret_cast<void*>(&chainCallback);
        if (VKTCL_Apdu(h, chain->apdu.data(), static_cast<int>(chain->apdu.size()), &e) == 0) return;
    }
    chain->calls->record(any, h, r, l);
}

TEST_F(TclAsync, HundredApdusChainedFromCallbacks) {
    const int before = threadCount();
    const int h = newTransponder();
    Chain chain;
    chain.calls = &calls_;
    chain.apdu = apduOf(20);
    _VKTCL_EVENT_INIT e{&chain, 0, 0, 4, reinterpret_cast<void*>(&chainCallback)};
    ASSERT_EQ(VKTCL_Apdu(h, chain.apdu.data(), 20, &e), 0);
    ASSERT_TRUE(calls_.waitFor(1, std::chrono::milliseconds(20000)));
    EXPECT_EQ(chain.left.load(), 0) << "last result " << calls_.result;
    EXPECT_EQ(card_->apdus().size(), 100u);
    EXPECT_EQ(VKTCL_DeleteTransponder(h), 0);
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (threadCount() > before && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_LE(threadCount(), before);
}

TEST_F(TclAsync, DeleteDuringASilentExchange) {
    plugIn_->timeoutMs = kTimeoutMs;
    const int h = newTransponder();
    card_->setFaultHook([](std::vector<CardAnswer>& a) { a.clear(); });
    ASSERT_EQ(start(h, apduOf(4), event(3, reinterpret_cast<void*>(&callback3))), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto begin = Clock::now();
    EXPECT_EQ(VKTCL_DeleteTransponder(h), 0);
    EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(kTimeoutMs * 4));
    EXPECT_EQ(calls_.calls(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(calls_.calls(), 1);
}

// An APDU cancelled by the deletion of its transponder calls back once with
// -4234 (its response did not come), whether it stopped between two answers or
// between two request blocks. The deletion comes once the card has the first
// request block; what the exchange waits for then is 150 ms away. (The answers
// left unread at the end stay on the line: that row comes last.)
TEST_F(TclAsync, ACancelledApduCallsBackWithItsCode) {
    const struct {
        const char* name;
        std::size_t apdu;
        std::function<void(krnsim::TclCard&)> arrange;
    } rows[] = {
        {"between request blocks", 600,
         [](krnsim::TclCard& card) { card.setResponseTime(krnsim::Millis(150)); }},
        {"between answers", 100,
         [](krnsim::TclCard& card) {
             card.setChainingSize(30);
             card.setFaultHook([](std::vector<CardAnswer>& a) {
                 for (std::size_t i = 1; i < a.size(); ++i)
                     a[i].delay = krnsim::Millis(150);
             });
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int h = newTransponder();
        row.arrange(*card_);
        sim_->reader().log().clear();
        const int before = calls_.calls();
        ASSERT_EQ(start(h, apduOf(row.apdu), event(3, reinterpret_cast<void*>(&callback3))), 0);
        ASSERT_TRUE(sim_->reader().log().waitFor(1, krnsim::Millis(3000)));
        EXPECT_EQ(VKTCL_DeleteTransponder(h), 0);
        EXPECT_EQ(calls_.calls(), before + 1);
        EXPECT_EQ(calls_.result, -4234);
        EXPECT_LT(calls_.length, static_cast<int>(row.apdu) + 2);
        EXPECT_EQ(sim_->reader().log().entries().size(), 1u) << "nothing sent after the deletion";
        card_->setFaultHook({});
        card_->setChainingSize(0);
        card_->setResponseTime(krnsim::Millis(0));
    }
}

void deletingCallback(void* any, int h, int r, int l) {
    auto* calls = static_cast<Calls*>(any);
    const int deleted = VKTCL_DeleteTransponder(h);
    {
        std::lock_guard<std::mutex> lock(calls->mutex);
        calls->deletion = deleted;
    }
    calls->record(any, h, r, l);
}

TEST_F(TclAsync, CallbackDeletesItsTransponder) {
    const int h = newTransponder();
    ASSERT_EQ(start(h, apduOf(4), event(4, reinterpret_cast<void*>(&deletingCallback))), 0);
    ASSERT_TRUE(calls_.waitFor(1));
    EXPECT_EQ(calls_.result, 0);
    EXPECT_EQ(calls_.length, 6);
    EXPECT_EQ(calls_.deletion, 0);
    EXPECT_EQ(VKTCL_GetTransponderList(0), -4201);
    // A new transponder starts a worker that finds the handed-over one reaped.
    const int next = newTransponder();
    ASSERT_EQ(start(next, apduOf(4), event(3, reinterpret_cast<void*>(&callback3))), 0);
    ASSERT_TRUE(calls_.waitFor(2));
}

// ---- Several threads on one transponder or one reader ----------------------------

class TclThreads : public TclLinkTest {};

// What one thread's APDUs came to.
struct ApduTally {
    int right = 0;        // its own response
    int refused = 0;      // -4209: another exchange held the transponder
    int fetchRefused = 0; // -4209 for the response: the other thread's APDU began meanwhile
    std::vector<std::string> wrong;
};

// Runs `ran` APDUs of `apdu` that were not refused, refused ones not counted.
ApduTally runApdus(int h, const Bytes& apdu, int ran) {
    ApduTally tally;
    Bytes out(70000);
    while (ran > 0) {
        const int rc =
            VKTCL_Apdu(h, const_cast<std::uint8_t*>(apdu.data()), static_cast<int>(apdu.size()), nullptr);
        if (rc == -4209) {
            ++tally.refused;
            std::this_thread::yield();
            continue;
        }
        --ran;
        const int n = VKTCL_GetResponseData(h, out.data(), static_cast<int>(out.size()));
        if (rc == 0 && n == -4209) {
            ++tally.fetchRefused;
        } else {
            Bytes expected = apdu;
            expected.push_back(0x90);
            expected.push_back(0x00);
            if (rc == 0 && n == static_cast<int>(expected.size()) &&
                std::equal(expected.begin(), expected.end(), out.begin()))
                ++tally.right;
            else
                tally.wrong.push_back("result " + std::to_string(rc) + ", response " + std::to_string(n));
        }
    }
    return tally;
}

// Two threads with synchronous APDUs on one transponder: one exchange holds it
// at a time, the other is refused with -4209; no thread gets the other's
// response or a broken one.
TEST_P(TclThreads, SynchronousApdusOnOneTransponder) {
    const int h = newTransponder();
    const Bytes first = apduOf(12000, 0x10);
    const Bytes second = apduOf(12000, 0x80);
    ApduTally tallies[2];
    std::thread other([&] { tallies[1] = runApdus(h, second, 6); });
    tallies[0] = runApdus(h, first, 6);
    other.join();
    for (const ApduTally& t : tallies) {
        EXPECT_TRUE(t.wrong.empty()) << ::testing::PrintToString(t.wrong);
        EXPECT_EQ(t.right + t.fetchRefused + static_cast<int>(t.wrong.size()), 6);
    }
    EXPECT_GT(tallies[0].right + tallies[1].right, 0);
}

// APDUs and commands of another thread on one reader: every block goes out and
// comes back under the reader's command lock, so neither takes the other's reply.
TEST_P(TclThreads, ApdusAndReaderCommandsOnOneReader) {
    setBuffers(256, 4096); // the response comes in one answer frame
    const int h = newTransponder();
    std::atomic<bool> done{false};
    std::vector<int> versionResults;
    std::thread commands([&] {
        unsigned char version[256];
        while (!done.load())
            versionResults.push_back(
                VKKRN_0x65_SoftVersion(reader_, krnsim::Reader::kDefaultBusAddress, version, 0));
    });
    int right = 0;
    std::vector<int> failures;
    for (int i = 0; i < 10; ++i) {
        const Bytes a = apduOf(1024, static_cast<std::uint8_t>(i));
        const int rc = apdu(h, a);
        if (rc == 0 && response(h) == echoed(a))
            ++right;
        else
            failures.push_back(rc);
    }
    done = true;
    commands.join();
    EXPECT_EQ(right, 10) << ::testing::PrintToString(failures);
    EXPECT_FALSE(versionResults.empty());
    for (const int rc : versionResults)
        EXPECT_EQ(rc, 0);
}

INSTANTIATE_TEST_SUITE_P(Links, TclThreads, ::testing::Values(TclLink::Serial, TclLink::Tcp, TclLink::PlugIn),
                         tclLinkName);

// ---- The application's stop flag ------------------------------------------------

void countEvent(void* any, unsigned char*, int) {
    static_cast<std::atomic<int>*>(any)->fetch_add(1);
}

// Deleting a transponder whose APDU runs leaves libvkkrn's stop flag as the
// application set it.
TEST_F(TclAsync, DeletionKeepsTheApplicationsStopFlag) {
    std::atomic<int> events{0};
    _VKKRN_EVENT_INIT handler{};
    handler.pAny = &events;
    handler.uiUse = 1;
    handler.uiFlag = 6;
    handler.callback.form6 = &countEvent;
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGPROT", "1"), 0);
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &handler), 0);
    unsigned char version[256];
    ASSERT_EQ(VKKRN_0x65_SoftVersion(reader_, krnsim::Reader::kDefaultBusAddress, version, 0), 0);
    ASSERT_GT(events.load(), 0) << "the handler sees the reader's protocol lines";

    plugIn_->timeoutMs = kTimeoutMs;
    const int h = newTransponder();
    ASSERT_EQ(VKKRN_SetStopFlag(), 0);
    card_->setFaultHook([](std::vector<CardAnswer>& a) { a.clear(); });
    ASSERT_EQ(start(h, apduOf(4), event(3, reinterpret_cast<void*>(&callback3))), 0);
    EXPECT_EQ(VKTCL_DeleteTransponder(h), 0);
    events.store(0);
    EXPECT_EQ(VKKRN_0x65_SoftVersion(reader_, krnsim::Reader::kDefaultBusAddress, version, 0), 0);
    EXPECT_EQ(events.load(), 0) << "the reader's protocol lines went out again";
    ASSERT_EQ(VKKRN_ClearStopFlag(), 0);
    EXPECT_EQ(VKKRN_0x65_SoftVersion(reader_, krnsim::Reader::kDefaultBusAddress, version, 0), 0);
    EXPECT_GT(events.load(), 0);
    EXPECT_EQ(VKKRN_DelEventHandler(reader_, &handler), 0);
}

} // namespace
