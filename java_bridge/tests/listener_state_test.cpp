// Listener slots, registration counts, task records and task-active bits with
// fake references.
#include "fake_references.h"

#include <gtest/gtest.h>

namespace {

using nubokrn4j::ListenerKind;
using nubokrn4j::ListenerState;
using nubokrn4j::Slot;
using nubokrn4j::TaskId;
using nubokrn4j::TaskRecord;
using nubokrn4j::testing::fakeObject;
using nubokrn4j::testing::FakeReferences;

class ListenerStateTest : public ::testing::Test {
  protected:
    FakeReferences refs;
    std::atomic<std::uint8_t> taskActive{0};
    ListenerState state{refs, taskActive};
};

TEST_F(ListenerStateTest, TakeAndGiveBack) {
    enum Op { Take, Give };
    struct Step {
        Op op;
        int object; // for Take
        int uses;
        bool held;
        int heldObject;
        int live;
    };
    const Step steps[] = {
        {Give, 0, 0, false, 0, 0}, // give back on an empty slot: nothing
        {Take, 1, 1, true, 1, 1},  // the first take makes the reference
        {Take, 2, 2, true, 1, 1},  // a second object keeps the first reference
        {Give, 0, 1, true, 1, 1},  //
        {Give, 0, 0, false, 0, 0}, // the last use deletes it
        {Give, 0, 0, false, 0, 0}, //
        {Take, 3, 1, true, 3, 1},  // a new take after emptying
    };
    for (const Step& step : steps) {
        if (step.op == Take)
            EXPECT_NE(state.take(Slot::Queue, fakeObject(step.object)), nullptr);
        else
            state.giveBack(Slot::Queue);
        const auto view = state.slot(Slot::Queue);
        EXPECT_EQ(view.uses, step.uses);
        EXPECT_EQ(view.weak != nullptr, step.held);
        EXPECT_EQ(view.object, step.held ? fakeObject(step.heldObject) : nullptr);
        EXPECT_EQ(refs.live(), step.live);
    }
    EXPECT_EQ(state.slot(Slot::Reader).uses, 0);
    EXPECT_EQ(state.slot(Slot::Apdu).uses, 0);
}

TEST_F(ListenerStateTest, AFailedReferenceAddsNoUse) {
    refs.failNext = true;
    EXPECT_EQ(state.take(Slot::Apdu, fakeObject(1)), nullptr);
    EXPECT_EQ(state.slot(Slot::Apdu).uses, 0);
    refs.failNext = true;
    EXPECT_EQ(state.addRegistration(ListenerKind::Reader, 4, fakeObject(1)), nullptr);
    EXPECT_EQ(state.registrations(ListenerKind::Reader, 4), 0);
}

TEST_F(ListenerStateTest, RegistrationsCountPerKindAndEvent) {
    ASSERT_NE(state.addRegistration(ListenerKind::Reader, 4, fakeObject(1)), nullptr);
    ASSERT_NE(state.addRegistration(ListenerKind::Reader, 4, fakeObject(1)), nullptr);
    ASSERT_NE(state.addRegistration(ListenerKind::Serial, 4, fakeObject(1)), nullptr);
    EXPECT_EQ(state.slot(Slot::Reader).uses, 3);
    EXPECT_EQ(state.registrations(ListenerKind::Reader, 4), 2);
    EXPECT_EQ(state.registrations(ListenerKind::Serial, 4), 1);
    EXPECT_EQ(state.registrations(ListenerKind::Usb, 4), 0);
    // Removing what was never added releases nothing.
    EXPECT_FALSE(state.removeRegistration(ListenerKind::Usb, 4));
    EXPECT_FALSE(state.removeRegistration(ListenerKind::Reader, 5));
    EXPECT_EQ(state.slot(Slot::Reader).uses, 3);
    EXPECT_TRUE(state.removeRegistration(ListenerKind::Reader, 4));
    EXPECT_TRUE(state.removeRegistration(ListenerKind::Serial, 4));
    EXPECT_TRUE(state.removeRegistration(ListenerKind::Reader, 4));
    EXPECT_FALSE(state.removeRegistration(ListenerKind::Reader, 4));
    EXPECT_EQ(state.slot(Slot::Reader).uses, 0);
    EXPECT_EQ(refs.live(), 0);
}

TaskRecord record(std::uint32_t kind, int object) {
    TaskRecord r;
    r.kind = kind;
    r.use = 1;
    r.listener = fakeObject(object);
    return r;
}

TEST_F(ListenerStateTest, ARefusedStartNeverChangesARunningTasksRecord) {
    state.beginTask(TaskId::Repeated, record(2, 1));
    state.acceptTask(TaskId::Repeated);
    // A second start of the same id while it runs is refused by the library.
    state.beginTask(TaskId::Repeated, record(2, 2));
    EXPECT_EQ(state.snapshot(TaskId::Repeated).listener, fakeObject(1));
    state.refuseTask(TaskId::Repeated);
    EXPECT_EQ(state.snapshot(TaskId::Repeated).listener, fakeObject(1));
    // Another id, refused: its own record only, restored.
    state.beginTask(TaskId::Inventory, record(1, 3));
    state.refuseTask(TaskId::Inventory);
    EXPECT_EQ(state.snapshot(TaskId::Inventory).kind, 0u);
    EXPECT_EQ(state.snapshot(TaskId::Repeated).listener, fakeObject(1));
    // Accepted while marked running: the earlier task had ended.
    state.beginTask(TaskId::Repeated, record(2, 4));
    state.acceptTask(TaskId::Repeated);
    EXPECT_EQ(state.snapshot(TaskId::Repeated).listener, fakeObject(4));
    // Ended, then started again: written where the callbacks read it at once.
    state.endTask(TaskId::Repeated);
    EXPECT_FALSE(state.taskRunning(TaskId::Repeated));
    state.beginTask(TaskId::Repeated, record(2, 5));
    EXPECT_EQ(state.snapshot(TaskId::Repeated).listener, fakeObject(5));
    state.acceptTask(TaskId::Repeated);
    EXPECT_TRUE(state.taskRunning(TaskId::Repeated));
}

TEST_F(ListenerStateTest, TheApduRecordIsItsOwn) {
    state.beginTask(TaskId::Sam, record(6, 1));
    state.acceptTask(TaskId::Sam);
    state.beginTask(TaskId::Apdu, record(5, 2));
    state.acceptTask(TaskId::Apdu);
    EXPECT_EQ(state.snapshot(TaskId::Sam).kind, 6u);
    EXPECT_EQ(state.snapshot(TaskId::Sam).listener, fakeObject(1));
    EXPECT_EQ(state.snapshot(TaskId::Apdu).kind, 5u);
    EXPECT_EQ(state.snapshot(TaskId::Apdu).listener, fakeObject(2));
}

TEST_F(ListenerStateTest, TaskActiveBits) {
    EXPECT_FALSE(state.taskActive());
    state.setTaskBit(nubokrn4j::kApduTaskBit);
    EXPECT_TRUE(state.taskActive());
    EXPECT_FALSE(state.readerTaskActive());
    state.setTaskBit(nubokrn4j::kReaderTaskBit);
    EXPECT_EQ(taskActive.load(), 3);
    state.clearTaskBit(nubokrn4j::kApduTaskBit);
    EXPECT_TRUE(state.readerTaskActive());
    state.clearTaskBit(nubokrn4j::kReaderTaskBit);
    EXPECT_FALSE(state.taskActive());
}

// The APDU library gives the transponder free before it calls back, so the
// next APDU may start (from another thread) before the one before has called
// back: each answer takes back its own start only.
TEST_F(ListenerStateTest, TheApduBitLastsWhileAnyStartedApduIsUnanswered) {
    state.apduStarted();
    state.apduStarted();  // the next one, before the first one's answer
    state.apduFinished(); // the first one's answer
    EXPECT_TRUE(state.taskActive());
    state.apduStarted();
    state.apduFinished(); // refused by the library
    EXPECT_TRUE(state.taskActive());
    state.setTaskBit(nubokrn4j::kReaderTaskBit);
    state.apduFinished(); // the second one's answer
    EXPECT_EQ(taskActive.load(), nubokrn4j::kReaderTaskBit);
    state.apduFinished(); // an answer too many changes nothing
    EXPECT_EQ(taskActive.load(), nubokrn4j::kReaderTaskBit);
    state.apduStarted();
    EXPECT_EQ(taskActive.load(), nubokrn4j::kReaderTaskBit | nubokrn4j::kApduTaskBit);
}

TEST_F(ListenerStateTest, ReleaseAllDeletesEveryReference) {
    state.take(Slot::Reader, fakeObject(1));
    state.take(Slot::Queue, fakeObject(2));
    state.addRegistration(ListenerKind::Usb, 1, fakeObject(1));
    state.releaseAll();
    EXPECT_EQ(refs.live(), 0);
    EXPECT_EQ(state.slot(Slot::Reader).uses, 0);
    EXPECT_EQ(state.registrations(ListenerKind::Usb, 1), 0);
}

TEST_F(ListenerStateTest, AUseDroppedWithoutAnEnvKeepsTheReferenceUntilTheNextTakeOrGiveBack) {
    ASSERT_NE(state.take(Slot::Reader, fakeObject(1)), nullptr);
    state.dropUse(Slot::Reader);
    EXPECT_EQ(state.slot(Slot::Reader).uses, 0);
    EXPECT_EQ(refs.live(), 1);
    // A take makes a reference to the object asked for, not the stale one.
    ASSERT_NE(state.take(Slot::Reader, fakeObject(2)), nullptr);
    EXPECT_EQ(state.slot(Slot::Reader).object, fakeObject(2));
    EXPECT_EQ(refs.live(), 1);
    state.dropUse(Slot::Reader);
    // A give-back with an env deletes it.
    state.giveBack(Slot::Reader);
    EXPECT_EQ(refs.live(), 0);
    EXPECT_EQ(state.slot(Slot::Reader).weak, nullptr);
}

TEST_F(ListenerStateTest, AStartIsRunningAtOnceAndARefusalUndoesIt) {
    // The first callback may come before the start returns: running at once.
    state.beginTask(TaskId::Inventory, record(1, 1));
    EXPECT_TRUE(state.taskRunning(TaskId::Inventory));
    EXPECT_TRUE(state.finishTask(TaskId::Inventory));
    EXPECT_FALSE(state.finishTask(TaskId::Inventory));
    state.acceptTask(TaskId::Inventory); // after its callback ended it
    EXPECT_FALSE(state.taskRunning(TaskId::Inventory));
    state.beginTask(TaskId::Sam, record(6, 2));
    state.refuseTask(TaskId::Sam);
    EXPECT_FALSE(state.taskRunning(TaskId::Sam));
    // The running task of the reader library, found and ended once.
    state.beginTask(TaskId::Queue, record(4, 3));
    state.acceptTask(TaskId::Queue);
    EXPECT_EQ(state.finishRunningTask(), TaskId::Queue);
    EXPECT_EQ(state.finishRunningTask(), std::nullopt);
}

} // namespace
