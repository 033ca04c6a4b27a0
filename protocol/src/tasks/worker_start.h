// The one place where the library starts its worker threads.
#ifndef VKKRN_WORKER_START_H
#define VKKRN_WORKER_START_H

#include <functional>
#include <thread>

namespace vkkrn {

// Starts `body` on a new thread held in `out` (which holds none): false when no
// thread could be made.
bool startWorkerThread(std::thread& out, std::function<void()> body);

// While set, every start fails as if the system had no thread to give (tests).
void failWorkerStarts(bool fail);

// The reader whose worker the calling thread is, or null.
const void* currentWorkerOf();

// Marks the running thread as a worker of `reader` for the mark's lifetime.
class WorkerMark {
  public:
    explicit WorkerMark(const void* reader);
    ~WorkerMark();
    WorkerMark(const WorkerMark&) = delete;
    WorkerMark& operator=(const WorkerMark&) = delete;
};

} // namespace vkkrn

#endif
