// The pure steps of the task result handlers and the sender-text parser.
#include "recording_store.h"
#include "sender_address.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {

using nubokrn4j::JavaCall;
using nubokrn4j::Sender;
using nubokrn4j::testing::RecordingStore;
using Bytes = std::vector<std::uint8_t>;

constexpr char kFirst[] = "03 10 18 02 01 00 00";
constexpr char kSecond[] = "03 10 18 03 01 00 00";
constexpr char kCount[] = "03 10 18 05 02 00 00";

void expectCall(const JavaCall& call, int status, std::uint8_t command) {
    EXPECT_TRUE(call.call);
    EXPECT_EQ(call.status, status);
    EXPECT_EQ(call.command, command);
}

TEST(InventoryResult, StatusesStoreOrMarkAsTheyShould) {
    RecordingStore store;
    const Bytes data{0x01, 0x02, 0x03};
    expectCall(nubokrn4j::inventoryResult(store, 1, 0x00, data.data(), 3), 0x00, 0xB0);
    EXPECT_EQ(store.stored, data);
    EXPECT_EQ(store.lastError, 0);

    // A failing store replaces the status.
    store.storeResult = -115;
    expectCall(nubokrn4j::inventoryResult(store, 1, 0x94, data.data(), 3), -115, 0xB0);
    EXPECT_EQ(store.lastError, 0x94);

    // 0x95 stores itself and the first byte, not the table.
    store = RecordingStore{};
    expectCall(nubokrn4j::inventoryResult(store, 1, 0x95, data.data(), 3), 0x95, 0xB0);
    EXPECT_EQ(store.writes["03 10 00 00 01 00 00"], Bytes{0x95});
    EXPECT_EQ(store.writes["03 10 11 25 01 00 00"], Bytes{0x01});
    EXPECT_TRUE(store.stored.empty());

    // 0x01 clears the first selected flag only in mode 2.
    store = RecordingStore{};
    nubokrn4j::inventoryResult(store, 1, 0x01, data.data(), 3);
    EXPECT_EQ(store.selectedCleared, 0);
    store.writes["03 10 08 01 01 00 03"] = {2};
    nubokrn4j::inventoryResult(store, 1, 0x01, data.data(), 3);
    EXPECT_EQ(store.selectedCleared, 1);
    EXPECT_TRUE(store.stored.empty());
}

TEST(InventoryResult, ErrorsAndOtherUsesStoreNothing) {
    RecordingStore store;
    const Bytes data{0x01};
    expectCall(nubokrn4j::inventoryResult(store, 1, -4082, nullptr, 0), -4082, 0xB0);
    expectCall(nubokrn4j::inventoryResult(store, 1, 0x05, data.data(), 1), 0x05, 0xB0);
    EXPECT_TRUE(store.stored.empty());
    EXPECT_FALSE(nubokrn4j::inventoryResult(store, 2, 0x00, data.data(), 1).call);
    EXPECT_EQ(store.stored, data); // stored, but no call
}

struct NotifyCase {
    const char* name;
    int status;
    Bytes data;
    bool call;
    int first;  // -1: not written
    int second; // -1: not written
    int count;  // -1: not written
    Bytes records;
    int recordCount; // -1: not set
};

TEST(NotifyResult, HeaderVariantsAndShortData) {
    const NotifyCase cases[] = {
        {"plain", 0x00, {0x01, 0x00, 0x02, 0xAA, 0xBB}, true, 0x01, -1, 2, {0xAA, 0xBB}, -1},
        {"bit 7", 0x00, {0x81, 0x05, 0x00, 0x02, 0xAA}, true, 0x81, 0x05, 2, {0xAA}, -1},
        {"count 0", 0x84, {0x01, 0x00, 0x00}, false, 0x01, -1, 0, {}, 0},
        {"bit 7, count 0", 0x00, {0x81, 0x05, 0x00, 0x00}, false, 0x81, 0x05, 0, {}, 0},
        {"header only", 0x00, {0x01, 0x01, 0x00}, true, 0x01, -1, 256, {}, -1},
        {"short plain", 0x00, {0x01, 0x00}, false, -1, -1, -1, {}, 0},
        {"short bit 7", 0x00, {0x81, 0x05, 0x00}, false, -1, -1, -1, {}, 0},
        {"one byte", 0x00, {0x81}, false, -1, -1, -1, {}, 0},
        {"empty", 0x00, {}, true, -1, -1, -1, {}, 0},
        {"status outside", 0x01, {0x01, 0x00, 0x01, 0xAA}, false, -1, -1, -1, {}, 0},
        {"error", -4082, {}, false, -1, -1, -1, {}, 0},
    };
    for (const NotifyCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingStore store;
        const JavaCall call = nubokrn4j::notifyResult(store, 1, c.status, c.data.data(),
                                                      static_cast<int>(c.data.size()), Sender{});
        EXPECT_EQ(call.call, c.call);
        if (c.call) expectCall(call, c.status, 0x22);
        EXPECT_EQ(store.lastError, c.status);
        EXPECT_EQ(store.writes.count(kFirst) ? store.writes[kFirst][0] : -1, c.first);
        EXPECT_EQ(store.writes.count(kSecond) ? store.writes[kSecond][0] : -1, c.second);
        EXPECT_EQ(store.uints.count(kCount) ? static_cast<int>(store.uints[kCount]) : -1, c.count);
        EXPECT_EQ(store.stored, c.records);
        EXPECT_EQ(store.recordCount, c.recordCount);
    }
}

