#include "hex.h"

#include <krnsim/reader_model.h>

#include <gtest/gtest.h>

namespace krnsim {
namespace {

using test::hex;
using test::toHex;

// "SS: data" for an answer.
std::string show(const Answer& answer) {
    return toHex(Bytes{answer.status}) + ":" + toHex(answer.data);
}

TEST(KrnSimModel, LengthRulesOfTheCommandSet) {
    struct Case {
        std::uint8_t command;
        std::string data;
        std::uint8_t status;
    };
    const Case cases[] = {
        {0x1A, "", 0x00},
        {0x1A, "00", 0x81},
        {0x18, "00" + std::string(15 * 2, '0'), 0x00},
        {0x18, "01" + std::string(22 * 2, '0'), 0x00},
        {0x18, "00" + std::string(22 * 2, '0'), 0x81},
        {0x18, "02" + std::string(15 * 2, '0'), 0x81},
        {0x18, "", 0x81},
        {0x1E, "0102030405", 0x00},
        {0x1E, "01020304", 0x81},
        {0x1E, "0102030405AABB", 0x00},
        {0x22, "0001", 0x00},
        {0x22, "01", 0x81},
        {0x35, "0102030405", 0x00},
        {0x6B, "", 0x00},
        {0x6B, "010203040506", 0x00},
        {0x6B, "01", 0x81},
        {0x6E, "05", 0x00},
        {0x6E, "2101", 0x00},
        {0x6E, "21", 0x81},
        {0x6E, "0501", 0x81},
        {0x71, "0000000000000000", 0x00},
        {0x71, "00", 0x81},
        {0x72, "0100", 0x00},
        {0x72, "010201020304AABBCCDD", 0x00},
        {0x7A, "0102030405024142", 0x00},
        {0x7A, "010203040503414243", 0x00},
        {0x7A, "01020304050341", 0x81},
        {0x81, "00" + std::string(14 * 2, '1'), 0x00},
        {0x81, "00", 0x81},
        {0x8B, "0102030000", 0x00},
        {0x8B,
         "0102030201"
         "AAAAAA"
         "BBBBBB",
         0x00},
        {0x8B, "0102030201AAAA", 0x81},
        {0xA3, "01020300", 0x00},
        {0xA3, "0102030201", 0x81},
        {0xA3, "010203020102", 0x00},
        {0xAD, "010200", 0x00},
        {0xAD, "01020101", 0x00},
        {0xAD, "0102", 0x81},
        {0xB1, "", 0x81},
        {0xBB, "01060000000048", 0x00},
        {0xBB, "010600000000", 0x81},
        {0xC1, "010200A0FF04", 0x00},
        {0xC0, "02", 0x81},
        {0xFE, "", 0x00},
        {0x99, "", 0x80},
        {0xBC, "0102", 0x80},
        {0x00, "", 0x80},
        {0xAE, "0102", 0x82},
        {0xAF, "00", 0x82},
    };
    for (const Case& c : cases) {
        ReaderModel model;
        std::string text = c.data;
        if (text.size() % 2) text += "0"; // odd rows are padded to whole bytes
        EXPECT_EQ(model.answer(c.command, hex(text)).status, c.status)
            << toHex(Bytes{c.command}) << " " << c.data;
    }
}

TEST(KrnSimModel, ReadBackPairs) {
    struct Step {
        std::uint8_t command;
        const char* data;
        const char* expected;
    };
    const std::vector<std::vector<Step>> sequences = {
        {{0x80, "05", "00:00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
         {0x81, "05 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E", "00:"},
         {0x80, "05", "00:01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E"},
         {0x80, "06", "00:00 00 00 00 00 00 00 00 00 00 00 00 00 00"}},
        {{0x81, "07 11 11 11 11 11 11 11 11 11 11 11 11 11 11", "00:"},
         {0x83, "07", "00:"},
         {0x80, "07", "00:00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
         {0x81, "07 22 22 22 22 22 22 22 22 22 22 22 22 22 22", "00:"},
         {0x82, "07", "00:"},
         {0x81, "07 33 33 33 33 33 33 33 33 33 33 33 33 33 33", "00:"},
         {0x83, "07", "00:"},
         {0x80, "07", "00:22 22 22 22 22 22 22 22 22 22 22 22 22 22"}},
        {{0x8A, "01 02 03 00 00 00", "00:00 00"},
         {0x8B, "01 02 03 02 01 A1 A2 A3 B1 B2 B3", "00:"},
         {0x8A, "01 02 03 00 00 00", "00:02 01 A1 A2 A3 B1 B2 B3"},
         {0x8A, "01 02 04 00 00 00", "00:00 00"},
         {0x8C, "01 02 03 00 00 00", "00:"},
         {0x8A, "01 02 03 00 00 00", "00:00 00"}},
        {{0x86, "", "00:00 00 00 00"}, {0x85, "01 02 03 04", "00:"}, {0x86, "", "00:01 02 03 04"}},
        {{0x87, "01 02 03 04 05 06 07 08 09", "00:"}, {0x88, "", "00:01 02 03 04 05 06 07 08 09"}},
        {{0x6C, "06 05 04 03 02 01", "00:"}, {0x6D, "", "00:06 05 04 03 02 01"}},
    };
    for (const auto& sequence : sequences) {
        ReaderModel model;
        for (const Step& step : sequence)
            EXPECT_EQ(show(model.answer(step.command, hex(step.data))), step.expected)
                << toHex(Bytes{step.command}) << " " << step.data;
    }
}

TEST(KrnSimModel, FixedReadOuts) {
    ReaderModel model;
    EXPECT_EQ(show(model.answer(0x65, {})), "00:01 02 03 4B 00 10 00 10 00");
    EXPECT_EQ(show(model.answer(0x31, {})), "00:00 00 00 00 00 00");
    EXPECT_EQ(show(model.answer(0x74, {})), "00:00");
    EXPECT_EQ(show(model.answer(0x75, {})), "00:00 00");
    EXPECT_EQ(show(model.answer(0x66, hex("00"))), "00:01 02 03 4B 50 00 03 10 00 10 00 00 00");
    EXPECT_EQ(show(model.answer(0x66, hex("01"))), "00:") << "a mode without a read-out";
    EXPECT_EQ(show(model.answer(0x21, hex("00"))), "00:00 00");
    EXPECT_EQ(show(model.answer(0x22, hex("00 01"))), "00:00 00 00");
    EXPECT_EQ(show(model.answer(0x63, {})), "00:") << "any other known command";
    model.setReadOut(0x65, hex("AA BB"));
    model.setReadOut(0x74, hex("05"));
    model.setReaderInfo(0x04, hex("01 02"));
    model.setReaderInfo(0x80, hex("03"));
    EXPECT_EQ(show(model.answer(0x65, {})), "00:AA BB");
    EXPECT_EQ(show(model.answer(0x74, {})), "00:05");
    EXPECT_EQ(show(model.answer(0x66, hex("04"))), "00:01 02");
    EXPECT_EQ(show(model.answer(0x66, hex("80"))), "00:03");
    EXPECT_THROW(model.setReadOut(0x66, {}), std::invalid_argument);
    EXPECT_THROW(model.setReadOut(0x65, Bytes(65528, 0)), std::invalid_argument);
    EXPECT_EQ(show(model.answer(0x65, {})), "00:AA BB");
}

TEST(KrnSimModel, EchoesDataBufferChannelAnalysisAndDiagnostics) {
    ReaderModel model;
    EXPECT_EQ(show(model.answer(0x1E, hex("01 02 03 04 05 AA BB"))), "00:AA BB");
    EXPECT_EQ(show(model.answer(0x1F, hex("01 02 03 CC"))), "00:CC");
    EXPECT_EQ(show(model.answer(0x9F, hex("01 02 03"))), "00:");

    model.queueBufferRecord(hex("11 12"));
    model.queueBufferRecord(hex("21 22"));
    model.queueBufferRecord(hex("31"));
    EXPECT_EQ(show(model.answer(0x21, hex("01"))), "00:00 01 11 12") << "oldest first";
    model.setBufferHead(hex("81 07"));
    EXPECT_EQ(show(model.answer(0x22, hex("00 05"))), "00:81 07 00 02 21 22 31") << "the long head";
    EXPECT_EQ(show(model.answer(0x22, hex("00 05"))), "00:81 07 00 00");
    EXPECT_EQ(show(model.answer(0x21, hex("05"))), "00:81 00") << "0x21 takes the head's first byte";
    model.queueBufferRecord(hex("41"));
    EXPECT_EQ(model.bufferRecords(), 1u);
    EXPECT_EQ(show(model.answer(0x32, {})), "00:");
    EXPECT_EQ(model.bufferRecords(), 0u);
    EXPECT_THROW(model.setBufferHead(hex("81")), std::invalid_argument);
    EXPECT_THROW(model.setBufferHead(hex("01 02")), std::invalid_argument);

    struct Case {
        const char* request;
        std::size_t bytes;
    };
    const Case cases[] = {
        {"01 00 00 00 00 02", 8}, {"10 00 00 00 00 02", 8}, {"10 01 00 00 00 02", 4},
        {"10 03 00 00 00 02", 2}, {"40 00 00 00 00 03", 6}, {"04 00 00 00 00 03", 3},
        {"00 00 00 00 00 03", 3},
    };
    for (const Case& c : cases) {
        const Answer a = model.answer(0x68, hex(c.request));
        ASSERT_EQ(a.data.size(), c.bytes) << c.request;
        EXPECT_EQ(a.data[0], 0x80);
        EXPECT_EQ(a.data[c.bytes - 1], ReaderModel::channelAnalysisByte(c.bytes - 1));
    }
    EXPECT_EQ(model.answer(0x68, hex("01 00 00 00 FF FF")).data.size(), kMaxAdvancedReplyData);

    EXPECT_EQ(show(model.answer(0x6E, hex("21 5A"))), "00:5A");
    EXPECT_EQ(show(model.answer(0x6E, hex("01"))), "00:");
    model.setReadOut(0x6E, hex("01 02"));
    model.setReadOut(0x76, hex("03"));
    EXPECT_EQ(show(model.answer(0x6E, hex("01"))), "00:01 02");
    EXPECT_EQ(show(model.answer(0x76, hex("01"))), "00:03");
}

Tag makeTag(std::uint8_t last, std::uint8_t type, std::uint8_t size = 4, std::uint16_t count = 8,
            bool readOnly = false) {
    Tag tag;
    tag.uid = {0xE0, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, last};
    tag.type = type;
    tag.blockSize = size;
    tag.blockCount = count;
    tag.readOnly = readOnly;
    for (std::size_t i = 0; i < std::size_t{size} * count; ++i)
        tag.blocks.push_back(static_cast<std::uint8_t>(i));
    return tag;
}

constexpr const char* kUidA = "E0 04 01 00 00 00 00 0A";
constexpr const char* kUidB = "E0 04 01 00 00 00 00 0B";

TEST(KrnSimModel, IsoCommandsOnTheTransponderTable) {
    struct Case {
        const char* name;
        int tags; // 0, 1 (A) or 2 (A read-only with 2-byte blocks, then B)
        std::string request;
        const char* expected;
    };
    const std::string b = kUidB;
    const Case cases[] = {
        {"inventory, no tag", 0, "01 00", "01:"},
        {"inventory, one tag", 1, "01 00", "00:01 03 E0 04 01 00 00 00 00 0A"},
        {"inventory, two tags in table order", 2, "01 00",
         "00:02 05 E0 04 01 00 00 00 00 0A 03 E0 04 01 00 00 00 00 0B"},
        {"inventory with the asynchronous time byte", 1, "01 00 0A", "00:01 03 E0 04 01 00 00 00 00 0A"},
        {"inventory too short", 1, "01", "81:"},
        {"read, not addressed: first tag", 1, "23 00 01 02", "00:02 04 04 05 06 07 08 09 0A 0B"},
        {"read, flags 03 is not addressed", 1, "23 03 00 01", "00:01 04 00 01 02 03"},
        {"read, addressed", 2, "23 01 " + b + " 07 01", "00:01 04 1C 1D 1E 1F"},
        {"read, addressed, unknown UID", 1, "23 01 " + b + " 00 01", "01:"},
        {"read, no tag", 0, "23 00 00 01", "01:"},
        {"read, last block", 1, "23 00 07 01", "00:01 04 1C 1D 1E 1F"},
        {"read, beyond the tag", 1, "23 00 07 02", "04:"},
        {"read, too short", 1, "23 00 00", "81:"},
        {"read, addressed but no UID", 1, "23 01 00 01", "81:"},
        {"write, size differs", 1, "24 00 00 01 02 AA BB", "11:"},
        {"write, beyond the tag", 1, "24 00 08 01 04 AA BB CC DD", "04:"},
        {"write, read-only", 2, "24 00 00 01 02 AA BB", "03:"},
        {"write, data not count x size", 1, "24 00 00 02 04 AA BB CC DD", "81:"},
        {"write, too short", 1, "24 00 00 01", "81:"},
        {"write, addressed to B", 2, "24 01 " + b + " 00 01 04 AA BB CC DD", "00:"},
        {"other mode", 1, "25 00", "86:"},
        {"no mode", 1, "", "81:"},
    };
    for (const Case& c : cases) {
        ReaderModel model;
        if (c.tags == 1) model.transponders().add(makeTag(0x0A, 0x03));
        if (c.tags == 2) {
            model.transponders().add(makeTag(0x0A, 0x05, 2, 4, true));
            model.transponders().add(makeTag(0x0B, 0x03));
        }
        EXPECT_EQ(show(model.answer(0xB0, hex(c.request))), c.expected) << c.name;
    }
}

TEST(KrnSimModel, WriteThenReadAndTheField) {
    ReaderModel model;
    model.transponders().add(makeTag(0x0A, 0x03));
    model.transponders().add(makeTag(0x0B, 0x03, 32, 256));
    EXPECT_EQ(show(model.answer(0xB0, hex("24 00 02 02 04 11 22 33 44 55 66 77 88"))), "00:");
    EXPECT_EQ(show(model.answer(0xB0, hex("23 00 02 02"))), "00:02 04 11 22 33 44 55 66 77 88");

    Uid a{};
    std::copy_n(hex(kUidA).begin(), 8, a.begin());
    model.transponders().setInField(a, false);
    EXPECT_EQ(show(model.answer(0xB0, hex(std::string("23 01 ") + kUidA + " 00 01"))), "01:");
    EXPECT_EQ(model.answer(0xB0, hex("01 00")).data.at(0), 1);
    const Answer all = model.answer(0xB0, hex("23 00 00 FF"));
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.data.size(), 2u + 255 * 32) << "a big read goes out in one reply";
    model.transponders().setInField(a, true);
    model.transponders().remove(a);
    EXPECT_EQ(model.answer(0xB0, hex("01 00")).data.at(0), 1);
}

TEST(KrnSimModel, BadTagsAreRefusedAndChangeNothing) {
    ReaderModel model;
    model.transponders().add(makeTag(0x0A, 0x03));
    Tag zeroSize = makeTag(0x0B, 0x03);
    zeroSize.blockSize = 0;
    Tag bigSize = makeTag(0x0B, 0x03);
    bigSize.blockSize = 33;
    Tag noBlocks = makeTag(0x0B, 0x03);
    noBlocks.blockCount = 0;
    Tag tooMany = makeTag(0x0B, 0x03);
    tooMany.blockCount = 257;
    Tag wrongData = makeTag(0x0B, 0x03);
    wrongData.blocks.pop_back();
    for (const Tag& bad : {zeroSize, bigSize, noBlocks, tooMany, wrongData, makeTag(0x0A, 0x01)})
        EXPECT_THROW(model.transponders().add(bad), std::invalid_argument);
    EXPECT_THROW(model.transponders().remove(Uid{}), std::invalid_argument);
    EXPECT_THROW(model.transponders().setInField(Uid{}, false), std::invalid_argument);
    ASSERT_EQ(model.transponders().tags().size(), 1u);
    EXPECT_EQ(model.transponders().tags()[0].type, 0x03);
    Tag blank = makeTag(0x0C, 0x07);
    blank.blocks.clear();
    model.transponders().add(blank);
    EXPECT_EQ(show(model.answer(0xB0, hex("23 01 E0 04 01 00 00 00 00 0C 00 01"))), "00:01 04 00 00 00 00");
}

} // namespace
} // namespace krnsim
