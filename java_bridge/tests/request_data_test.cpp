// BuildProtocol's request data over a table of data-memory values, ISO items
// and blocks.
#include "request_data.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using nubokrn4j::buildRequestData;
using nubokrn4j::RequestData;
using Bytes = std::vector<std::uint8_t>;

class TableSource final : public nubokrn4j::RequestSource {
  public:
    std::map<std::string, Bytes> memory;
    std::map<std::string, int> items; // UID text -> index
    int failingBlock = -1;
    std::string askedUid = "(none)";
    std::vector<int> blocksRead;

    int byte(const char* id, std::uint8_t& value) override { return bytes(id, &value, 1); }
    int bytes(const char* id, std::uint8_t* out, int count) override {
        const auto it = memory.find(id);
        if (it == memory.end()) return -103;
        for (int k = 0; k < count; ++k)
            out[k] = k < static_cast<int>(it->second.size()) ? it->second[static_cast<std::size_t>(k)] : 0;
        return 0;
    }
    int isoItem(const std::string& uidText) override {
        askedUid = uidText;
        const auto it = items.find(uidText);
        return it == items.end() ? -103 : it->second;
    }
    int block(int index, int block, std::uint8_t* out, int count) override {
        if (block == failingBlock) return -103;
        blocksRead.push_back(block);
        for (int k = 0; k < count; ++k)
            out[k] = static_cast<std::uint8_t>(index * 16 + block);
        return 0;
    }
};

