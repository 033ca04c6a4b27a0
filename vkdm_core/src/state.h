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

// Sets (value read) or gets (value written, 256 bytes) a parameter of the
// module's port library; unconnected, the serial library's library-wide keys.
int portPara(VKDM_KRNReaderModule& module, bool set, const char* key, char* value);

// Keeps the result of a reader command as the reader's last error (a code) or
// last status (0 or a status byte, the last error then 0), and returns it.
int commandResult(VKDM_KRNReader& reader, int rc);

// Reads every information mode (and network part) of the reader at bus address
// `adr` into `info`: 0, or the code of mode 0x00 failing. A later mode failing
// with a code ends the read there and its code is kept in `laterCode`.
int readReaderInfo(int reader, int adr, VKDM_ReaderInfo& info, int& laterCode);
// The same for the diagnostic modes; the first mode's code fails the read.
int readReaderDiagnostic(int reader, int adr, VKDM_ReaderDiagnostic& diagnostic, int& laterCode);
// True for a mode the information record holds.
bool isInfoMode(unsigned mode);
// Stores the reply data of information mode `mode` (status 0) in `info`.
void storeInfoMode(unsigned char mode, const unsigned char* data, int length, VKDM_ReaderInfo& info);
// The same into the module's record, under its lock.
void storeModuleInfoMode(VKDM_KRNReaderModule& module, unsigned char mode,
                         const std::vector<std::uint8_t>& data);

} // namespace vkdm

#endif
