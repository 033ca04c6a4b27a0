#include "manager.h"

#include "codes.h"
#include "transponder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <new>

namespace vktcl {

namespace {

// The port functions this library calls or binds on request.
constexpr std::array<int, 14> kBoundIds{1001, 1023, 1024, 1031, 1032, 1102, 1134,
                                        1135, 1142, 1201, 1224, 1225, 1231, 1232};

int nextCounter(int counter) {
    return counter > 0x0FFFFFFF || counter < 0 ? 1 : counter + 1;
}

void deleteAllAtExit() {
    g_LibVkTclManager.deleteAll();
}

// Port libraries opened after this library run their exit-time destructors
// before ours; a transponder's worker may sit in one of their reads. Registering
// the deletion after them makes the transponders go first.
void registerExitCleanup() {
    std::atexit(deleteAllAtExit);
}

} // namespace

VKManager g_LibVkTclManager(0, registerExitCleanup);

bool startThread(std::thread& thread, std::function<void()> body) {
    try {
        thread = std::thread(std::move(body));
    } catch (const std::exception&) { // no thread, or no memory for its start
        return false;
    }
    return true;
}

VKManager::VKManager(int counterStart, void (*onFirstUse)(), ThreadStarter starter)
    : onFirstUse_(onFirstUse), starter_(std::move(starter)), counter_(counterStart),
      binder_(onFirstUse, std::span<const int>(kBoundIds)) {}

VKManager::~VKManager() {
    deleteAll();
    reapWorkers(true);
    binder_.closeAll();
}

bool VKManager::inUse(int handle) const {
    return std::any_of(list_.begin(), list_.end(),
                       [handle](const auto& t) { return t->getVKTransponderHnd() == handle; });
}

int VKManager::createNewVKTransponder(int readerHandle, unsigned char busAddress, unsigned char cid,
                                      unsigned char nad, bool useCid, bool useNad) {
    auto lock = Lock();
    setLastError(0);
    if (readerHandle < 1) {
        setLastError(kErrUnknownHandle);
        return kErrUnknownHandle;
    }
    if (!used_) {
        used_ = true;
        if (onFirstUse_ != nullptr) onFirstUse_();
    }
    const int found = counter_;
    int handle = counter_;
    do {
        handle = nextCounter(handle);
    } while (inUse(handle) && handle != found);
    std::shared_ptr<VKTransponder> transponder;
    int rc = kErrCreate;
    try {
        transponder = std::make_shared<VKTransponder>(*this, handle, readerHandle, busAddress, cid, nad,
                                                      useCid, useNad);
        rc = transponder->initVKTransponder();
        if (rc == 0) list_.push_back(transponder);
    } catch (const std::bad_alloc&) {
        rc = kErrCreate;
    }
    if (rc != 0) {
        counter_ = found;
        setLastError(kErrCreate);
        return kErrCreate;
    }
    counter_ = handle;
    return handle;
}

int VKManager::deleteVKTransponder(int handle) {
    std::shared_ptr<VKTransponder> doomed;
    {
        auto lock = Lock();
        const auto it = std::find_if(list_.begin(), list_.end(),
                                     [handle](const auto& t) { return t->getVKTransponderHnd() == handle; });
        if (it == list_.end()) {
            setLastError(kErrHandleNotFound);
            return kErrHandleNotFound;
        }
        doomed = std::move(*it);
        list_.erase(it);
        setLastError(0);
    }
    doomed.reset();
    reapWorkers(false);
    return 0;
}

int VKManager::getVKTransponderList(int handle) {
    auto lock = Lock();
    int result = 0;
    if (handle < 0) {
        result = kErrHandleNegative;
    } else if (handle == 0) {
        result = list_.empty() ? kErrEmptyList : list_.front()->getVKTransponderHnd();
    } else {
        const auto it = std::find_if(list_.begin(), list_.end(),
                                     [handle](const auto& t) { return t->getVKTransponderHnd() == handle; });
        if (it == list_.end())
            result = kErrUnknownHandle;
        else
            result = it + 1 == list_.end() ? 0 : (*(it + 1))->getVKTransponderHnd();
    }
    setLastError(result < 0 ? result : 0);
    return result;
}

int VKManager::enumVKTransponder() {
    auto lock = Lock();
    return static_cast<int>(list_.size());
}

std::shared_ptr<VKTransponder> VKManager::searchVKTransponder(int handle) {
    auto lock = Lock();
    for (const auto& t : list_) {
        if (t->getVKTransponderHnd() == handle) return t;
    }
    return nullptr;
}

void VKManager::deleteAll() {
    std::vector<std::shared_ptr<VKTransponder>> doomed;
    {
        auto lock = Lock();
        doomed.swap(list_);
    }
    // Destroyed in creation order, outside the registry mutex.
    for (auto& t : doomed)
        t.reset();
}

void VKManager::adoptWorker(std::thread thread, std::shared_ptr<std::atomic<bool>> done) {
    std::list<Adopted> one;
    try {
        one.push_back({std::thread(), std::move(done)});
    } catch (const std::bad_alloc&) {
        // No memory to keep it: the thread, in its last steps, ends on its own.
        thread.detach();
        return;
    }
    one.back().thread = std::move(thread);
    std::lock_guard<std::mutex> lock(workersMutex_);
    workers_.splice(workers_.end(), one);
}

void VKManager::reapWorkers(bool all) {
    std::list<Adopted> finished; // taken out without allocating
    {
        std::lock_guard<std::mutex> lock(workersMutex_);
        const auto self = std::this_thread::get_id();
        for (auto it = workers_.begin(); it != workers_.end();) {
            const auto next = std::next(it);
            if (it->thread.get_id() != self && (all || it->done->load(std::memory_order_acquire)))
                finished.splice(finished.end(), workers_, it);
            it = next;
        }
    }
    for (auto& w : finished)
        w.thread.join();
}

} // namespace vktcl