const Bytes kUid = {0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
constexpr char kUidText[] = "E004010012345678";

// Every identifier BuildProtocol reads, with distinct values.
TableSource filled() {
    TableSource s;
    s.memory = {
        {"03 10 110 00 96 00 00", kUid},  {"03 10 09 03 01 00 00", {0x05}},
        {"03 10 09 04 01 00 00", {0x03}}, {"03 10 09 05 01 00 00", {0x04}},
        {"03 10 15 10 01 00 00", {0x10}}, {"03 10 15 11 01 00 00", {0x11}},
        {"03 10 15 12 01 00 00", {0x12}}, {"03 10 15 13 01 00 00", {0x13}},
        {"03 10 15 14 01 00 00", {0x14}}, {"03 10 15 15 04 00 00", {0xA1, 0xA2, 0xA3, 0xA4}},
        {"03 10 15 19 01 00 00", {0x19}}, {"03 10 06 02 06 00 00", {0x61, 0x62, 0x63, 0x64, 0x65, 0x66}},
    };
    s.items = {{kUidText, 2}, {"", 0}};
    return s;
}

Bytes withUid(Bytes head, Bytes tail) {
    Bytes out = std::move(head);
    out.insert(out.end(), kUid.begin(), kUid.end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

struct Row {
    const char* name;
    std::uint8_t command;
    std::uint8_t mode;
    std::uint8_t flags;
    int code;
    Bytes data;
};

TEST(RequestData, ModesOfBothCommands) {
    const Bytes blocks = {0x25, 0x25, 0x25, 0x25, 0x26, 0x26, 0x26, 0x26, 0x27, 0x27, 0x27, 0x27};
    Bytes b0Blocks = withUid({0x24, 0x01}, {0x05, 0x03, 0x04});
    b0Blocks.insert(b0Blocks.end(), blocks.begin(), blocks.end());
    const Bytes unaddressedBlocks = {0x24, 0x02, 0x05, 0x03, 0x04, 0x05, 0x05, 0x05, 0x05,
                                     0x06, 0x06, 0x06, 0x06, 0x07, 0x07, 0x07, 0x07};
    const Row rows[] = {
        {"B0 01", 0xB0, 0x01, 0x00, 0, {0x01, 0x00}},
        {"B0 01 addressed", 0xB0, 0x01, 0x01, 0, {0x01, 0x01}},
        {"B0 23", 0xB0, 0x23, 0x00, 0, {0x23, 0x00, 0x05, 0x03}},
        {"B0 23 addressed", 0xB0, 0x23, 0x01, 0, withUid({0x23, 0x01}, {0x05, 0x03})},
        {"B0 24 addressed", 0xB0, 0x24, 0x01, 0, b0Blocks},
        {"B0 24", 0xB0, 0x24, 0x02, 0, unaddressedBlocks},
        {"B0 25", 0xB0, 0x25, 0x00, 0, {0x25, 0x00}},
        {"B0 25 addressed", 0xB0, 0x25, 0x11, 0, withUid({0x25, 0x11}, {})},
        {"B0 C0", 0xB0, 0xC0, 0x02, 0, {0xC0, 0x02}},
        {"B0 C0 addressed", 0xB0, 0xC0, 0x01, -118, {}},
        {"B0 22", 0xB0, 0x22, 0x00, -118, {}},
        {"B2 2B", 0xB2, 0x2B, 0x01, 0, {0x2B}},
        {"B2 30", 0xB2, 0x30, 0x00, 0, {0x30, 0x00, 0x14, 0x10, 0xA1, 0xA2, 0xA3, 0xA4, 0x13}},
        {"B2 30 addressed", 0xB2, 0x30, 0x01, -118, {}},
        {"B2 B0", 0xB2, 0xB0, 0x00, 0, {0xB0, 0x00, 0x10, 0x12, 0x11}},
        {"B2 B0 flag bit 3",
         0xB2,
         0xB0,
         0x08,
         0,
         {0xB0, 0x08, 0x10, 0x12, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66}},
        {"B2 B0 addressed", 0xB2, 0xB0, 0x09, -118, {}},
        {"B2 B2", 0xB2, 0xB2, 0x00, 0, {0xB2, 0x19}},
        {"B2 B2 addressed", 0xB2, 0xB2, 0x01, 0, {0xB2, 0x19}},
        {"B2 31", 0xB2, 0x31, 0x00, -118, {}},
        {"B1", 0xB1, 0x01, 0x00, -118, {}},
    };
    for (const Row& row : rows) {
        TableSource s = filled();
        const char* modeId = row.command == 0xB2 ? "03 10 14 00 01 00 00" : "03 10 08 00 01 00 00";
        const char* flagsId = row.command == 0xB2 ? "03 10 14 01 01 00 00" : "03 10 08 01 01 00 00";
        s.memory[modeId] = {row.mode};
        s.memory[flagsId] = {row.flags};
        const RequestData d = buildRequestData(s, row.command);
        EXPECT_EQ(d.code, row.code) << row.name;
        EXPECT_EQ(d.bytes, row.data) << row.name;
    }
}

TEST(RequestData, BlockModeLooksTheItemUpByItsUidText) {
    TableSource s = filled();
    s.memory["03 10 08 00 01 00 00"] = {0x24};
    s.memory["03 10 08 01 01 00 00"] = {0x01};
    EXPECT_EQ(buildRequestData(s, 0xB0).code, 0);
    EXPECT_EQ(s.askedUid, kUidText);
    EXPECT_EQ(s.blocksRead, (std::vector<int>{5, 6, 7}));

    s.memory["03 10 08 01 01 00 00"] = {0x00};
    EXPECT_EQ(buildRequestData(s, 0xB0).code, 0);
    EXPECT_EQ(s.askedUid, "");

    // No item with the UID, or a block that cannot be read: -115.
    s.memory["03 10 08 01 01 00 00"] = {0x01};
    s.items.erase(kUidText);
    EXPECT_EQ(buildRequestData(s, 0xB0).code, -115);
    s = filled();
    s.memory["03 10 08 00 01 00 00"] = {0x24};
    s.memory["03 10 08 01 01 00 00"] = {0x00};
    s.failingBlock = 6;
    const RequestData d = buildRequestData(s, 0xB0);
    EXPECT_EQ(d.code, -115);
    EXPECT_TRUE(d.bytes.empty());
}

TEST(RequestData, BlockModeStaysWithinAThousandBytes) {
    // Unaddressed head of 5 bytes, blocks of 5: after c blocks 5 + 5c bytes, and
    // room for one more block is asked for after the last one too.
    struct Case {
        std::uint8_t count;
        int code;
        std::size_t size;
    } cases[] = {{198, 0, 995}, {199, -127, 0}};
    for (const Case& c : cases) {
        TableSource s = filled();
        s.memory["03 10 08 00 01 00 00"] = {0x24};
        s.memory["03 10 08 01 01 00 00"] = {0x00};
        s.memory["03 10 09 03 01 00 00"] = {0x00};
        s.memory["03 10 09 04 01 00 00"] = {c.count};
        s.memory["03 10 09 05 01 00 00"] = {0x05};
        const RequestData d = buildRequestData(s, 0xB0);
        EXPECT_EQ(d.code, c.code) << int{c.count};
        EXPECT_EQ(d.bytes.size(), c.size) << int{c.count};
    }
}

TEST(RequestData, AFailingDataMemoryReadEndsTheBuild) {
    TableSource s = filled();
    s.memory["03 10 14 00 01 00 00"] = {0x30};
    s.memory["03 10 14 01 01 00 00"] = {0x00};
    s.memory.erase("03 10 15 15 04 00 00");
    const RequestData d = buildRequestData(s, 0xB2);
    EXPECT_EQ(d.code, -103);
    EXPECT_TRUE(d.bytes.empty());
}

} // namespace
