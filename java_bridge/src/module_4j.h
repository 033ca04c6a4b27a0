// The bridge's reader module: the core's connectable reader plus what Java
// needs beside it (listener slots, task records, the T=CL session, port-library
// lookups by PortFunctionId).
#ifndef NUBOKRN4J_MODULE_4J_H
#define NUBOKRN4J_MODULE_4J_H

#include "listener_state.h"

#include <vkdm/vkdm_core.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace nubokrn4j {

// Weak global references through the process's JVM (g_jvm), on the calling
// thread's JNIEnv.
class JniReferenceOps final : public ReferenceOps {
  public:
    jweak newWeak(jobject object) override;
    void deleteWeak(jweak weak) override;
};

} // namespace nubokrn4j

class VKDM_KRNReaderModule_4J : public VKDM_KRNReaderModule {
  public:
    static constexpr std::size_t kApduResponseSize = 65537;

    VKDM_KRNReaderModule_4J();
    explicit VKDM_KRNReaderModule_4J(nubokrn4j::ReferenceOps& refs);
    // Ends what can call back first (the reader connection, whose deletion waits
    // out a running task callback; the T=CL session), then deletes the slots'
    // weak references when the thread has a JNIEnv (none at process exit).
    ~VKDM_KRNReaderModule_4J() override;

    // Functions of the serial (1000 to 1099) and USB (1100 to 1199) port
    // libraries by PortFunctionId; null when missing or out of range.
    void* GetViZerFunction(unsigned int id);
    void* GetVkUsbFunction(unsigned int id);

    // Asynchronous tasks: kinds 1 to 3 (inventory once or per trigger, the
    // notification listener), the SAM command, the command queue. Each takes a
    // listener slot and writes only its own task id's record. A listener key
    // goes from the caller's record to the reader library's only: the module
    // keeps no copy, and the caller wipes its own once the start has returned.
    int StartAsyncTask(_VKDM_TASK_INIT_4J* record);
    int SendSAMCommand(int samSlot, unsigned char* data, int length, _VKDM_TASK_INIT_4J* record);
    int SendCommandQueue(int first, int second, unsigned char* data, int length, _VKDM_TASK_INIT_4J* record);
    int CancelAsyncTask();
    // The callbacks handed to the reader library (forms 1 and 2).
    static void cbsTaskResponse1_4J(void* module, int readerHnd, int kind, int status, unsigned char command,
                                    unsigned char* data, int length);
    static void cbsTaskResponse2_4J(void* module, int readerHnd, int kind, int status, unsigned char command,
                                    unsigned char* data, int length, char* senderAddress, int senderPort);

    // Java listeners of reader events (delivered by the reader library), of the
    // RTS and DTR lines of the module's serial port and of USB readers coming
    // and going. Each registration holds one use of the reader slot.
    int AddKrnEventHandler(JavaVM* vm, jobject listener, int event);
    int DelKrnEventHandler(JavaVM* vm, jobject listener, int event);
    int AddComEventHandler(JavaVM* vm, jobject listener, int event);
    int DelComEventHandler(JavaVM* vm, jobject listener, int event);
    int AddUsbEventHandler(JavaVM* vm, jobject listener, int event);
    int DelUsbEventHandler(JavaVM* vm, jobject listener, int event);
    // Drops the serial-line listeners of the port first.
    int DisConnect() override;

    nubokrn4j::ListenerState& Listeners() { return m_listeners; }
    // How many of the four looked-up handler functions are cached.
    int CachedFunctionCount() const;

    // T=CL exchanges with an ISO 14443-4 card through the module's one session,
    // reused while the request's parameters equal those it was made with (an
    // APDU compares all four, a ping or deselect CID and use-CID only).
    // Asynchronous: 0 when the exchange runs; its answer goes to the record's
    // listener on the APDU library's worker, once.
    int SendTclApdu(unsigned char* apdu, unsigned int length, unsigned char cid, unsigned char nad,
                    bool useCid, bool useNad, _VKDM_TASK_INIT_4J* record);
    // Synchronous: 0 with the response in `response`, a reader status byte, or a
    // negative code.
    int SendTclApdu(unsigned char* apdu, unsigned int length, unsigned char cid, unsigned char nad,
                    bool useCid, bool useNad, unsigned char* response, unsigned int size,
                    unsigned int* responseLength);
    int SendTclPing(bool useCid, unsigned char cid);
    int SendTclDeselect(bool useCid, unsigned char cid);
    // The callback handed to the APDU library (selector 4) and its handler.
    static void cbsTaskResponse3_4J(void* module, int transponder, int result, int responseLength);
    void cbApduResponse_4J(int transponder, int result, int responseLength);

    // The T=CL session (0: none) and the parameters it was made with.
    std::atomic<int> m_TclSession{0};
    std::uint8_t m_TclCid = 0;
    std::uint8_t m_TclNad = 0;
    std::uint8_t m_TclUseCid = 0;
    std::uint8_t m_TclUseNad = 0;
    // Receives the card response of an asynchronous APDU.
    std::unique_ptr<unsigned char[]> m_ApduResponse;

  private:
    // The listeners delete their references through `refs`, or through the
    // module's own JNI operations when it is null.
    explicit VKDM_KRNReaderModule_4J(nubokrn4j::ReferenceOps* refs);

    struct TclParams {
        std::uint8_t cid, nad, useCid, useNad;
    };
    // The session for `want` (all four compared, or CID and use-CID only with
    // the stored NAD and use-NAD); a negative code when none could be made.
    int tclSession(TclParams want, bool compareAll);
    void endedTask();
    void dropSerialListeners();
    void dropUsbListeners();

    enum Cached { SerialAdd = 0, SerialDel = 1, UsbAdd = 2, UsbDel = 3 };
    struct PortLookup;
    void* cachedSymbol(Cached which, void* library, const char* name);
    void* lookup(const PortLookup& port, unsigned int id);

    // Guards the session handle and parameters; never held while a session is
    // deleted (the deletion waits for the APDU worker, whose callback may call
    // back into this module).
    std::mutex m_TclMutex;
    nubokrn4j::JniReferenceOps m_jniRefs;
    nubokrn4j::ListenerState m_listeners;
    std::array<std::atomic<void*>, 4> m_cached{};
};

#endif
