// What libvkfu makes of every kind of reader answer, one command of each answer
// shape, and the reader failures libvkkrn reports: result, last error, last unit
// status, the caller's status byte and output.
#include "unit_bus_fixture.h"

#include <cstring>
#include <functional>

namespace vkfu_test {
namespace {

using Call = std::function<int(int reader, unsigned char* status, unsigned char* out)>;

struct ShapeCommand {
    const char* name;
    Call call;
    bool umux;
    const char* answer; // a whole answer with unit status 0
};

const ShapeCommand kShapes[] = {
    {"DAT_SoftVersion",
     [](int r, unsigned char*, unsigned char* out) { return VKFU_DAT_SoftVersion(r, kBus, kDat, out); },
     false, "02 00 44 41 54 01 02 03 04 00 00"},
    {"DAT_GetValues",
     [](int r, unsigned char*, unsigned char* out) { return VKFU_DAT_GetValues(r, kBus, kDat, out); }, false,
     "02 00 A1 A2 A3 A4 A5 A6 00 00"},
    {"DAT_CPUReset", [](int r, unsigned char*, unsigned char*) { return VKFU_DAT_CPUReset(r, kBus, kDat); },
     false, "02 00 00 00"},
    {"UMUX_SoftVersion",
     [](int r, unsigned char* st, unsigned char* out) {
         return VKFU_UMUX_SoftVersion(r, kBus, 1, 2, st, out);
     },
     true, "00 55 4D 01 02 03 04 00 00"},
    {"UMUX_Detect_GetPower",
     [](int r, unsigned char* st, unsigned char* out) {
         return VKFU_UMUX_Detect_GetPower(r, kBus, 1, 2, st, out);
     },
     true, "00 00 11 22 33 44 55 00 00"},
    {"UMUX_CPUReset",
     [](int r, unsigned char* st, unsigned char*) { return VKFU_UMUX_CPUReset(r, kBus, 1, 2, st); }, true,
     "00 00 00"},
};
constexpr std::size_t kShapeCount = std::size(kShapes);

constexpr int kKept = -1; // last status unchanged, status byte untouched

struct Expect {
    int result;
    int lastError;
    int lastStatus;
    int statusOut;
    const char* output = nullptr; // null: untouched
};

using Arrange = std::function<void(UnitBus&, const ShapeCommand&)>;

struct Condition {
    std::string name;
    Arrange arrange;
    Expect expect[kShapeCount];
};

Arrange readerReply(std::uint8_t status, bool withAnswer) {
    return [status, withAnswer](UnitBus& fixture, const ShapeCommand& command) {
        fixture.simReader().script(
            command.umux ? 0xBB : 0xBF,
            krnsim::Reply::frame(status, withAnswer ? hex(command.answer) : krnsim::Bytes{}));
    };
}

Arrange firstByteOnly() {
    return [](UnitBus& fixture, const ShapeCommand& command) {
        fixture.simReader().script(command.umux ? 0xBB : 0xBF,
                                   krnsim::Reply::frame(0, {hex(command.answer)[0]}));
    };
}

Arrange unitFault(krnsim::UnitFault fault) {
    return [fault](UnitBus& fixture, const ShapeCommand& command) {
        if (command.umux)
            fixture.bus.queueUmuxFault(fault);
        else
            fixture.bus.queueFault(kDat, fault);
    };
}

Condition allAlike(std::string name, Arrange arrange, Expect expect) {
    Condition condition{std::move(name), std::move(arrange), {}};
    for (Expect& e : condition.expect)
        e = expect;
    return condition;
}

// The unit reports `status` instead of carrying out the command.
Condition unitStatus(std::uint8_t s) {
    return {"unit status " + std::to_string(s),
            unitFault(krnsim::UnitFault::status(s)),
            {{s, 0, s, kKept},
             {s, 0, s, kKept},
             {s, 0, s, kKept},
             {0, 0, 0, s},
             {0, 0, 0, s, "00 00 00 00 00 00"},
             {0, 0, s, s}}};
}

// The answer has the wrong length: only a UMUX version with unit status 0
// hands its status byte over first.
Condition wrongLength(std::string name, Arrange arrange) {
    Condition condition = allAlike(std::move(name), std::move(arrange), {-4130, -4130, kKept, kKept});
    condition.expect[3].statusOut = 0;
    return condition;
}

std::vector<Condition> conditions() {
    std::vector<Condition> all;
    all.push_back(allAlike("reader status 1", readerReply(1, false), {-4132, -4132, kKept, kKept}));
    all.push_back(allAlike("reader status 2", readerReply(2, false), {-4031, -4031, kKept, kKept}));
    all.push_back(allAlike("0x84 without data", readerReply(0x84, false), {0x84, 0, kKept, kKept}));
    all.push_back({"0x84 with data",
                   readerReply(0x84, true),
                   {{0, 0, 0, kKept, "44 41 54 01 02 03 04"},
                    {0, 0, 0, kKept, "A1 A2 A3 A4 A5 A6"},
                    {0, 0, 0, kKept},
                    {0x84, 0, kKept, kKept},
                    {0x84, 0, kKept, kKept},
                    {0x84, 0, kKept, kKept}}});
    all.push_back(allAlike("0 without data", readerReply(0, false), {-4134, -4134, kKept, kKept}));
    all.push_back(allAlike("0x83 with data", readerReply(0x83, true), {0x83, 0, kKept, kKept}));
    all.push_back(wrongLength("first byte only", firstByteOnly()));
    all.push_back(wrongLength("one byte short", unitFault(krnsim::UnitFault::shortBy(1))));
    all.push_back(wrongLength("one byte long", unitFault(krnsim::UnitFault::longBy(1))));
    for (const std::uint8_t s : {0x0F, 0x10, 0x11, 0x80})
        all.push_back(unitStatus(s));
    all.push_back(
        allAlike("unit silent", unitFault(krnsim::UnitFault::silence()), {-4132, -4132, kKept, kKept}));
    return all;
}

constexpr std::size_t kOutputRoom = 8;

TEST_F(UnitBusTest, EveryAnswerShapeUnderEveryReaderAnswer) {
    for (const Condition& condition : conditions()) {
        for (std::size_t i = 0; i < kShapeCount; ++i) {
            const ShapeCommand& command = kShapes[i];
            const Expect& expect = condition.expect[i];
            SCOPED_TRACE(condition.name + ", " + command.name);
            condition.arrange(*this, command);
            markState();
            unsigned char status = 0x77;
            unsigned char out[kOutputRoom];
            std::memset(out, 0xAA, sizeof out);

            EXPECT_EQ(command.call(reader, &status, out), expect.result);
            EXPECT_EQ(g_iLastError, expect.lastError);
            EXPECT_EQ(g_ucLastStatus, expect.lastStatus == kKept ? 0x55 : expect.lastStatus);
            EXPECT_EQ(status, expect.statusOut == kKept ? 0x77 : expect.statusOut);
            const std::string output = expect.output ? expect.output : "";
            const std::size_t copied = hex(output).size();
            EXPECT_EQ(toHex(out, copied), output);
            for (std::size_t b = copied; b < kOutputRoom; ++b)
                EXPECT_EQ(out[b], 0xAA) << "byte " << b;
        }
    }
}

// Failures below the unit: libvkkrn's code is handed on, the last error stays 0.
TEST_F(UnitBusTest, ReaderFailuresPassThrough) {
    struct Failure {
        const char* name;
        int handle; // 0: the fixture's reader
        std::function<void(UnitBus&)> arrange;
        int result;
    };
    const Failure failures[] = {
        {"unknown handle", 0x0FFFFFF0, nullptr, -4023},
        {"negative handle", -1, nullptr, -4022},
        {"silence", 0, [](UnitBus& f) { f.simReader().queueFault(krnsim::Fault::silence()); },
         link.timeoutCode()},
        {"bad CRC", 0, [](UnitBus& f) { f.simReader().queueFault(krnsim::Fault::badCrc()); }, -4031},
    };
    for (const Failure& failure : failures) {
        for (const std::size_t i : {std::size_t{0}, std::size_t{5}}) {
            SCOPED_TRACE(std::string(failure.name) + ", " + kShapes[i].name);
            if (failure.arrange) failure.arrange(*this);
            markState();
            unsigned char status = 0x77;
            unsigned char out[kOutputRoom] = {};
            EXPECT_EQ(kShapes[i].call(failure.handle == 0 ? reader : failure.handle, &status, out),
                      failure.result);
            EXPECT_EQ(g_iLastError, 0);
            EXPECT_EQ(g_ucLastStatus, 0x55);
            EXPECT_EQ(status, 0x77);
        }
    }
}

// libvkkrn copies the reply and a zero byte into the answer buffer unasked of
// its size: the longest reply the reader can send fits.
TEST_F(UnitBusTest, TheLongestReplyFitsTheAnswerBuffer) {
    krnsim::Bytes longest(65527, 0x5A);
    longest[0] = 0x02;
    longest[1] = 0x00;
    simReader().script(0xBF, krnsim::Reply::frame(0, longest));
    unsigned char version[7] = {};
    EXPECT_EQ(VKFU_DAT_SoftVersion(reader, kBus, kDat, version), -4130);
    longest[0] = 0x00;
    simReader().script(0xBB, krnsim::Reply::frame(0, longest));
    unsigned char status = 0x77;
    EXPECT_EQ(VKFU_UMUX_Detect_GetPower(reader, kBus, 1, 2, &status, version), -4130);
    EXPECT_EQ(g_iLastError, -4130);
}

} // namespace
} // namespace vkfu_test
