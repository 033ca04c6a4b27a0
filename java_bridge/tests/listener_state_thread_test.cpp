// Threads taking, giving back and reading the shared state at once.
#include "fake_references.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using nubokrn4j::ListenerKind;
using nubokrn4j::Slot;
using nubokrn4j::TaskId;
using nubokrn4j::testing::fakeObject;

TEST(ListenerStateThreads, UsesAndReferencesBalance) {
    nubokrn4j::testing::FakeReferences refs;
    std::atomic<std::uint8_t> taskActive{0};
    nubokrn4j::ListenerState state(refs, taskActive);
    constexpr int kRounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const Slot slot = t % 2 == 0 ? Slot::Reader : Slot::Apdu;
            for (int i = 0; i < kRounds; ++i) {
                if (state.take(slot, fakeObject(t)) != nullptr) state.giveBack(slot);
                if (state.addRegistration(ListenerKind::Reader, t, fakeObject(t)) != nullptr) {
                    EXPECT_TRUE(state.removeRegistration(ListenerKind::Reader, t));
                }
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            nubokrn4j::TaskRecord r;
            r.kind = static_cast<std::uint32_t>(1 + i % 2);
            state.beginTask(TaskId::Inventory, r);
            if (i % 3 == 0)
                state.refuseTask(TaskId::Inventory);
            else
                state.acceptTask(TaskId::Inventory);
            state.setTaskBit(nubokrn4j::kReaderTaskBit);
            state.clearTaskBit(nubokrn4j::kReaderTaskBit);
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            const auto r = state.snapshot(TaskId::Inventory);
            EXPECT_LE(r.kind, 2u);
            EXPECT_GE(state.slot(Slot::Reader).uses, 0);
        }
    });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(state.slot(Slot::Reader).uses, 0);
    EXPECT_EQ(state.slot(Slot::Apdu).uses, 0);
    EXPECT_EQ(refs.live(), 0);
    EXPECT_EQ(taskActive.load(), 0);
}

} // namespace
