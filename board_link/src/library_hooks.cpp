// Load and unload of a board library: the session trace opens when the library
// is loaded and closes when it is unloaded. Only the board libraries compile
// this source, so nothing else writes a session file.
//
// The close is registered with atexit once the session is open, not as a
// destructor function: the C library runs a shared library's atexit functions
// when it is unloaded, and at process exit before the static objects Qt made
// earlier (its text codecs, which the session writer needs), whereas
// destructor functions would only run after those are gone.
#include "kesto_trace.h"

#include <cstdlib>

namespace {

board_link::KestoTrace* sessionTrace = nullptr;

void closeSessionTrace() {
    delete sessionTrace;
    sessionTrace = nullptr;
}

__attribute__((constructor)) void openSessionTrace() {
    sessionTrace = new board_link::KestoTrace();
    sessionTrace->openSession(255, board_link::KestoTrace::kMaskSignal);
    std::atexit(closeSessionTrace);
}

} // namespace
