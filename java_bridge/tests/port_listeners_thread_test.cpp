// The listener table of the port libraries' events against a fake library
// whose calls can be held: adds and removals of one event at once, from other
// modules, from the same module and from a thread inside a callback.
#include "port_listeners.h"

#include <vktesting/wait_until.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;
using nubokrn4j::PortListeners;

constexpr int kNone = -138;
constexpr int kInsideHandler = -1107;

// A library that keeps one handler per (port, event), as the port libraries
// keep one per callback. Its next add or removal can be held until released.
class FakeLibrary {
  public:
    static FakeLibrary& instance() {
        static FakeLibrary library;
        return library;
    }
    static int add(int port, int event) { return instance().call(true, port, event); }
    static int remove(int port, int event) { return instance().call(false, port, event); }

    void reset() {
        std::lock_guard lock(mutex_);
        handlers_.clear();
        adds_ = removals_ = 0;
        holdAdd_ = holdRemoval_ = holding_ = false;
        refuseAdd_ = refuseRemoval_ = 0;
    }
    void holdNext(bool add) {
        std::lock_guard lock(mutex_);
        (add ? holdAdd_ : holdRemoval_) = true;
    }
    void refuseNext(bool add, int code) {
        std::lock_guard lock(mutex_);
        (add ? refuseAdd_ : refuseRemoval_) = code;
    }
    bool waitHolding() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return holding_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }
    bool holds(int port, int event) const {
        std::lock_guard lock(mutex_);
        return handlers_.count({port, event}) != 0;
    }
    std::pair<int, int> calls() const {
        std::lock_guard lock(mutex_);
        return {adds_, removals_};
    }

  private:
    int call(bool add, int port, int event) {
        std::unique_lock lock(mutex_);
        ++(add ? adds_ : removals_);
        if (std::exchange(add ? holdAdd_ : holdRemoval_, false)) {
            holding_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return !holding_; });
        }
        if (const int refused = std::exchange(add ? refuseAdd_ : refuseRemoval_, 0); refused != 0)
            return refused;
        if (add) {
            handlers_.insert({port, event});
            return 0;
        }
        return handlers_.erase({port, event}) != 0 ? 0 : -1150;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::pair<int, int>> handlers_;
    int adds_ = 0;
    int removals_ = 0;
    bool holdAdd_ = false;
    bool holdRemoval_ = false;
    bool holding_ = false;
    int refuseAdd_ = 0;
    int refuseRemoval_ = 0;
};

constexpr PortListeners::Calls kCalls{&FakeLibrary::add, &FakeLibrary::remove};
constexpr PortListeners::Key kKey{true, 1, 0};

VKDM_KRNReaderModule_4J* module(int n) {
    return reinterpret_cast<VKDM_KRNReaderModule_4J*>(static_cast<std::uintptr_t>(0x1000 * n));
}

// A call on a thread of its own; whether it has returned, and what.
class Call {
  public:
    template <typename Body>
    explicit Call(Body body)
        : thread_([this, body] {
              result_ = body();
              done_ = true;
          }) {}
    ~Call() {
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_.load(); }
    int result() {
        thread_.join();
        return result_.load();
    }

  private:
    std::atomic<bool> done_{false};
    std::atomic<int> result_{1};
    std::thread thread_;
};

class PortListenersThreads : public ::testing::Test {
  protected:
    void SetUp() override { library.reset(); }

    FakeLibrary& library = FakeLibrary::instance();
    PortListeners table;
};

// However the two overlap, the add returns with the callback registered.
TEST_F(PortListenersThreads, AnAddWaitsForTheRemovalOfTheLastListenerInFlight) {
    ASSERT_EQ(table.add(module(1), kKey, 0, kCalls), 0);
    library.holdNext(false);
    Call removal([&] { return table.remove(module(1), kKey, kNone); });
    ASSERT_TRUE(library.waitHolding());
    Call addition([&] {
        const int r = table.add(module(2), kKey, 0, kCalls);
        return r == 0 && !library.holds(kKey.port, kKey.event) ? -1 : r;
    });
    EXPECT_FALSE(vktesting::waitUntil([&] { return addition.done(); }, 50ms));
    library.release();
    EXPECT_EQ(removal.result(), 0);
    EXPECT_EQ(addition.result(), 0);
    EXPECT_TRUE(library.holds(kKey.port, kKey.event));
    EXPECT_EQ(library.calls(), std::make_pair(2, 1));
}

