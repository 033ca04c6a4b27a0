// A plug-in library built against the published plug-in header alone. Its slots
// record their calls and give scripted results. Variants are built from this file:
//   WITHOUT_CREATE   no "CreatePlugIn"        WITHOUT_RELEASE  no "ReleasePlugIn"
//   CREATE_FAILS     "CreatePlugIn" gives -1  NO_OBJECT        it gives 0 and no object
//   WITHOUT_LOADLIB  init() does not keep a library handle
#include "test_plugin.h"

#include <vkkrn_plugin.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#define TESTPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Recorder {
    std::mutex mutex;
    std::condition_variable unblocked;
    int results[kSlotCount] = {};
    int calls[kSlotCount] = {};
    void* lastPointer[kSlotCount] = {};
    int lastInt[kSlotCount] = {};
    bool blocked[kSlotCount] = {};
    int waiting = 0;
    int releaseResult = 0;
    std::string log;
    std::set<VKKRN_PlugIn*> live;
    unsigned int nextReleaseValue = 100;
};

Recorder& recorder() {
    static Recorder r;
    return r;
}

// Records a call of `slot` and returns its scripted result, after waiting while
// the slot is blocked.
int record(int slot, const char* name, void* pointer = nullptr, int value = 0) {
    Recorder& r = recorder();
    std::unique_lock<std::mutex> lock(r.mutex);
    ++r.calls[slot];
    r.lastPointer[slot] = pointer;
    r.lastInt[slot] = value;
    r.log += name;
    r.log += ';';
    if (r.blocked[slot]) {
        ++r.waiting;
        r.unblocked.wait(lock, [&] { return !r.blocked[slot]; });
        --r.waiting;
    }
    return r.results[slot];
}

class TestPlugIn : public VKKRN_PlugIn {
  public:
    TestPlugIn() {
        plugInOrigin = VKKRN_PLUGIN_ORIGIN_LIBRARY;
        std::lock_guard<std::mutex> lock(recorder().mutex);
        releaseValue = recorder().nextReleaseValue++;
        recorder().live.insert(this);
    }
    ~TestPlugIn() override {
        std::lock_guard<std::mutex> lock(recorder().mutex);
        recorder().live.erase(this);
    }

    int get_lib_version(char* versionOut) override {
        if (versionOut != nullptr) std::strcpy(versionOut, "TP 1.0");
        return record(kSlotGetLibVersion, "get_lib_version", versionOut);
    }
    int get_error_text(int code, char* textOut) override {
        return record(kSlotGetErrorText, "get_error_text", textOut, code);
    }
    int open_port(char* portText) override { return record(kSlotOpenPort, "open_port", portText); }
    int close_port() override { return record(kSlotClosePort, "close_port"); }
    int get_port_para(char* key, char* valueOut) override {
        (void)valueOut;
        return record(kSlotGetPortPara, "get_port_para", key);
    }
    int set_port_para(char* key, char* value) override {
        (void)value;
        return record(kSlotSetPortPara, "set_port_para", key);
    }
    int build_datastream(char cmd, void* record_, int, char*, int) override {
        return record(kSlotBuildDatastream, "build_datastream", record_, static_cast<unsigned char>(cmd));
    }
    int build_protocol(char cmd, char, char* data, int, char*, int) override {
        return record(kSlotBuildProtocol, "build_protocol", data, static_cast<unsigned char>(cmd));
    }
    int transceive_protocol(char* frame, int frameLen, char*, int) override {
        return record(kSlotTransceive, "transceive_protocol", frame, frameLen);
    }
    int transmit_protocol(char* frame, int frameLen) override {
        return record(kSlotTransmit, "transmit_protocol", frame, frameLen);
    }
    int receive_protocol(char* replyOut, int replyOutSize) override {
        return record(kSlotReceive, "receive_protocol", replyOut, replyOutSize);
    }
    int split_protocol(char cmd, char, char* reply, int, char*, int, int*) override {
        return record(kSlotSplitProtocol, "split_protocol", reply, static_cast<unsigned char>(cmd));
    }
    int split_datastream(char cmd, char* data, int, void*, int) override {
        return record(kSlotSplitDatastream, "split_datastream", data, static_cast<unsigned char>(cmd));
    }
    int init() override {
#ifndef WITHOUT_LOADLIB
        LoadLib(libraryFileName);
#endif
        return record(kSlotInit, "init");
    }
    int cleanup() override {
        return record(kSlotCleanup, "cleanup");
    }
};

} // namespace

#ifndef WITHOUT_CREATE
TESTPI_EXPORT int CreatePlugIn(VKKRN_PlugIn** plugIn) {
#if defined(CREATE_FAILS)
    (void)plugIn;
    return -1;
#elif defined(NO_OBJECT)
    *plugIn = nullptr;
    return 0;
#else
    *plugIn = new TestPlugIn();
    return 0;
#endif
}
#endif

#ifndef WITHOUT_RELEASE
TESTPI_EXPORT int ReleasePlugIn(unsigned int releaseValue) {
    Recorder& r = recorder();
    VKKRN_PlugIn* found = nullptr;
    int result = 0;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        for (VKKRN_PlugIn* plugIn : r.live) {
            if (plugIn->releaseValue == releaseValue) found = plugIn;
        }
        char entry[32];
        std::snprintf(entry, sizeof entry, "release:%u;", releaseValue);
        r.log += entry;
        result = r.releaseResult;
    }
    delete found;
    return found == nullptr ? -1 : result;
}
#endif

TESTPI_EXPORT void TESTPI_Reset() {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (int i = 0; i < kSlotCount; ++i) {
        r.results[i] = 0;
        r.calls[i] = 0;
        r.lastPointer[i] = nullptr;
        r.lastInt[i] = 0;
        r.blocked[i] = false;
    }
    r.releaseResult = 0;
    r.log.clear();
    r.unblocked.notify_all();
}

TESTPI_EXPORT void TESTPI_SetResult(int slot, int result) {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    recorder().results[slot] = result;
}

TESTPI_EXPORT void TESTPI_SetReleaseResult(int result) {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    recorder().releaseResult = result;
}

TESTPI_EXPORT int TESTPI_Calls(int slot) {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    return recorder().calls[slot];
}

TESTPI_EXPORT void* TESTPI_LastPointer(int slot) {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    return recorder().lastPointer[slot];
}

TESTPI_EXPORT int TESTPI_LastInt(int slot) {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    return recorder().lastInt[slot];
}

TESTPI_EXPORT void TESTPI_Block(int slot) {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    recorder().blocked[slot] = true;
}

TESTPI_EXPORT void TESTPI_Unblock() {
    Recorder& r = recorder();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (bool& b : r.blocked)
        b = false;
    r.unblocked.notify_all();
}

TESTPI_EXPORT int TESTPI_Waiting() {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    return recorder().waiting;
}

TESTPI_EXPORT int TESTPI_Live() {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    return static_cast<int>(recorder().live.size());
}

TESTPI_EXPORT int TESTPI_Log(char* out, int size) {
    std::lock_guard<std::mutex> lock(recorder().mutex);
    std::snprintf(out, static_cast<std::size_t>(size), "%s", recorder().log.c_str());
    return static_cast<int>(recorder().log.size());
}
