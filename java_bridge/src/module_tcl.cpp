// T=CL exchanges of a reader module: its one libvktcl session, APDUs on the
// caller's thread or on the APDU library's worker (answer to a VkdmDlqApdu
// listener), ping and deselect.
#include "bridge_codes.h"
#include "callback_env.h"
#include "java_cache.h"
#include "module_4j.h"

#include <vktcl.h>

using nubokrn4j::CallbackEnv;
using nubokrn4j::kNoEnv;
using nubokrn4j::kNullArgument;
using nubokrn4j::kUnsupported;
using nubokrn4j::Slot;
using nubokrn4j::TaskId;
using nubokrn4j::TaskRecord;

namespace {

constexpr std::uint32_t kApduKind = 5;

} // namespace

int VKDM_KRNReaderModule_4J::tclSession(TclParams want, bool compareAll) {
    int old = 0;
    {
        std::lock_guard lock(m_TclMutex);
        const int current = m_TclSession.load();
        const bool same = want.cid == m_TclCid && want.useCid == m_TclUseCid &&
                          (!compareAll || (want.nad == m_TclNad && want.useNad == m_TclUseNad));
        if (current > 0 && same) return current;
        if (!compareAll) {
            want.nad = m_TclNad;
            want.useNad = m_TclUseNad;
        }
        old = m_TclSession.exchange(0);
    }
    if (old > 0) VKTCL_DeleteTransponder(old);
    const int made = VKTCL_NewTransponder(GetReaderHnd(), GetBusAddress(), want.cid, want.nad,
                                          want.useCid != 0, want.useNad != 0);
    if (made < 0) {
        SetLastError(made);
        return made;
    }
    {
        std::lock_guard lock(m_TclMutex);
        old = m_TclSession.exchange(made);
        m_TclCid = want.cid;
        m_TclNad = want.nad;
        m_TclUseCid = want.useCid;
        m_TclUseNad = want.useNad;
    }
    // Another request made a session meanwhile: this one replaces it.
    if (old > 0) VKTCL_DeleteTransponder(old);
    return made;
}

