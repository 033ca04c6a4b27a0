// What a reader module shares with the callbacks of the reader protocol library
// and of the APDU library: three listener slots, registration counts, task
// records and the task-active bits. It needs no JVM: references are made and
// deleted through a small interface (JNI in the library, a fake in tests).
#ifndef NUBOKRN4J_LISTENER_STATE_H
#define NUBOKRN4J_LISTENER_STATE_H

#include <jni.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace nubokrn4j {

// Makes and deletes weak global references. Neither call runs Java code nor
// takes a lock of the bridge, so they may run under the state's leaf mutex.
class ReferenceOps {
  public:
    virtual ~ReferenceOps() = default;
    virtual jweak newWeak(jobject object) = 0;
    virtual void deleteWeak(jweak weak) = 0;
};

enum class Slot { Reader = 0, Queue = 1, Apdu = 2 };

// Listener kinds that register on the reader slot, counted per (kind, event).
enum class ListenerKind { Reader = 0, Serial = 1, Usb = 2 };

// Task records: one per task id of the reader protocol library (1 to 5) and one
// for the asynchronous APDU.
enum class TaskId { Inventory = 1, Repeated = 2, Notification = 3, Sam = 4, Queue = 5, Apdu = 6 };

// The bridge's copy of a started task: what its callbacks read.
struct TaskRecord {
    std::uint32_t kind = 0;
    std::uint32_t use = 0;
    std::uint32_t reserved = 0;
    std::uint32_t keepConnection = 0;
    char address[16] = {};
    std::uint32_t port = 0;
    std::uint32_t timeout = 0;
    std::uint8_t cipher = 0;
    std::uint32_t keyLength = 0;
    std::uint8_t key[32] = {};
    std::uint8_t keepAlive = 0;
    std::uint32_t keepAliveValues[3] = {};
    JavaVM* vm = nullptr;
    jobject listener = nullptr; // the slot's weak reference
    jmethodID method = nullptr;
    std::uint32_t acknowledge = 0;
};

// Bits of the core's task-active byte; the byte is non-zero while either runs.
inline constexpr std::uint8_t kReaderTaskBit = 0x01;
inline constexpr std::uint8_t kApduTaskBit = 0x02;

class ListenerState {
  public:
    // `taskActive` is the core module's task-active byte.
    ListenerState(ReferenceOps& refs, std::atomic<std::uint8_t>& taskActive);
    ListenerState(const ListenerState&) = delete;
    ListenerState& operator=(const ListenerState&) = delete;

    struct SlotView {
        jweak weak = nullptr;
        jobject object = nullptr; // as passed at the take that made `weak`
        int uses = 0;
    };

    // Take: makes the weak reference when the slot is empty (a take while held
    // keeps the held one, whatever object is passed) and adds a use. Returns the
    // slot's weak reference (null when it could not be made; no use is added then).
    jweak take(Slot slot, jobject object);
    // Give back: the last use deletes the weak reference; a use is removed when
    // there is one. An empty slot is left as it is.
    void giveBack(Slot slot);
    // Removes a use without deleting the reference (a thread without a JNIEnv):
    // the next give-back or take with one, or releaseAll, deletes it.
    void dropUse(Slot slot);
    SlotView slot(Slot slot) const;

    // A listener of (kind, event) registered: one use of the reader slot, counted
    // for that pair. Returns the reader slot's weak reference (null: nothing taken).
    jweak addRegistration(ListenerKind kind, int event, jobject object);
    // Removes one registration of (kind, event) and gives its use back; false
    // (nothing released) when none is counted.
    bool removeRegistration(ListenerKind kind, int event);
    int registrations(ListenerKind kind, int event) const;

    // Starting a task: the record is written where its callbacks read it and the
    // task marked running (its first callback may come before the start
    // returns), unless a task of that id is still running (then it waits aside
    // until the start is accepted). acceptTask makes it the running task's
    // record; refuseTask undoes what the start wrote. endTask marks the task of
    // that id as ended. The state keeps no listener key: the key field of what
    // it stores is wiped (no callback reads it).
    void beginTask(TaskId id, const TaskRecord& record);
    void acceptTask(TaskId id);
    void refuseTask(TaskId id);
    void endTask(TaskId id);
    // Ends the task of that id: true when it was running (its slot is then the
    // caller's to give back).
    bool finishTask(TaskId id);
    // Ends the running task of the reader library (ids 1 to 5), if any.
    std::optional<TaskId> finishRunningTask();
    bool taskRunning(TaskId id) const;
    // A copy of the record the callbacks of that id read.
    TaskRecord snapshot(TaskId id) const;

    // The task-active bits in the core's byte.
    void setTaskBit(std::uint8_t bit);
    void clearTaskBit(std::uint8_t bit);
    // Asynchronous APDUs started and not answered yet (the APDU library answers
    // each once, also one cancelled): the APDU bit is set while there is one,
    // and changes with the count in one step, so that an APDU started while the
    // one before calls back (its claim is free by then) keeps it. Started comes
    // before the library is asked; finished when it refuses or calls back.
    void apduStarted();
    void apduFinished();
    bool taskActive() const;
    bool readerTaskActive() const;

    // Deletes every slot's weak reference (the module's end); counts to 0.
    void releaseAll();

  private:
    struct SlotState {
        jweak weak = nullptr;
        jobject object = nullptr;
        int uses = 0;
    };
    struct TaskState {
        TaskRecord live;
        std::optional<TaskRecord> aside;  // a start while the task of this id runs
        std::optional<TaskRecord> before; // the record a direct write replaced
        bool running = false;
        bool begun = false; // running was set by the start not yet answered
    };

    jweak takeLocked(Slot slot, jobject object);
    void giveBackLocked(Slot slot);
    static std::size_t index(TaskId id) { return static_cast<std::size_t>(id) - 1; }

    ReferenceOps& refs_;
    std::atomic<std::uint8_t>& taskActive_;
    // Leaf: never held across a call into Java, the core or a library.
    mutable std::mutex mutex_;
    std::array<SlotState, 3> slots_{};
    std::map<std::pair<int, int>, int> registrations_;
    std::array<TaskState, 6> tasks_{};
    int apdusRunning_ = 0;
};

} // namespace nubokrn4j

// The bridge's task record by its own name: the natives that start a task fill
// one and the module copies it into its records.
using _VKDM_TASK_INIT_4J = nubokrn4j::TaskRecord;

#endif
