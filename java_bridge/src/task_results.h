// What the result handlers of asynchronous tasks do with a result, apart from
// Java: the core writes and whether, and with what, the listener is called.
// Pure steps on a store interface (the reader module in the library, a
// recorder in tests and the fuzz target); no JVM involved.
#ifndef NUBOKRN4J_TASK_RESULTS_H
#define NUBOKRN4J_TASK_RESULTS_H

#include <cstdint>

namespace nubokrn4j {

// The core's side of a reader module, as the result handlers use it.
class ResultStore {
  public:
    virtual ~ResultStore() = default;
    virtual int setByte(const char* id, std::uint8_t value) = 0;
    virtual int setUint(const char* id, std::uint32_t value) = 0;
    virtual int setBytes(const char* id, const std::uint8_t* data, int count) = 0;
    // 0 with the byte, or a negative code.
    virtual int getByte(const char* id, std::uint8_t& value) = 0;
    virtual void setLastError(int code) = 0;
    // The BRM record count of the last notification.
    virtual void setRecordCount(int count) = 0;
    // An inventory reply into the ISO table; a negative code on failure.
    virtual int storeInventory(const std::uint8_t* data, int length, int status) = 0;
    // Notification records into the BRM table; a negative code on failure.
    virtual int storeRecords(std::uint8_t command, const std::uint8_t* data, int length) = 0;
    // Clears the selected flag of the first selected ISO-table item, if any.
    virtual void clearFirstSelected() = 0;
};

// The Java call a handler ends with; none when `call` is false.
struct JavaCall {
    bool call = false;
    int status = 0;
    std::uint8_t command = 0;
};

// Where a notification came from; use 2 stores it before the Java call.
struct Sender {
    const char* address = nullptr;
    int port = 0;
};

// Task uses: 1 calls Java; 2 stores the sender first (notifications); other
// values call nothing.
inline constexpr std::uint32_t kUseCall = 1;
inline constexpr std::uint32_t kUseSender = 2;

// Commands of the notification listener's messages.
inline constexpr std::uint8_t kCmdInventory = 0xB0;
inline constexpr std::uint8_t kCmdNotification = 0x22;
inline constexpr std::uint8_t kCmdDiagnostic = 0x6E;
inline constexpr std::uint8_t kCmdInputEvent = 0x74;
inline constexpr std::uint8_t kCmdPeopleCounter = 0x77;

JavaCall inventoryResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data,
                         int length);
// Dispatches a message of the notification listener by its command; other
// commands are dropped.
JavaCall notificationResult(ResultStore& store, std::uint32_t use, int status, std::uint8_t command,
                            const std::uint8_t* data, int length, const Sender& sender);
JavaCall notifyResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data, int length,
                      const Sender& sender);
JavaCall diagnosticResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data,
                          int length, const Sender& sender);
JavaCall inputEventResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data,
                          int length, const Sender& sender);
JavaCall peopleCounterResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data,
                             int length, const Sender& sender);
// A SAM or command-queue reply: last error := status; Java is called for use 1
// (with the bytes, or none for an error).
JavaCall responseResult(ResultStore& store, std::uint32_t use, int status, std::uint8_t command);

} // namespace nubokrn4j

#endif