int VKDM_KRNReaderModule_4J::SendTclApdu(unsigned char* apdu, unsigned int length, unsigned char cid,
                                         unsigned char nad, bool useCid, bool useNad,
                                         _VKDM_TASK_INIT_4J* record) {
    if (apdu == nullptr || record == nullptr || record->listener == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    if (nubokrn4j::envOf(record->vm) == nullptr) return kNoEnv;
    if (record->use != 1 || record->kind != kApduKind) {
        SetLastError(kUnsupported);
        return kUnsupported;
    }
    const int session =
        tclSession({cid, nad, static_cast<std::uint8_t>(useCid), static_cast<std::uint8_t>(useNad)}, true);
    if (session < 0) return session;

    TaskRecord copy{};
    copy.kind = record->kind;
    copy.use = record->use;
    copy.reserved = record->reserved;
    copy.keepConnection = record->keepConnection;
    copy.vm = record->vm;
    copy.method = record->method;
    copy.listener = m_listeners.take(Slot::Apdu, record->listener);
    if (copy.listener == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    _VKTCL_EVENT_INIT event{};
    event.pAny = this;
    event.uiFlag = VKTCL_CALLBACK4;
    VKTCL_ApduCallback4 callback = &cbsTaskResponse3_4J;
    event.callback = reinterpret_cast<void*>(callback);

    // The answer may come before VKTCL_Apdu returns: the record and the bit are
    // in place first; a refusal undoes only what this start wrote.
    m_listeners.beginTask(TaskId::Apdu, copy);
    m_listeners.apduStarted();
    const int r = VKTCL_Apdu(session, apdu, static_cast<int>(length), &event);
    if (r != 0) {
        m_listeners.refuseTask(TaskId::Apdu);
        m_listeners.apduFinished();
        m_listeners.giveBack(Slot::Apdu);
        return r;
    }
    m_listeners.acceptTask(TaskId::Apdu);
    SetLastError(0);
    return 0;
}

int VKDM_KRNReaderModule_4J::SendTclApdu(unsigned char* apdu, unsigned int length, unsigned char cid,
                                         unsigned char nad, bool useCid, bool useNad, unsigned char* response,
                                         unsigned int size, unsigned int* responseLength) {
    if (response == nullptr || responseLength == nullptr) {
        SetLastError(kNullArgument);
        return kNullArgument;
    }
    const int session =
        tclSession({cid, nad, static_cast<std::uint8_t>(useCid), static_cast<std::uint8_t>(useNad)}, true);
    if (session < 0) return session;
    const int r = VKTCL_Apdu(session, apdu, static_cast<int>(length), nullptr);
    if (r != 0) {
        SetLastError(r);
        return r;
    }
    const int n = VKTCL_GetResponseData(session, response, static_cast<int>(size));
    if (n <= 0) {
        SetLastError(n < 0 ? n : nubokrn4j::kNoData);
        return n < 0 ? n : nubokrn4j::kNoData;
    }
    *responseLength = static_cast<unsigned int>(n);
    SetLastError(0);
    return 0;
}

int VKDM_KRNReaderModule_4J::SendTclPing(bool useCid, unsigned char cid) {
    const int session = tclSession({cid, 0, static_cast<std::uint8_t>(useCid), 0}, false);
    return session < 0 ? session : VKTCL_Ping(session);
}

int VKDM_KRNReaderModule_4J::SendTclDeselect(bool useCid, unsigned char cid) {
    const int session = tclSession({cid, 0, static_cast<std::uint8_t>(useCid), 0}, false);
    return session < 0 ? session : VKTCL_Deselect(session);
}

void VKDM_KRNReaderModule_4J::cbsTaskResponse3_4J(void* any, int transponder, int result,
                                                  int responseLength) {
    if (any == nullptr) return;
    auto* module = static_cast<VKDM_KRNReaderModule_4J*>(any);
    module->cbApduResponse_4J(transponder, result, responseLength);
    // The bit stays for an APDU started meanwhile (from the callback or another thread).
    module->m_listeners.apduFinished();
}

void VKDM_KRNReaderModule_4J::cbApduResponse_4J(int transponder, int result, int responseLength) {
    const TaskRecord record = m_listeners.snapshot(TaskId::Apdu);
    m_listeners.endTask(TaskId::Apdu);
    CallbackEnv env(record.vm);
    if (!env) {
        m_listeners.dropUse(Slot::Apdu);
        return;
    }
    // Every path gives the APDU slot back before the thread is detached.
    struct GiveBack {
        nubokrn4j::ListenerState& listeners;
        ~GiveBack() { listeners.giveBack(Slot::Apdu); }
    } giveBack{m_listeners};
    if (transponder <= 0) return;
    SetLastError(result);
    if (record.use != 1) return;

    JNIEnv* jni = env.get();
    int status = result;
    jbyteArray bytes = nullptr;
    if (result == 0 && responseLength >= 1) {
        const int n =
            VKTCL_GetResponseData(transponder, m_ApduResponse.get(), static_cast<int>(kApduResponseSize));
        if (n < 0) status = n;
        if (n > 0) {
            bytes = jni->NewByteArray(n);
            if (bytes != nullptr && !jni->ExceptionCheck())
                jni->SetByteArrayRegion(bytes, 0, n, reinterpret_cast<const jbyte*>(m_ApduResponse.get()));
            if (bytes == nullptr || jni->ExceptionCheck()) {
                jni->ExceptionDescribe();
                jni->ExceptionClear();
                if (bytes != nullptr) jni->DeleteLocalRef(bytes);
                return;
            }
        }
    }
    jvalue args[2]{};
    args[0].i = status;
    args[1].l = bytes;
    nubokrn4j::callListener(jni, record.listener, record.method, args);
    if (bytes != nullptr) jni->DeleteLocalRef(bytes);
}
