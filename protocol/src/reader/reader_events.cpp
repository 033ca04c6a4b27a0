// Event handlers of a reader: registration, removal and the dispatch of events
// to native callbacks and to Java methods. The handler list is guarded by the
// event-list lock, held for the whole walk: once Del returns, its handler is
// never called again.
#include "reader/dispatch_mark.h"
#include "reader/protocol_events.h"
#include "reader/reader.h"
#include "texts/error_codes.h"

#include <vkkrn.h>
#include <vkkrn_jni.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// The readers whose handlers this thread is running, innermost last. A handler
// that calls back into one of them would wait for locks this thread holds.
constexpr int kMaxNesting = 8;
thread_local const VKKRNReader* tlDispatching[kMaxNesting] = {};
thread_local int tlDepth = 0;

} // namespace

namespace vkkrn {

DispatchMark::DispatchMark(const VKKRNReader* reader) {
    if (tlDepth < kMaxNesting) tlDispatching[tlDepth] = reader;
    ++tlDepth;
}

DispatchMark::~DispatchMark() {
    --tlDepth;
}

} // namespace vkkrn

namespace {

using namespace vkkrn;

constexpr unsigned int kFlagStored = 3;
constexpr unsigned int kFlagCallback6 = 6;
constexpr unsigned int kFlagCallback7 = 7;
constexpr unsigned int kFlagJava = 101;
constexpr unsigned int kFlagJavaNative = 102;
constexpr unsigned int kUseScanData = 4;
constexpr int kEventScanData = 4;
constexpr int kDiagnosticLevel = 8;

// Detaches, when the thread ends, a thread that a text event attached to the
// virtual machine (it stays attached between events, as a worker thread
// raising many events would).
struct AttachedUntilExit {
    JavaVM* vm = nullptr;
    ~AttachedUntilExit() {
        JNIEnv* env = nullptr;
        if (vm != nullptr && vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) == JNI_OK)
            vm->DetachCurrentThread();
    }
};
thread_local AttachedUntilExit tlAttached;

bool wants(unsigned int use, int event) {
    switch (use) {
    case 1: return event == kEventSendText || event == kEventReceiveText || event == kEventErrorText;
    case 2: return event == kEventSendText || event == kEventErrorText;
    case 3: return event == kEventReceiveText || event == kEventErrorText;
    case 4: return event == kEventScanData;
    case 5: return event == kEventSendFrame;
    case 6: return event == kEventReceiveFrame;
    case 101: return event == kEventErrorText;
    case 102: return event == kEventSendHex;
    default: return false;
    }
}

bool isByteEvent(int event) {
    return event == kEventScanData || event == kEventSendFrame || event == kEventReceiveFrame;
}

bool isTextEvent(int event) {
    return event == kEventSendText || event == kEventReceiveText || event == kEventErrorText;
}

