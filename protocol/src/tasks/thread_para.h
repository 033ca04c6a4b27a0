// The record of a reader's worker thread: flags one side sets and the other
// polls, each an atomic of its own.
#ifndef VKKRN_THREAD_PARA_H
#define VKKRN_THREAD_PARA_H

#include <atomic>

class VKKRNReader;
struct _VKKRN_TASK_INIT;

struct _VKKRN_STRUCT_THREAD_PARA {
    std::atomic<unsigned char> stopRequest{0}; // set by the stopping side
    std::atomic<unsigned char> started{0};     // set by a task thread once its checks passed
    std::atomic<unsigned char> startFailed{0}; // set by a task thread whose checks or start failed
    std::atomic<unsigned char> inCallback{0};  // set while the application's callback runs
    unsigned char command = 0;                 // command byte of the task; written before the start
    unsigned int taskId = 0;                   // 1 to 7; written before the start
    VKKRNReader* reader = nullptr;             // the owner; no reference is held
    _VKKRN_TASK_INIT* taskRecord = nullptr;    // the reader's copy

    // Zeroes every field; only while no thread uses the record.
    void Init() {
        stopRequest.store(0);
        started.store(0);
        startFailed.store(0);
        inCallback.store(0);
        command = 0;
        taskId = 0;
        reader = nullptr;
        taskRecord = nullptr;
    }
};

#endif
