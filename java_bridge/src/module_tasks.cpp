// Asynchronous tasks of a reader module: the starts, the cancel, and the two
// callbacks the reader library calls on its task thread with their result
// handlers (the pure step of task_results, then the Java call).
#include "bridge_codes.h"
#include "callback_env.h"
#include "java_cache.h"
#include "key_wipe.h"
#include "module_4j.h"
#include "module_store.h"

#include <vkkrn.h>

#include <algorithm>
#include <cstring>

using nubokrn4j::CallbackEnv;
using nubokrn4j::JavaCall;
using nubokrn4j::kBadKindOrEvent;
using nubokrn4j::kNoEnv;
using nubokrn4j::kNullArgument;
using nubokrn4j::kReaderNoTask;
using nubokrn4j::kUnsupported;
using nubokrn4j::Slot;
using nubokrn4j::TaskId;
using nubokrn4j::TaskRecord;

namespace {

constexpr char kInventoryMode[] = "03 10 08 00 01 00 00";

bool validKeyLength(std::uint32_t n) {
    return n == 16 || n == 24 || n == 32;
}

// The common part of the reader library's record: callback form 1 on this module.
_VKKRN_TASK_INIT libraryRecord(VKDM_KRNReaderModule_4J* module, const TaskRecord& copy) {
    _VKKRN_TASK_INIT init{};
    init.pAny = module;
    init.ucBusAdr = module->GetBusAddress();
    init.uiTimeout = copy.timeout;
    init.uiMode = 1;
    init.uiCallbackVariant = 1;
    init.callback.form1 = &VKDM_KRNReaderModule_4J::cbsTaskResponse1_4J;
    return init;
}

// What every start copies from the caller's record.
TaskRecord baseCopy(const TaskRecord& record) {
    TaskRecord copy{};
    copy.kind = record.kind;
    copy.use = record.use;
    copy.reserved = record.reserved;
    copy.keepConnection = record.keepConnection;
    copy.acknowledge = record.acknowledge;
    copy.timeout = record.timeout;
    copy.vm = record.vm;
    copy.method = record.method;
    return copy;
}

// Gives a slot use back from a callback thread: with a JNIEnv the reference can
// go, without one only the count drops.
void giveBackFrom(const CallbackEnv& env, nubokrn4j::ListenerState& listeners, Slot slot) {
    if (env)
        listeners.giveBack(slot);
    else
        listeners.dropUse(slot);
}

jvalue intArg(jint v) {
    jvalue j{};
    j.i = v;
    return j;
}

jvalue byteArg(std::uint8_t v) {
    jvalue j{};
    j.b = static_cast<jbyte>(v);
    return j;
}

// (status, command) methods: onVkdmNewTag, onVkdmNewNotification.
void callStatusCommand(JNIEnv* env, const TaskRecord& record, const JavaCall& call) {
    if (!call.call) return;
    const jvalue args[2] = {intArg(call.status), byteArg(call.command)};
    nubokrn4j::callListener(env, record.listener, record.method, args);
}

void inventoryHandler(VKDM_KRNReaderModule_4J* module, TaskId id, int readerHnd, int status,
                      const unsigned char* data, int length) {
    auto& listeners = module->Listeners();
    const TaskRecord record = listeners.snapshot(id);
    CallbackEnv env(record.vm);
    // A one-report inventory gives its slot back whatever becomes of its report.
    const auto finish = [&] {
        if (id == TaskId::Inventory && listeners.finishTask(id)) giveBackFrom(env, listeners, Slot::Reader);
    };
    if (env && module->GetReaderHnd() == readerHnd) {
        nubokrn4j::ModuleStore store(*module);
        callStatusCommand(env.get(), record,
                          nubokrn4j::inventoryResult(store, record.use, status, data, length));
    }
    finish();
}

void notificationHandler(VKDM_KRNReaderModule_4J* module, int readerHnd, int status, unsigned char command,
                         const unsigned char* data, int length, const char* address, int port) {
    const TaskRecord record = module->Listeners().snapshot(TaskId::Notification);
    CallbackEnv env(record.vm);
    if (!env || module->GetReaderHnd() != readerHnd) return;
    nubokrn4j::ModuleStore store(*module);
    const nubokrn4j::Sender sender{address, port};
    callStatusCommand(
        env.get(), record,
        nubokrn4j::notificationResult(store, record.use, status, command, data, length, sender));
}

// The one reply of a SAM command (reader slot) or command queue (queue slot).
void responseHandler(VKDM_KRNReaderModule_4J* module, TaskId id, int readerHnd, int status,
                     unsigned char command, const unsigned char* data, int length) {
    auto& listeners = module->Listeners();
    const Slot slot = id == TaskId::Queue ? Slot::Queue : Slot::Reader;
    const TaskRecord record = listeners.snapshot(id);
    CallbackEnv env(record.vm);
    if (env && module->GetReaderHnd() == readerHnd) {
        nubokrn4j::ModuleStore store(*module);
        const JavaCall call = nubokrn4j::responseResult(store, record.use, status, command);
        JNIEnv* jni = env.get();
        const jsize n = data != nullptr && length > 0 ? length : 0;
        jbyteArray bytes = call.call ? jni->NewByteArray(n) : nullptr;
        if (bytes != nullptr && !jni->ExceptionCheck()) {
            jni->SetByteArrayRegion(bytes, 0, n, reinterpret_cast<const jbyte*>(data));
            if (!jni->ExceptionCheck()) {
                jvalue args[3] = {intArg(status), {}, {}};
                if (id == TaskId::Queue) {
                    args[1] = byteArg(command);
                    args[2].l = bytes;
                } else {
                    args[1].l = bytes;
                }
                nubokrn4j::callListener(jni, record.listener, record.method, args);
            }
        }
        if (jni->ExceptionCheck()) {
            jni->ExceptionDescribe();
            jni->ExceptionClear();
        }
        if (bytes != nullptr) jni->DeleteLocalRef(bytes);
    }
    if (listeners.finishTask(id)) giveBackFrom(env, listeners, slot);
}

} // namespace

