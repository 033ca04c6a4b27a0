#include "hex_text.h"
#include "reply_parser.h"
#include "unquote.h"

#include <vkplatform/zlog_capture.h>

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

using zrb::ReplyField;

constexpr int kUntouched = -99;

struct Outputs {
    int ints[3] = {kUntouched, kUntouched, kUntouched};
    std::uint8_t flag = 0xEE;
    std::uint8_t hex[2] = {0xEE, 0xEE};
};

// One letter per value field: c checked int, l last int, f flag result,
// b flag byte, h hex into two bytes, n a checked int with a NULL output.
std::vector<ReplyField> fieldsFor(const char* layout, Outputs& out) {
    std::vector<ReplyField> fields;
    int nextInt = 0;
    for (const char* p = layout; *p != '\0'; ++p) {
        switch (*p) {
        case 'c': fields.push_back(ReplyField::checkedInt(&out.ints[nextInt++])); break;
        case 'l': fields.push_back(ReplyField::lastInt(&out.ints[nextInt++])); break;
        case 'f': fields.push_back(ReplyField::flagResult(&out.flag)); break;
        case 'b': fields.push_back(ReplyField::flagByte(&out.flag)); break;
        case 'h': fields.push_back(ReplyField::hexBytes(out.hex, 2)); break;
        case 'n': fields.push_back(ReplyField::checkedInt(nullptr)); break;
        }
    }
    return fields;
}

TEST(ReplyGrammar, CodesMessagesAndValueFields) {
    struct Case {
        const char* reply;
        const char* layout;
        int code;
        const char* message; // nullptr: no new message
        std::vector<int> ints;
        int flag = 0xEE;
    };
    const Case cases[] = {
        {"0", "", 0, nullptr, {kUntouched}},
        {"0", "c", 11, nullptr, {kUntouched}},
        {",,0,,4", "c", 0, nullptr, {4}},
        {"7,\"pin, busy\",1", "f", 7, "pin, busy", {}, 1},
        {"7", "", 11, "ZRB_SCPI_RESP_CMD_FAILED", {}},
        {"7,busy", "", 11, "ZRB_SCPI_RESP_CMD_FAILED", {}},
        {"7,\"busy", "", 11, "ZRB_SCPI_RESP_CMD_FAILED", {}},
        {"7,", "", 11, "ZRB_SCPI_RESP_CMD_FAILED", {}},
        {"7,,\"m\"", "", 11, "ZRB_SCPI_RESP_CMD_FAILED", {}},
        {"7,\"say \"\"hi\"\"\"", "", 7, "say \"hi\"", {}},
        {"7,\"a\"x,3", "c", 7, "ax", {3}},
        {"7,\"m\",,,3", "c", 7, "m", {3}},
        {"7,\"m\"", "c", 11, "m", {kUntouched}},
        {"0,5x,6", "cc", 11, nullptr, {5, kUntouched}},
        {"9,\"m\",5x,6", "cc", 9, "m", {5, kUntouched}},
        {"0,5x", "l", 0, nullptr, {5}},
        {"0,1,2,3x", "ccl", 0, nullptr, {1, 2, 3}},
        {"0,TERRA", "c", 11, nullptr, {0}},
        {"0, -12", "c", 0, nullptr, {-12}},
        {"0,2", "b", 0, nullptr, {}, 1},
        {"0,0", "b", 0, nullptr, {}, 0},
        {"0,256", "f", 0, nullptr, {}, 0},
        {"0,1x", "f", 0, nullptr, {}, 1},
        {"4294967296,\"m\"", "", INT_MAX, "m", {}},
        {"-4294967296,\"m\"", "", INT_MIN, "m", {}},
        {"0,4294967296", "c", 0, nullptr, {INT_MAX}},
        {"0,-2147483648", "c", 0, nullptr, {INT_MIN}},
        {"0", "n", 11, nullptr, {}},
        {"0,1", "n", 0, nullptr, {}},
        {"abc", "", 0, nullptr, {}},
        {"", "", 11, nullptr, {}},
        {",,,", "", 11, nullptr, {}},
        {" \r\n 3,\"m\"", "", 3, "m", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("reply '") + c.reply + "' fields '" + c.layout + "'");
        Outputs out;
        const auto fields = fieldsFor(c.layout, out);
        const zrb::ReplyOutcome outcome = zrb::parseReply(c.reply, fields);
        EXPECT_EQ(outcome.code, c.code);
        if (c.message == nullptr) {
            EXPECT_FALSE(outcome.message.has_value());
        } else {
            EXPECT_EQ(outcome.message.value_or("<none>"), c.message);
        }
        for (std::size_t i = 0; i < c.ints.size(); ++i)
            EXPECT_EQ(out.ints[i], c.ints[i]) << "int " << i;
        EXPECT_EQ(out.flag, c.flag);
    }
}

