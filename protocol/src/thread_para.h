// The record of a reader's worker thread.
#ifndef VKKRN_THREAD_PARA_H
#define VKKRN_THREAD_PARA_H

class VKKRNReader;
struct _VKKRN_TASK_INIT;

struct _VKKRN_STRUCT_THREAD_PARA {
    unsigned char stopRequest = 0; // set by the cancel
    unsigned char running = 0;     // set by the thread when it runs
    unsigned char ended = 0;       // set by the thread when it ends at once or with an error
    unsigned char inCallback = 0;  // set while a callback runs
    unsigned char command = 0;     // command byte of the task
    unsigned int taskId = 0;
    VKKRNReader* reader = nullptr;
    _VKKRN_TASK_INIT* taskRecord = nullptr; // the reader's copy
    void* further = nullptr;
    int lastError = 0;
};

#endif