// ISO 8859-1 to the virtual machine's modified UTF-8 (a zero byte as C0 80).
std::string modifiedUtf8(const unsigned char* text, int len) {
    std::string out;
    out.reserve(static_cast<std::size_t>(len) + 8);
    for (int i = 0; i < len; ++i) {
        const unsigned char c = text[i];
        if (c != 0 && c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Clears a pending exception; true when there was one.
bool cleared(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionClear();
    return true;
}

// Calls the Java method of one handler; false ends the whole dispatch.
bool deliverToJava(const _VKKRN_INTERNAL_EVENT_INIT& handler, int event, const unsigned char* data, int len) {
    const bool bytes = isByteEvent(event);
    if (!bytes && !isTextEvent(event)) return true;
    if (handler.jvm == nullptr || len < 1 || data == nullptr) return false;

    JNIEnv* env = nullptr;
    bool attachedHere = false;
    const jint state = handler.jvm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6);
    if (state == JNI_EDETACHED) {
        if (handler.jvm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return false;
        attachedHere = true;
    } else if (state != JNI_OK) {
        return false;
    }

    bool goOn = !env->ExceptionCheck(); // an exception of the caller's own is left alone
    if (goOn) {
        const jobject target = env->NewLocalRef(handler.object);
        if (target == nullptr) {
            goOn = !cleared(env); // a collected weak reference: skipped
        } else if (bytes) {
            const jbyteArray array = env->NewByteArray(len);
            if (array == nullptr || cleared(env)) {
                goOn = false;
            } else {
                env->SetByteArrayRegion(array, 0, len, reinterpret_cast<const jbyte*>(data));
                if (cleared(env)) {
                    goOn = false;
                } else {
                    env->CallVoidMethod(target, handler.method, static_cast<jint>(handler.uiUse), array);
                    goOn = !cleared(env);
                }
                env->DeleteLocalRef(array);
            }
        } else {
            const std::string text = modifiedUtf8(data, len);
            const jstring string = env->NewStringUTF(text.c_str());
            if (string == nullptr || cleared(env)) {
                goOn = false;
            } else {
                env->CallVoidMethod(target, handler.method, static_cast<jint>(handler.uiUse), string);
                goOn = !cleared(env);
                env->DeleteLocalRef(string);
            }
        }
        if (target != nullptr) env->DeleteLocalRef(target);
    }

    if (attachedHere) {
        if (bytes)
            handler.jvm->DetachCurrentThread();
        else
            tlAttached.vm = handler.jvm;
    }
    return goOn;
}

bool sameCallback(const VKKRN_EVENT_CALLBACK& a, const VKKRN_EVENT_CALLBACK& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameHandler(const _VKKRN_INTERNAL_EVENT_INIT& a, const _VKKRN_INTERNAL_EVENT_INIT& b) {
    if (a.uiFlag != b.uiFlag || a.uiUse != b.uiUse) return false;
    if (a.uiFlag == kFlagJava) return a.object == b.object && a.method == b.method;
    return sameCallback(a.callback, b.callback);
}

// The code refusing a native handler's flags, or 0.
int nativeFlagCheck(unsigned int flag) {
    if (flag == 1 || flag == 2 || flag == 4 || flag == 5) return kErrUnsupportedOption;
    if (flag != kFlagStored && flag != kFlagCallback6 && flag != kFlagCallback7) return kErrUnknownParameter;
    return 0;
}

} // namespace

bool VKKRNReader::RefuseReentry() {
    const int depth = tlDepth < kMaxNesting ? tlDepth : kMaxNesting;
    for (int i = 0; i < depth; ++i) {
        if (tlDispatching[i] == this) {
            SetLastError(kErrBusy);
            return true;
        }
    }
    return false;
}

int VKKRNReader::addHandler(const _VKKRN_INTERNAL_EVENT_INIT& entry, const char* logPrefix) {
    auto lock = LockEventList();
    for (const _VKKRN_INTERNAL_EVENT_INIT* stored : eventHandlers_) {
        if (sameHandler(*stored, entry)) {
            if (logPrefix != nullptr) logAbout(logPrefix, "Event Handler still in use");
            SetLastError(0);
            return 0;
        }
    }
    auto* stored = new (std::nothrow) _VKKRN_INTERNAL_EVENT_INIT(entry);
    if (stored != nullptr) {
        // Room first, so that appending cannot fail once a thread has started.
        try {
            eventHandlers_.reserve(eventHandlers_.size() + 1);
        } catch (...) {
            delete stored;
            stored = nullptr;
        }
    }
    if (stored == nullptr) {
        if (logPrefix != nullptr) logAbout(logPrefix, "new VKKRN_INTERNAL_EVENT_INIT failed");
        SetLastError(kErrNoMemory);
        return kErrNoMemory;
    }
    if (entry.uiUse == kUseScanData) {
        if (const int rc = StartThreadScanMode()) {
            delete stored;
            SetLastError(rc);
            return rc;
        }
    }
    eventHandlers_.push_back(stored);
    SetLastError(0);
    return 0;
}

int VKKRNReader::removeHandler(const _VKKRN_INTERNAL_EVENT_INIT& entry, const char* logPrefix) {
    _VKKRN_INTERNAL_EVENT_INIT* removed = nullptr;
    {
        auto lock = LockEventList();
        for (auto it = eventHandlers_.begin(); it != eventHandlers_.end(); ++it) {
            if (sameHandler(**it, entry)) {
                removed = *it;
                eventHandlers_.erase(it);
                break;
            }
        }
    }
    if (removed == nullptr) {
        if (logPrefix != nullptr) logAbout(logPrefix, "VKKRN_ERR_UNKNOWN_PARAMETER");
        SetLastError(kErrUnknownParameter);
        return kErrUnknownParameter;
    }
    // The scan-mode thread raises events under the event-list lock: stop it after
    // releasing that lock.
    if (removed->uiUse == kUseScanData) RemoveThreadScanMode();
    delete removed;
    SetLastError(0);
    return 0;
}

void VKKRNReader::logAbout(const char* prefix, const char* what) {
    char line[128];
    std::snprintf(line, sizeof line, "%s: %s", prefix, what);
    StringToLogFile(line, kDiagnosticLevel);
}

int VKKRNReader::AddEventHandler(const _VKKRN_EVENT_INIT* record) {
    if (RefuseReentry()) return kErrBusy;
    const int type = GetCommMode();
    int rc = 0;
    if (record->uiUse == kUseScanData && (type == 1 || type == 2))
        rc = kErrUnsupportedOption;
    else if ((rc = nativeFlagCheck(record->uiFlag)) == 0 && record->uiFlag == kFlagCallback7 &&
             record->uiUse == kUseScanData)
        rc = kErrUnsupportedOption;
    if (rc != 0) {
        SetLastError(rc);
        return rc;
    }
    _VKKRN_INTERNAL_EVENT_INIT entry{};
    entry.uiUse = record->uiUse;
    entry.uiFlag = record->uiFlag;
    entry.callback = record->callback;
    if (record->uiFlag != kFlagStored) entry.pAny = record->pAny;
    return addHandler(entry, nullptr);
}

int VKKRNReader::DelEventHandler(const _VKKRN_EVENT_INIT* record) {
    if (RefuseReentry()) return kErrBusy;
    if (const int rc = nativeFlagCheck(record->uiFlag)) {
        SetLastError(rc);
        return rc;
    }
    _VKKRN_INTERNAL_EVENT_INIT entry{};
    entry.uiUse = record->uiUse;
    entry.uiFlag = record->uiFlag;
    entry.callback = record->callback;
    return removeHandler(entry, nullptr);
}

int VKKRNReader::javaFlagCheck(const _VKKRN_INTERNAL_EVENT_INIT* record, const char* prefix) {
    char line[128];
    std::snprintf(line, sizeof line, "%s: uiUse=%d, uiMsg=%d, uiFlag=%d", prefix,
                  static_cast<int>(record->uiUse), static_cast<int>(record->uiMsg),
                  static_cast<int>(record->uiFlag));
    StringToLogFile(line, kDiagnosticLevel);
    int rc = 0;
    if (record->uiFlag == kFlagJavaNative) {
        logAbout(prefix, "VKKRN_ERR_UNSUPPORTED_OPTION");
        rc = kErrUnsupportedOption;
    } else if (record->uiFlag != kFlagJava) {
        logAbout(prefix, "VKKRN_ERR_UNKNOWN_PARAMETER");
        rc = kErrUnknownParameter;
    }
    if (rc != 0) SetLastError(rc);
    return rc;
}

int VKKRNReader::AddEventHandlerEx(const _VKKRN_INTERNAL_EVENT_INIT* record) {
    if (RefuseReentry()) return kErrBusy;
    if (const int rc = javaFlagCheck(record, "AddEventHandlerEx")) return rc;
    const int type = GetCommMode();
    if (record->uiUse == kUseScanData && (type == 1 || type == 2)) {
        SetLastError(kErrUnsupportedOption);
        return kErrUnsupportedOption;
    }
    _VKKRN_INTERNAL_EVENT_INIT entry{};
    entry.uiUse = record->uiUse;
    entry.uiFlag = kFlagJava;
    entry.jvm = record->jvm;
    entry.object = record->object;
    entry.method = record->method;
    return addHandler(entry, "AddEventHandlerEx");
}

int VKKRNReader::DelEventHandlerEx(const _VKKRN_INTERNAL_EVENT_INIT* record) {
    if (RefuseReentry()) return kErrBusy;
    if (const int rc = javaFlagCheck(record, "DelEventHandlerEx")) return rc;
    _VKKRN_INTERNAL_EVENT_INIT entry{};
    entry.uiUse = record->uiUse;
    entry.uiFlag = kFlagJava;
    entry.object = record->object;
    entry.method = record->method;
    return removeHandler(entry, "DelEventHandlerEx");
}

void VKKRNReader::freeEventHandlers() {
    auto lock = LockEventList();
    for (_VKKRN_INTERNAL_EVENT_INIT* handler : eventHandlers_)
        delete handler;
    eventHandlers_.clear();
}

void VKKRNReader::ExecNotification(int event, const unsigned char* data, int len, int value) {
    auto lock = LockEventList();
    const DispatchMark mark(this);
    if (notificationObserver_) notificationObserver_(event, data, len, value);
    dispatch(event, data, len, value);
}

void VKKRNReader::dispatch(int event, const unsigned char* data, int len, int value) {
    auto* bytes = const_cast<unsigned char*>(data);
    for (const _VKKRN_INTERNAL_EVENT_INIT* handler : eventHandlers_) {
        if (!wants(handler->uiUse, event)) continue;
        switch (handler->uiFlag) {
        case kFlagCallback6:
            if (handler->callback.form6 != nullptr) handler->callback.form6(handler->pAny, bytes, value);
            break;
        case kFlagCallback7:
            if (handler->callback.form7 != nullptr)
                handler->callback.form7(handler->pAny, bytes, value, event);
            break;
        case kFlagJava:
            if (!deliverToJava(*handler, event, data, len)) return;
            break;
        default: break;
        }
    }
}