TEST(NotifyResult, FailedSecondByteOrRecordStore) {
    RecordingStore store;
    const Bytes data{0x81, 0x05, 0x00, 0x01, 0xAA};
    store.byteWriteResult = -104;
    EXPECT_FALSE(nubokrn4j::notifyResult(store, 1, 0, data.data(), 5, Sender{}).call);
    EXPECT_EQ(store.uints.count(kCount), 0u);

    store = RecordingStore{};
    store.storeResult = -120;
    expectCall(nubokrn4j::notifyResult(store, 1, 0, data.data(), 5, Sender{}), -120, 0x22);
    EXPECT_EQ(store.storedCommand, 0x22);
}

TEST(NotifyResult, UseTwoStoresTheSender) {
    RecordingStore store;
    const Bytes data{0x01, 0x00, 0x01, 0xAA};
    expectCall(nubokrn4j::notifyResult(store, 2, 0, data.data(), 4, Sender{"192.168.10.7", 4711}), 0, 0x22);
    EXPECT_EQ(store.writes["03 10 36 00 04 00 00"], (Bytes{0xC0, 0xA8, 0x0A, 0x07}));
    EXPECT_EQ(store.uints["03 10 36 04 02 00 00"], 4711u);

    RecordingStore other;
    EXPECT_FALSE(nubokrn4j::notifyResult(other, 3, 0, data.data(), 4, Sender{"1.2.3.4", 1}).call);
    EXPECT_EQ(other.writes.count("03 10 36 00 04 00 00"), 0u);
}

TEST(DiagnosticResult, CopiesAtMostTwoBytesAndAlwaysCalls) {
    const Bytes one{0x12};
    const Bytes three{0x12, 0x34, 0x56};
    struct Case {
        int status;
        const Bytes* data;
        Bytes expected; // first bytes of the 31, empty: nothing written
    } cases[] = {
        {0x00, &one, {0x12, 0x00}}, {0x84, &three, {0x12, 0x34}}, {0x01, &three, {}}, {-4082, &one, {}}};
    for (const Case& c : cases) {
        RecordingStore store;
        const int length = c.status < 0 ? 0 : static_cast<int>(c.data->size());
        expectCall(nubokrn4j::diagnosticResult(store, 1, c.status, c.data->data(), length, Sender{}),
                   c.status, 0x6E);
        if (c.expected.empty()) {
            EXPECT_EQ(store.writes.count("03 10 07 01 31 00 00"), 0u);
            continue;
        }
        const Bytes& buffer = store.writes["03 10 07 01 31 00 00"];
        ASSERT_EQ(buffer.size(), 31u);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 2), c.expected);
        EXPECT_EQ(std::count(buffer.begin() + 2, buffer.end(), 0), 29);
        EXPECT_EQ(store.writes["03 10 07 00 01 00 00"], Bytes{1});
    }
}