TEST(ReplyGrammar, HexFieldsAndTheirFailures) {
    struct Case {
        const char* reply;
        int code;
        std::uint8_t hex[2];
        const char* logged; // ERROR text on ZRB_CLIENT, or nullptr
    };
    const Case cases[] = {
        {"0,ABCD", 0, {0xAB, 0xCD}, nullptr},
        {"0,abc", 0, {0xAB, 0xC0}, nullptr},
        {"0,ABCDE",
         11,
         {0xAB, 0xCD},
         "destination storage (2 bytes) can't hold value 'ABCDE' passed by server"},
        {"0,AG", 11, {0xA0, 0xEE}, "Value 'AG' passed by server is not an hex string as expected"},
        {"5,\"m\",AG", 5, {0xA0, 0xEE}, "Value 'AG' passed by server is not an hex string as expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        vkplatform::ZlogCapture capture;
        Outputs out;
        const auto fields = fieldsFor("h", out);
        EXPECT_EQ(zrb::parseReply(c.reply, fields).code, c.code);
        EXPECT_EQ(out.hex[0], c.hex[0]);
        EXPECT_EQ(out.hex[1], c.hex[1]);
        std::vector<std::string> errors;
        for (const auto& record : capture.records("ZRB_CLIENT")) {
            if (record.level == ZLOG_LEVEL_ERROR) errors.push_back(record.message);
        }
        if (c.logged == nullptr) {
            EXPECT_TRUE(errors.empty());
        } else {
            EXPECT_EQ(errors, std::vector<std::string>{c.logged});
        }
    }
}

TEST(ReplyGrammar, HooksSeeTheirFieldAndCanFailIt) {
    std::string seen;
    const ReplyField stored = ReplyField::custom([&](std::string_view field) {
        seen = field;
        return ReplyField::Read::kStored;
    });
    EXPECT_EQ(zrb::parseReply("0,\"quoted\"", std::span(&stored, 1)).code, 0);
    EXPECT_EQ(seen, "\"quoted\"");
    const ReplyField failed = ReplyField::custom([](std::string_view) { return ReplyField::Read::kFailed; });
    EXPECT_EQ(zrb::parseReply("0,x", std::span(&failed, 1)).code, 11);
    EXPECT_EQ(zrb::parseReply("6,\"m\",x", std::span(&failed, 1)).code, 6);
}

TEST(ReplyGrammar, InstrumentMessagesAreLoggedLiterallyAtDebug) {
    vkplatform::ZlogCapture capture;
    EXPECT_EQ(zrb::parseReply("5,\"%s%n\"", {}).code, 5);
    const auto records = capture.records("ZRB_CLIENT");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, ZLOG_LEVEL_DEBUG);
    EXPECT_EQ(records[0].message, "%s%n");
}

TEST(HexText, Str2binAndBin2str) {
    std::uint8_t bytes[2] = {0x11, 0x22};
    EXPECT_TRUE(zrb::str2bin(bytes, 2, ""));
    EXPECT_EQ(bytes[0], 0x11);
    EXPECT_FALSE(zrb::str2bin(bytes, 0, "A"));
    EXPECT_TRUE(zrb::str2bin(bytes, 2, "fF0"));
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0x00);
    const std::uint8_t data[] = {0x00, 0xAB, 0x5f};
    EXPECT_EQ(zrb::bin2str(data, 3), "00AB5F");
    EXPECT_EQ(zrb::bin2str(data, 0), "");
}

TEST(Unquote, QuotesPendingAndStops) {
    struct Case {
        const char* text;
        const char* result; // nullptr: none
        std::size_t stop;
    };
    const Case cases[] = {
        {"\"abc\"", "abc", 5},   {"\"a,b\",c", "a,b", 5},  {"\"\"", "", 2},
        {"\"x\"\"\"", "x\"", 5}, {"\"a\"b\"", nullptr, 0}, // the last quote is copied and clears the pending
                                                           // one
        {"\"a\"b", "ab", 4},     {"abc\"", nullptr, 0},    {"\"abc", nullptr, 0},
        {"\"a\"\"", nullptr, 0}, {"", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::size_t stop = 12345;
        const auto result = zrb::unquote_str(c.text, &stop);
        if (c.result == nullptr) {
            EXPECT_FALSE(result.has_value());
        } else {
            ASSERT_TRUE(result.has_value());
            EXPECT_EQ(*result, c.result);
            EXPECT_EQ(stop, c.stop);
        }
    }
}

} // namespace
