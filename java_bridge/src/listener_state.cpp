#include "listener_state.h"

#include "key_wipe.h"

#include <utility>

namespace nubokrn4j {

ListenerState::ListenerState(ReferenceOps& refs, std::atomic<std::uint8_t>& taskActive)
    : refs_(refs), taskActive_(taskActive) {}

jweak ListenerState::takeLocked(Slot slot, jobject object) {
    SlotState& s = slots_[static_cast<std::size_t>(slot)];
    if (s.weak != nullptr && s.uses == 0) {
        // Left by a use dropped without a JNIEnv: not the object asked for now.
        refs_.deleteWeak(s.weak);
        s.weak = nullptr;
        s.object = nullptr;
    }
    if (s.weak == nullptr) {
        jweak weak = refs_.newWeak(object);
        if (weak == nullptr) return nullptr;
        s.weak = weak;
        s.object = object;
    }
    ++s.uses;
    return s.weak;
}

void ListenerState::giveBackLocked(Slot slot) {
    SlotState& s = slots_[static_cast<std::size_t>(slot)];
    if (s.weak != nullptr && s.uses <= 1) {
        refs_.deleteWeak(s.weak);
        s.weak = nullptr;
        s.object = nullptr;
    }
    if (s.uses > 0) --s.uses;
}

jweak ListenerState::take(Slot slot, jobject object) {
    std::lock_guard lock(mutex_);
    return takeLocked(slot, object);
}

void ListenerState::giveBack(Slot slot) {
    std::lock_guard lock(mutex_);
    giveBackLocked(slot);
}

void ListenerState::dropUse(Slot slot) {
    std::lock_guard lock(mutex_);
    SlotState& s = slots_[static_cast<std::size_t>(slot)];
    if (s.uses > 0) --s.uses;
}

ListenerState::SlotView ListenerState::slot(Slot slot) const {
    std::lock_guard lock(mutex_);
    const SlotState& s = slots_[static_cast<std::size_t>(slot)];
    return {s.weak, s.object, s.uses};
}

jweak ListenerState::addRegistration(ListenerKind kind, int event, jobject object) {
    std::lock_guard lock(mutex_);
    jweak weak = takeLocked(Slot::Reader, object);
    if (weak != nullptr) ++registrations_[{static_cast<int>(kind), event}];
    return weak;
}

bool ListenerState::removeRegistration(ListenerKind kind, int event) {
    std::lock_guard lock(mutex_);
    auto it = registrations_.find({static_cast<int>(kind), event});
    if (it == registrations_.end()) return false;
    if (--it->second == 0) registrations_.erase(it);
    giveBackLocked(Slot::Reader);
    return true;
}

int ListenerState::registrations(ListenerKind kind, int event) const {
    std::lock_guard lock(mutex_);
    auto it = registrations_.find({static_cast<int>(kind), event});
    return it == registrations_.end() ? 0 : it->second;
}

void ListenerState::beginTask(TaskId id, const TaskRecord& record) {
    std::lock_guard lock(mutex_);
    TaskState& t = tasks_[index(id)];
    if (t.running) {
        t.aside = record;
        wipeKey(t.aside->key);
    } else {
        t.before = t.live;
        t.live = record;
        wipeKey(t.live.key);
        t.running = true;
        t.begun = true;
    }
}

void ListenerState::acceptTask(TaskId id) {
    std::lock_guard lock(mutex_);
    TaskState& t = tasks_[index(id)];
    // Accepted while marked running: the library had ended the earlier task.
    if (t.aside) {
        t.live = *t.aside;
        t.running = true;
    }
    t.aside.reset();
    t.before.reset();
    t.begun = false;
}

void ListenerState::refuseTask(TaskId id) {
    std::lock_guard lock(mutex_);
    TaskState& t = tasks_[index(id)];
    if (t.before) t.live = *t.before;
    if (t.begun) t.running = false;
    t.aside.reset();
    t.before.reset();
    t.begun = false;
}

void ListenerState::endTask(TaskId id) {
    std::lock_guard lock(mutex_);
    tasks_[index(id)].running = false;
}

bool ListenerState::finishTask(TaskId id) {
    std::lock_guard lock(mutex_);
    return std::exchange(tasks_[index(id)].running, false);
}

std::optional<TaskId> ListenerState::finishRunningTask() {
    std::lock_guard lock(mutex_);
    for (TaskId id :
         {TaskId::Inventory, TaskId::Repeated, TaskId::Notification, TaskId::Sam, TaskId::Queue}) {
        if (std::exchange(tasks_[index(id)].running, false)) return id;
    }
    return std::nullopt;
}

bool ListenerState::taskRunning(TaskId id) const {
    std::lock_guard lock(mutex_);
    return tasks_[index(id)].running;
}

TaskRecord ListenerState::snapshot(TaskId id) const {
    std::lock_guard lock(mutex_);
    return tasks_[index(id)].live;
}

void ListenerState::setTaskBit(std::uint8_t bit) {
    taskActive_.fetch_or(bit);
}

void ListenerState::clearTaskBit(std::uint8_t bit) {
    taskActive_.fetch_and(static_cast<std::uint8_t>(~bit));
}

void ListenerState::apduStarted() {
    std::lock_guard lock(mutex_);
    ++apdusRunning_;
    taskActive_.fetch_or(kApduTaskBit);
}

void ListenerState::apduFinished() {
    std::lock_guard lock(mutex_);
    if (apdusRunning_ > 0) --apdusRunning_;
    if (apdusRunning_ == 0) taskActive_.fetch_and(static_cast<std::uint8_t>(~kApduTaskBit));
}

bool ListenerState::taskActive() const {
    return taskActive_.load() != 0;
}

bool ListenerState::readerTaskActive() const {
    return (taskActive_.load() & kReaderTaskBit) != 0;
}

void ListenerState::releaseAll() {
    std::lock_guard lock(mutex_);
    for (SlotState& s : slots_) {
        if (s.weak != nullptr) refs_.deleteWeak(s.weak);
        s = SlotState{};
    }
    registrations_.clear();
}

} // namespace nubokrn4j
