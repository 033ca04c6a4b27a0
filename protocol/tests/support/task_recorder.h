// Task records and a recorder of the task callbacks, for the tests of the
// asynchronous tasks.
#ifndef VKKRN_TESTS_TASK_RECORDER_H
#define VKKRN_TESTS_TASK_RECORDER_H

#include <vkkrn.h>
#include <vktesting/wait_until.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

struct TaskCall {
    void* context = nullptr;
    int reader = 0;
    int task = 0;
    int status = 0;
    int command = 0;
    std::vector<std::uint8_t> data;
    int length = 0;
};

class TaskRecorder {
  public:
    static void callback(void* context, int reader, int task, int status, unsigned char cmd,
                         unsigned char* data, int len) {
        auto* self = static_cast<TaskRecorder*>(context);
        TaskCall call{context, reader, task, status, cmd, {}, len};
        if (data != nullptr && len > 0) call.data.assign(data, data + len);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->calls_.push_back(call);
        }
        if (self->onCall) self->onCall(call);
        self->count_.fetch_add(1);
    }

    // A record for task callbacks of variant 1 into this recorder.
    _VKKRN_TASK_INIT record(unsigned int timeout = 5, unsigned char busAdr = 1) {
        _VKKRN_TASK_INIT r{};
        r.pAny = this;
        r.ucBusAdr = busAdr;
        r.uiMode = 1;
        r.uiTimeout = timeout;
        r.uiCallbackVariant = 1;
        r.callback.form1 = &TaskRecorder::callback;
        return r;
    }

    int count() const { return count_.load(); }
    std::vector<TaskCall> calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    TaskCall last() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.empty() ? TaskCall{} : calls_.back();
    }
    bool waitFor(int n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        return vktesting::waitUntil([&] { return count() >= n; }, timeout);
    }

    // Runs inside the callback, on the task thread; set before the task starts.
    std::function<void(const TaskCall&)> onCall;

  private:
    mutable std::mutex mutex_;
    std::vector<TaskCall> calls_;
    std::atomic<int> count_{0};
};

// Cancels the reader's task. A cancel that meets a callback still on its way
// out is refused (-4084) and leaves the stop set, so the task ends after that
// callback: a later -4081 then counts as the cancel it was (0).
inline int cancelOutsideTheCallback(int reader) {
    int result = VKKRN_CancelAsyncTask(reader);
    bool refused = false;
    vktesting::waitUntil([&] {
        if (result == -4084) {
            refused = true;
            result = VKKRN_CancelAsyncTask(reader);
        }
        return result != -4084;
    });
    return refused && result == -4081 ? 0 : result;
}

#endif
