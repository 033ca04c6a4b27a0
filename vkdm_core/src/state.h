// Inner state of the core's classes, kept out of the public header so that the
// classes' layout stays the same while the core changes.
#ifndef VKDM_STATE_H
#define VKDM_STATE_H

#include "data_memory.h"
#include "tables.h"

#include <vkdm/vkdm_core.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace vkdm {

struct ReaderState {
    explicit ReaderState(std::mutex& lock) : tables(lock) {}
    Tables tables;
    std::atomic<int> lastError{0};
    std::atomic<int> lastStatus{0};
    // 2 advanced frames, 1 standard.
    std::atomic<int> frameSupport{1};
};

struct ModuleState {
    // Serialises connecting and disconnecting; held while the port and reader
    // libraries are called, never taken by their callbacks.
    std::mutex connectLock;
    std::atomic<int> readerHnd{0};
    std::atomic<int> portHnd{0};
    std::string host;
    int tcpPort = 0;
    // Records live as long as the module; reads overwrite them in place.
    VKDM_ReaderInfo info{};
    VKDM_ReaderDiagnostic diagnostic{};
    bool infoInjected = false;
    bool diagnosticInjected = false;
    VKDM_ReaderInfo injectedInfo{};
    VKDM_ReaderDiagnostic injectedDiagnostic{};
};

struct UnitState {
    VKDM_KRNReader* reader = nullptr;
    int type = 0;
    bool manageChildren = true;
    VKDM_KRNFunctionUnit* parent = nullptr;
    std::vector<VKDM_KRNFunctionUnit*> children;
    std::atomic<int> lastError{0};
};

// Writes the text of a code (127 characters at most); 0 when known.
int errorText(char* text, int code);
// The port binder the core shares with the port libraries' other users.
void* portFunction(int id);
// A function of the TCP port library that has no PortFunctionId, by name.
void* tcpSymbol(const char* name);

} // namespace vkdm

#endif