// Two adds of one module at once: the callback is registered once, and only
// the last of the two removals takes it away.
TEST_F(PortListenersThreads, TwoAddsAtOnceRegisterTheCallbackOnce) {
    library.holdNext(true);
    Call first([&] { return table.add(module(1), kKey, 0, kCalls); });
    ASSERT_TRUE(library.waitHolding());
    Call second([&] {
        const int r = table.add(module(1), kKey, 0, kCalls);
        return r == 0 && !library.holds(kKey.port, kKey.event) ? -1 : r;
    });
    EXPECT_FALSE(vktesting::waitUntil([&] { return second.done(); }, 50ms));
    library.release();
    EXPECT_EQ(first.result(), 0);
    EXPECT_EQ(second.result(), 0);
    EXPECT_EQ(library.calls(), std::make_pair(1, 0));
    EXPECT_EQ(table.remove(module(1), kKey, kNone), 0);
    EXPECT_TRUE(library.holds(kKey.port, kKey.event));
    EXPECT_EQ(table.remove(module(1), kKey, kNone), 0);
    EXPECT_FALSE(library.holds(kKey.port, kKey.event));
    EXPECT_EQ(table.remove(module(1), kKey, kNone), kNone);
}

// A thread inside a callback never waits for a library call in flight (that
// call may wait for the callback); the thread making it settles afterwards.
TEST_F(PortListenersThreads, ACallbacksThreadChangesWithoutWaitingAndTheCallInFlightSettles) {
    struct Case {
        const char* name;
        bool held;      // the call in flight: an add (true) or a removal
        bool listening; // module 2 listens once the callback's thread is done
    } cases[] = {
        {"an add during the last removal", false, true},
        {"the module dropped during the first add", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        library.reset();
        PortListeners fresh;
        if (!c.held) {
            ASSERT_EQ(fresh.add(module(1), kKey, 0, kCalls), 0);
        }
        library.holdNext(c.held);
        Call inFlight([&] {
            return c.held ? fresh.add(module(2), kKey, 0, kCalls) : fresh.remove(module(1), kKey, kNone);
        });
        ASSERT_TRUE(library.waitHolding());
        std::thread([&] {
            const PortListeners::InCallback inCallback;
            if (c.listening) {
                EXPECT_EQ(fresh.add(module(2), kKey, 0, kCalls), 0);
            } else {
                EXPECT_EQ(fresh.drop(module(2), true, kKey.event), 1);
            }
        }).join();
        library.release();
        EXPECT_EQ(inFlight.result(), 0);
        EXPECT_EQ(library.holds(kKey.port, kKey.event), c.listening);
        EXPECT_EQ(fresh.remove(module(2), kKey, kNone), c.listening ? 0 : kNone);
        EXPECT_FALSE(library.holds(kKey.port, kKey.event));
    }
}

// What the library refuses changes nothing in the table, and the next change
// asks again.
TEST_F(PortListenersThreads, RefusalsChangeNothingAndTheNextChangeAsksAgain) {
    library.refuseNext(true, kInsideHandler);
    EXPECT_EQ(table.add(module(1), kKey, 0, kCalls), kInsideHandler);
    EXPECT_EQ(table.remove(module(1), kKey, kNone), kNone);
    EXPECT_EQ(table.add(module(1), kKey, 0, kCalls), 0);
    EXPECT_TRUE(library.holds(kKey.port, kKey.event));
    library.refuseNext(false, kInsideHandler);
    EXPECT_EQ(table.remove(module(1), kKey, kNone), kInsideHandler);
    EXPECT_TRUE(library.holds(kKey.port, kKey.event));
    EXPECT_EQ(table.remove(module(1), kKey, kNone), 0);
    EXPECT_FALSE(library.holds(kKey.port, kKey.event));
    EXPECT_EQ(library.calls(), std::make_pair(2, 2));
    EXPECT_EQ(table.add(module(1), kKey, 0, kCalls), 0);
    // Another port of the serial library is a registration of its own.
    constexpr PortListeners::Key kSerial{false, 4, 7};
    EXPECT_EQ(table.add(module(1), kSerial, 3, kCalls), 0);
    EXPECT_TRUE(library.holds(7, 4));
    EXPECT_EQ(table.drop(module(1), false, 4), 1);
    EXPECT_FALSE(library.holds(7, 4));
    EXPECT_TRUE(library.holds(kKey.port, kKey.event));
}

} // namespace