// ---- starts -------------------------------------------------------------------

int VKDM_KRNReaderModule_4J::StartAsyncTask(_VKDM_TASK_INIT_4J* record) {
    if (record == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    if (nubokrn4j::envOf(record->vm) == nullptr) return kNoEnv;
    if ((record->use != 1 && record->use != 2) || record->kind < 1 || record->kind > 3) {
        SetLastError(kUnsupported);
        return kUnsupported;
    }
    // The key goes from the caller's record to the reader library's, which
    // keeps its own copy: the module's copy holds none.
    TaskRecord copy = baseCopy(*record);
    if (record->cipher != 0) {
        copy.cipher = 1;
        if (!validKeyLength(record->keyLength)) {
            SetLastError(kBadKindOrEvent);
            return kBadKindOrEvent;
        }
        copy.keyLength = record->keyLength;
    }
    if (record->keepAlive != 0) {
        copy.keepAlive = 1;
        std::copy(std::begin(record->keepAliveValues), std::end(record->keepAliveValues),
                  copy.keepAliveValues);
    }
    copy.listener = m_listeners.take(Slot::Reader, record->listener);
    if (copy.listener == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }

    _VKKRN_TASK_INIT init = libraryRecord(this, copy);
    const nubokrn4j::KeyWipe wipeKey(init.ucKey);
    if (copy.kind == 3) {
        init.uiMode = 5;
        init.uiKeepConnection = copy.keepConnection;
        std::memcpy(init.cAddress, record->address, sizeof init.cAddress);
        init.cAddress[sizeof init.cAddress - 1] = '\0';
        init.uiTcpPort = record->port;
        init.uiAcknowledge = copy.acknowledge;
        init.uiCallbackVariant = 2;
        init.callback.form2 = &cbsTaskResponse2_4J;
        if (copy.cipher != 0) {
            init.ucCipher = 1;
            init.uiKeyLength = copy.keyLength;
            std::memcpy(init.ucKey, record->key, sizeof init.ucKey);
        }
        if (copy.keepAlive != 0) {
            init.ucKeepAlive = 1;
            init.uiKeepAliveIdle = copy.keepAliveValues[0];
            init.uiKeepAliveProbes = copy.keepAliveValues[1];
            init.uiKeepAliveInterval = copy.keepAliveValues[2];
        }
    } else {
        const int r = SetData(kInventoryMode, static_cast<unsigned char>(1));
        if (r < 0) {
            m_listeners.giveBack(Slot::Reader);
            if (copy.kind == 1) SetLastError(r);
            return r;
        }
    }

    const auto id = static_cast<TaskId>(copy.kind);
    const bool wasActive = m_listeners.readerTaskActive();
    m_listeners.beginTask(id, copy);
    m_listeners.setTaskBit(nubokrn4j::kReaderTaskBit);
    const int r = VKKRN_StartAsyncTask(GetReaderHnd(), static_cast<int>(copy.kind), &init, nullptr);
    if (r != 0) {
        m_listeners.refuseTask(id);
        if (!wasActive) m_listeners.clearTaskBit(nubokrn4j::kReaderTaskBit);
        m_listeners.giveBack(Slot::Reader);
        return r;
    }
    m_listeners.acceptTask(id);
    SetLastError(0);
    return 0;
}

namespace {

// What the SAM and queue starts share: checks, record copy, slot, library call.
template <typename Send>
int startReply(VKDM_KRNReaderModule_4J* module, unsigned char* data, _VKDM_TASK_INIT_4J* record,
               std::uint32_t kind, TaskId id, Slot slot, Send send) {
    if (data == nullptr || record == nullptr) {
        module->SetLastError(kNullArgument);
        return kNullArgument;
    }
    if (nubokrn4j::envOf(record->vm) == nullptr) return kNoEnv;
    if (record->use != 1 || record->kind != kind) {
        module->SetLastError(kUnsupported);
        return kUnsupported;
    }
    auto& listeners = module->Listeners();
    TaskRecord copy = baseCopy(*record);
    copy.listener = listeners.take(slot, record->listener);
    if (copy.listener == nullptr) {
        module->SetLastError(kNullArgument);
        return kNullArgument;
    }
    _VKKRN_TASK_INIT init = libraryRecord(module, copy);
    const bool wasActive = listeners.readerTaskActive();
    listeners.beginTask(id, copy);
    listeners.setTaskBit(nubokrn4j::kReaderTaskBit);
    const int r = send(&init);
    if (r != 0) {
        listeners.refuseTask(id);
        if (!wasActive) listeners.clearTaskBit(nubokrn4j::kReaderTaskBit);
        listeners.giveBack(slot);
        return r;
    }
    listeners.acceptTask(id);
    module->SetLastError(0);
    return 0;
}

} // namespace

int VKDM_KRNReaderModule_4J::SendSAMCommand(int samSlot, unsigned char* data, int length,
                                            _VKDM_TASK_INIT_4J* record) {
    return startReply(this, data, record, 6, TaskId::Sam, Slot::Reader, [&](_VKKRN_TASK_INIT* init) {
        return VKKRN_0xC0_SAMCmd(GetReaderHnd(), samSlot, data, length, init);
    });
}

int VKDM_KRNReaderModule_4J::SendCommandQueue(int first, int second, unsigned char* data, int length,
                                              _VKDM_TASK_INIT_4J* record) {
    return startReply(this, data, record, 4, TaskId::Queue, Slot::Queue, [&](_VKKRN_TASK_INIT* init) {
        return VKKRN_0xBC_CmdQueue(GetReaderHnd(), first, second, data, length, init);
    });
}

// The reader library has no task while one is marked running here: it ended by
// itself (after a cancel refused during its callback). Its slot goes back and
// the flag is cleared; a SAM or queue reply has ended its task already.
void VKDM_KRNReaderModule_4J::endedTask() {
    if (nubokrn4j::envOf(nubokrn4j::g_jvm.load()) == nullptr) return;
    if (const auto id = m_listeners.finishRunningTask()) {
        m_listeners.clearTaskBit(nubokrn4j::kReaderTaskBit);
        m_listeners.giveBack(*id == TaskId::Queue ? Slot::Queue : Slot::Reader);
    }
}

int VKDM_KRNReaderModule_4J::CancelAsyncTask() {
    // Either bit: a lone asynchronous APDU still gets the reader library's answer.
    if (!m_listeners.taskActive()) {
        SetLastError(0);
        return 0;
    }
    const int r = VKKRN_CancelAsyncTask(GetReaderHnd());
    if (r == kReaderNoTask) endedTask();
    if (r < 0) {
        SetLastError(r);
        return r;
    }
    m_listeners.clearTaskBit(nubokrn4j::kReaderTaskBit);
    if (nubokrn4j::envOf(nubokrn4j::g_jvm.load()) == nullptr) return kNoEnv;
    // The slot the cancelled task took: the queue slot for a queue, else the reader slot.
    if (const auto id = m_listeners.finishRunningTask())
        m_listeners.giveBack(*id == TaskId::Queue ? Slot::Queue : Slot::Reader);
    SetLastError(0);
    return 0;
}

// ---- callbacks ------------------------------------------------------------------

void VKDM_KRNReaderModule_4J::cbsTaskResponse1_4J(void* any, int readerHnd, int kind, int status,
                                                  unsigned char command, unsigned char* data, int length) {
    if (any == nullptr || kind > 5) return;
    auto* module = static_cast<VKDM_KRNReaderModule_4J*>(any);
    switch (kind) {
    case 1:
        inventoryHandler(module, TaskId::Inventory, readerHnd, status, data, length);
        module->Listeners().clearTaskBit(nubokrn4j::kReaderTaskBit);
        break;
    case 2: inventoryHandler(module, TaskId::Repeated, readerHnd, status, data, length); break;
    case 3: notificationHandler(module, readerHnd, status, command, data, length, "", 0); break;
    case 4: responseHandler(module, TaskId::Sam, readerHnd, status, command, data, length); break;
    case 5: responseHandler(module, TaskId::Queue, readerHnd, status, command, data, length); break;
    default: break;
    }
}

void VKDM_KRNReaderModule_4J::cbsTaskResponse2_4J(void* any, int readerHnd, int kind, int status,
                                                  unsigned char command, unsigned char* data, int length,
                                                  char* senderAddress, int senderPort) {
    if (any == nullptr || kind != 3) return;
    notificationHandler(static_cast<VKDM_KRNReaderModule_4J*>(any), readerHnd, status, command, data, length,
                        senderAddress, senderPort);
}
