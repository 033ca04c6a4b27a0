// Allocations that fail on the caller's thread while an APDU starts on a
// worker or runs on the caller's thread, each in turn: the call returns 0 or a
// code, no exception leaves it, every start that returned 0 calls back, and the
// transponder is free for the next APDU.
#include "tcl_link.h"

#include <vktesting/allocation_counter.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

struct Callbacks {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;

    static void record(void* any, int, int, int) {
        auto* self = static_cast<Callbacks*>(any);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->count;
        self->changed.notify_all();
    }
    bool waitFor(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(3), [&] { return count >= n; });
    }
    int calls() {
        std::lock_guard<std::mutex> lock(mutex);
        return count;
    }
};

class TclAllocation : public TclLinkTest {
  protected:
    void SetUp() override { open(TclLink::PlugIn); }
};

TEST_F(TclAllocation, EachAllocationOfAnApduMayFail) {
    const int h = newTransponder();
    const Bytes a = apduOf(20);
    Callbacks callbacks;
    for (const bool worker : {true, false}) {
        SCOPED_TRACE(worker ? "on a worker" : "on the caller's thread");
        int failed = 0;
        for (std::uint64_t n = 1;; ++n) {
            SCOPED_TRACE(n);
            const int before = callbacks.calls();
            _VKTCL_EVENT_INIT event{&callbacks, 0, 0, VKTCL_CALLBACK4,
                                    reinterpret_cast<void*>(&Callbacks::record)};
            Bytes request = a;
            int rc = 1;
            bool threw = false;
            vktesting::failThreadAllocation(n);
            try {
                rc = VKTCL_Apdu(h, request.data(), static_cast<int>(request.size()),
                                worker ? &event : nullptr);
            } catch (...) {
                threw = true;
            }
            const bool hit = !vktesting::threadAllocationFailurePending();
            vktesting::failThreadAllocation(0);
            EXPECT_FALSE(threw);
            if (worker && rc == 0) {
                EXPECT_TRUE(callbacks.waitFor(before + 1));
            } else {
                // No memory, or no thread (its start needs memory too).
                EXPECT_TRUE(rc == 0 || rc == -4203 || rc == -4227) << rc;
                EXPECT_EQ(callbacks.calls(), before);
            }
            // The transponder is free again and the line in step.
            EXPECT_EQ(apdu(h, a), 0);
            EXPECT_EQ(response(h), echoed(a));
            if (!hit) break;
            ++failed;
            if (HasFailure()) break;
        }
        EXPECT_GT(failed, 0);
    }
}

} // namespace