TEST(InputEventResult, OneRecordUnderTheNotificationCommand) {
    RecordingStore store;
    const Bytes data{0x01, 0x02};
    expectCall(nubokrn4j::inputEventResult(store, 1, 0, data.data(), 2, Sender{}), 0, 0x22);
    EXPECT_EQ(store.writes[kFirst], Bytes{0x80});
    EXPECT_EQ(store.writes[kSecond], Bytes{0x01});
    EXPECT_EQ(store.uints[kCount], 1u);
    EXPECT_EQ(store.storedCommand, 0x74);
    EXPECT_EQ(store.stored, data);

    RecordingStore empty;
    expectCall(nubokrn4j::inputEventResult(empty, 1, 0, nullptr, 0, Sender{}), 0, 0x22);
    EXPECT_EQ(empty.recordCount, 0);
    RecordingStore failed;
    EXPECT_FALSE(nubokrn4j::inputEventResult(failed, 1, 0x84, data.data(), 2, Sender{}).call);
    EXPECT_EQ(failed.recordCount, 0);
}

TEST(PeopleCounterResult, SeventeenBytesOrNothing) {
    Bytes data(17);
    for (std::size_t k = 0; k < data.size(); ++k)
        data[k] = static_cast<std::uint8_t>(k + 1);
    RecordingStore store;
    expectCall(nubokrn4j::peopleCounterResult(store, 1, 0, data.data(), 17, Sender{}), 0, 0x77);
    EXPECT_EQ(store.uints["03 10 38 00 04 00 00"], 0x01020304u);
    EXPECT_EQ(store.uints["03 10 38 12 04 00 00"], 0x0D0E0F10u);
    EXPECT_EQ(store.writes["03 10 38 16 01 00 00"], Bytes{17});
    EXPECT_EQ(store.lastError, 12345); // not touched

    for (const auto& [status, length] : {std::pair{0, 16}, std::pair{0x84, 17}, std::pair{-4082, 0}}) {
        RecordingStore none;
        EXPECT_FALSE(nubokrn4j::peopleCounterResult(none, 1, status, data.data(), length, Sender{}).call);
        EXPECT_TRUE(none.uints.empty());
    }
}

TEST(NotificationResult, DispatchesByCommandAndDropsOthers) {
    const Bytes data{0x01, 0x00, 0x01, 0xAA};
    for (const auto& [command, expected] :
         {std::pair{0x22, 0x22}, std::pair{0x6E, 0x6E}, std::pair{0x74, 0x22}}) {
        RecordingStore store;
        expectCall(nubokrn4j::notificationResult(store, 1, 0, static_cast<std::uint8_t>(command), data.data(),
                                                 4, Sender{}),
                   0, static_cast<std::uint8_t>(expected));
    }
    RecordingStore store;
    EXPECT_FALSE(nubokrn4j::notificationResult(store, 1, 0, 0x1F, data.data(), 4, Sender{}).call);
    EXPECT_TRUE(store.writes.empty());
}

TEST(ResponseResult, LastErrorAndCallByUse) {
    RecordingStore store;
    expectCall(nubokrn4j::responseResult(store, 1, -4082, 0xBC), -4082, 0xBC);
    EXPECT_EQ(store.lastError, -4082);
    EXPECT_FALSE(nubokrn4j::responseResult(store, 0, 0, 0xC0).call);
}

TEST(SenderAddress, ReadsLikeScanfBoundedAndSaturating) {
    struct Case {
        const char* text;
        std::array<std::uint8_t, 4> bytes;
    } cases[] = {
        {"192.168.10.7", {0xC0, 0xA8, 0x0A, 0x07}},
        {"10.1", {0x0A, 0x01, 0x00, 0x00}},
        {"", {0, 0, 0, 0}},
        {nullptr, {0, 0, 0, 0}},
        {"256.257.511.1000", {0x00, 0x01, 0xFF, 0xE8}},
        {"12345678901234567890.1.2.3", {0xFF, 0x01, 0x02, 0x03}},
        {"1.2.3.4 trailing", {1, 2, 3, 4}},
        {"1.2.3.4.5", {1, 2, 3, 4}},
        {" 1. 2.+3.-1", {1, 2, 3, 0xFF}},
        {"1..3.4", {1, 0, 0, 0}},
        {"a.b.c.d", {0, 0, 0, 0}},
        {"4294967295.4294967296.0.0", {0xFF, 0xFF, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text == nullptr ? "null" : c.text);
        EXPECT_EQ(nubokrn4j::parseSenderAddress(c.text), c.bytes);
    }
    // Digits past the bound are not read.
    const std::string longText(200, '9');
    EXPECT_EQ(nubokrn4j::parseSenderAddress(longText.c_str())[0], 0xFF);
}

} // namespace
