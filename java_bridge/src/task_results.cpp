#include "task_results.h"

#include "sender_address.h"

#include <algorithm>
#include <initializer_list>

namespace nubokrn4j {

namespace {

constexpr char kInventoryMode[] = "03 10 08 01 01 00 03";
constexpr char kStatusByte[] = "03 10 00 00 01 00 00";
constexpr char kInventoryFirstByte[] = "03 10 11 25 01 00 00";
constexpr char kNotifyFirst[] = "03 10 18 02 01 00 00";
constexpr char kNotifySecond[] = "03 10 18 03 01 00 00";
constexpr char kNotifyCount[] = "03 10 18 05 02 00 00";
constexpr char kDiagnosticFlag[] = "03 10 07 00 01 00 00";
constexpr char kDiagnosticBytes[] = "03 10 07 01 31 00 00";
constexpr char kCounters[4][21] = {"03 10 38 00 04 00 00", "03 10 38 04 04 00 00", "03 10 38 08 04 00 00",
                                   "03 10 38 12 04 00 00"};
constexpr char kCounterByte[] = "03 10 38 16 01 00 00";
constexpr char kSenderAddress[] = "03 10 36 00 04 00 00";
constexpr char kSenderPort[] = "03 10 36 04 02 00 00";

constexpr int kDiagnosticSize = 31;
constexpr int kPeopleCounterMin = 17;

bool oneOf(int status, std::initializer_list<int> list) {
    return std::find(list.begin(), list.end(), status) != list.end();
}

void storeSender(ResultStore& store, const Sender& sender) {
    const auto bytes = parseSenderAddress(sender.address);
    store.setBytes(kSenderAddress, bytes.data(), static_cast<int>(bytes.size()));
    store.setUint(kSenderPort, static_cast<std::uint32_t>(sender.port));
}

// The Java call of a notification handler: use 1 calls, use 2 stores the
// sender first, other uses call nothing.
JavaCall notifyCall(ResultStore& store, std::uint32_t use, int status, std::uint8_t command,
                    const Sender& sender) {
    if (use == kUseSender) storeSender(store, sender);
    if (use != kUseCall && use != kUseSender) return {};
    return {true, status, command};
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

} // namespace

JavaCall inventoryResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data,
                         int length) {
    store.setLastError(status);
    if (length > 0 && data != nullptr &&
        oneOf(status, {0x00, 0x01, 0x02, 0x03, 0x83, 0x84, 0x90, 0x93, 0x94, 0x95})) {
        if (status == 0x01) {
            std::uint8_t mode = 0;
            if (store.getByte(kInventoryMode, mode) == 0 && mode == 2) store.clearFirstSelected();
        } else if (status == 0x95) {
            store.setByte(kStatusByte, static_cast<std::uint8_t>(status));
            store.setByte(kInventoryFirstByte, data[0]);
        } else {
            const int r = store.storeInventory(data, length, status);
            if (r < 0) status = r;
        }
    }
    if (use != kUseCall) return {};
    return {true, status, kCmdInventory};
}

JavaCall notifyResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data, int length,
                      const Sender& sender) {
    store.setLastError(status);
    if (!oneOf(status, {0x00, 0x83, 0x84, 0x85, 0x90, 0x93, 0x94})) {
        store.setRecordCount(0);
        return {};
    }
    if (length <= 0 || data == nullptr) {
        store.setRecordCount(0);
        return notifyCall(store, use, status, kCmdNotification, sender);
    }
    // The header: first byte, a second one when bit 7 of the first is set,
    // then the record count (two bytes, high first).
    const bool extended = (data[0] & 0x80) != 0;
    const int header = extended ? 4 : 3;
    if (length < header) {
        store.setRecordCount(0);
        return {};
    }
    store.setByte(kNotifyFirst, data[0]);
    if (extended && store.setByte(kNotifySecond, data[1]) < 0) return {};
    const int count = data[header - 2] * 256 + data[header - 1];
    store.setUint(kNotifyCount, static_cast<std::uint32_t>(count));
    if (count == 0) {
        store.setRecordCount(0);
        return {};
    }
    const int r = store.storeRecords(kCmdNotification, data + header, length - header);
    if (r < 0) status = r;
    return notifyCall(store, use, status, kCmdNotification, sender);
}

JavaCall diagnosticResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data,
                          int length, const Sender& sender) {
    store.setLastError(status);
    if ((status == 0x00 || status == 0x84) && length > 0 && data != nullptr) {
        std::uint8_t buffer[kDiagnosticSize] = {};
        std::copy_n(data, std::min(length, 2), buffer);
        store.setByte(kDiagnosticFlag, 1);
        store.setBytes(kDiagnosticBytes, buffer, kDiagnosticSize);
    }
    return notifyCall(store, use, status, kCmdDiagnostic, sender);
}

JavaCall inputEventResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data,
                          int length, const Sender& sender) {
    store.setLastError(status);
    if (status != 0) {
        store.setRecordCount(0);
        return {};
    }
    if (length <= 0 || data == nullptr) {
        store.setRecordCount(0);
    } else {
        store.setByte(kNotifyFirst, 0x80);
        store.setByte(kNotifySecond, 1);
        store.setUint(kNotifyCount, 1);
        const int r = store.storeRecords(kCmdInputEvent, data, length);
        if (r < 0) status = r;
    }
    // The input event reaches Java as one notification record.
    return notifyCall(store, use, status, kCmdNotification, sender);
}

JavaCall peopleCounterResult(ResultStore& store, std::uint32_t use, int status, const std::uint8_t* data,
                             int length, const Sender& sender) {
    if (status != 0 || length < kPeopleCounterMin || data == nullptr) return {};
    for (int k = 0; k < 4; ++k)
        store.setUint(kCounters[k], bigEndian32(data + 4 * k));
    store.setByte(kCounterByte, data[16]);
    return notifyCall(store, use, 0, kCmdPeopleCounter, sender);
}

JavaCall notificationResult(ResultStore& store, std::uint32_t use, int status, std::uint8_t command,
                            const std::uint8_t* data, int length, const Sender& sender) {
    switch (command) {
    case kCmdNotification: return notifyResult(store, use, status, data, length, sender);
    case kCmdDiagnostic: return diagnosticResult(store, use, status, data, length, sender);
    case kCmdInputEvent: return inputEventResult(store, use, status, data, length, sender);
    case kCmdPeopleCounter: return peopleCounterResult(store, use, status, data, length, sender);
    default: return {};
    }
}

JavaCall responseResult(ResultStore& store, std::uint32_t use, int status, std::uint8_t command) {
    store.setLastError(status);
    if (use != kUseCall) return {};
    return {true, status, command};
}

} // namespace nubokrn4j
