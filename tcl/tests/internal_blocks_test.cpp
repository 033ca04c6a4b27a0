// Blocks and the response's re-assembly.
#include "blocks.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using vktcl::VKProtocolBlock;
using vktcl::VKResponse;

// An answer block: PSTAT, id and `payload` bytes counting up from `first`.
std::unique_ptr<VKProtocolBlock> answer(int id, int status, int pstat, int payload, std::uint8_t first = 0) {
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(pstat), static_cast<std::uint8_t>(id >> 8),
                                   static_cast<std::uint8_t>(id)};
    for (int i = 0; i < payload; ++i)
        data.push_back(static_cast<std::uint8_t>(first + i));
    return std::make_unique<VKProtocolBlock>(id, status, 0, pstat, 0, data.data(), 0,
                                             static_cast<int>(data.size()));
}

std::vector<std::uint8_t> copied(const VKResponse& response, int* rc = nullptr) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(response.getResponseLength()) + 4, 0xEE);
    const int r = response.getResponse(out.data());
    if (rc != nullptr) *rc = r;
    return out;
}

struct Arrival {
    int id;
    int status;
    int pstat;
    int payload;
};

TEST(TclResponse, Reassembly) {
    const struct {
        const char* name;
        std::vector<Arrival> arrivals;
        bool complete;
        int length;
        int rc;
    } rows[] = {
        {"in order", {{0, 0x94, 2, 10}, {1, 0x94, 2, 10}, {2, 0, 2, 5}}, true, 25, 0},
        {"1 0 2", {{1, 0x94, 2, 10}, {0, 0x94, 2, 10}, {2, 0, 2, 5}}, true, 25, 0},
        {"waiting time filtered", {{0, 0x94, 1, 2}, {1, 0, 2, 7}}, true, 7, 0},
        {"duplicate", {{0, 0x94, 2, 3}, {0, 0x94, 2, 3}, {1, 0, 2, 3}}, false, 9, -4275},
        {"missing", {{0, 0x94, 2, 3}, {2, 0, 2, 3}}, false, 6, -4275},
        {"no last", {{0, 0x94, 2, 3}}, false, 3, -4275},
        {"short payload", {{0, 0, 2, 0}}, true, 0, 0},
        {"0x96 after data", {{0, 0x94, 2, 4}, {1, 0x96, 0x96, 0}}, true, 1, 0},
    };
    for (const auto& row : rows) {
        VKResponse response;
        bool complete = false;
        for (const Arrival& a : row.arrivals) {
            if (a.status == 0x96) {
                const std::uint8_t byte = 0x6A;
                complete = response.addProtocolBlock(
                    std::make_unique<VKProtocolBlock>(a.id, a.status, 0, 0x96, 0, &byte, 0, 1));
            } else {
                complete = response.addProtocolBlock(
                    answer(a.id, a.status, a.pstat, a.payload, static_cast<std::uint8_t>(a.id * 16)));
            }
        }
        EXPECT_EQ(complete, row.complete) << row.name;
        EXPECT_EQ(response.getResponseLength(), row.length) << row.name;
        int rc = 1;
        const auto bytes = copied(response, &rc);
        EXPECT_EQ(rc, row.rc) << row.name;
        // Nothing is written past the response length.
        for (std::size_t i = static_cast<std::size_t>(row.length); i < bytes.size(); ++i)
            EXPECT_EQ(bytes[i], 0xEE) << row.name;
    }
}

TEST(TclResponse, PayloadsInIdOrder) {
    VKResponse response;
    response.addProtocolBlock(answer(1, 0x94, 2, 2, 0x10));
    response.addProtocolBlock(answer(0, 0x94, 2, 2, 0x00));
    EXPECT_TRUE(response.addProtocolBlock(answer(2, 0, 2, 1, 0x20)));
    const auto bytes = copied(response);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 5),
              (std::vector<std::uint8_t>{0x00, 0x01, 0x10, 0x11, 0x20}));
}

TEST(TclResponse, ClearingStartsAfresh) {
    VKResponse response;
    response.addProtocolBlock(answer(0, 0x94, 2, 3));
    response.addProtocolBlock(answer(0, 0, 2, 3));
    EXPECT_FALSE(response.isComplete());
    response.clearResponse();
    EXPECT_TRUE(response.addProtocolBlock(answer(0, 0, 2, 3)));
    EXPECT_EQ(response.getResponseLength(), 3);
}

// The card's error byte is the whole response, alone or after data blocks.
TEST(TclResponse, IsoErrorIsTheWholeResponse) {
    for (const int before : {0, 1, 3}) {
        VKResponse response;
        for (int id = 0; id < before; ++id)
            response.addProtocolBlock(answer(id, 0x94, 2, 5));
        const std::uint8_t byte = 0x6A;
        EXPECT_TRUE(response.addProtocolBlock(
            std::make_unique<VKProtocolBlock>(before, 0x96, 0, 0x96, 0, &byte, 0, 1)));
        EXPECT_EQ(response.getResponseLength(), 1) << before;
        std::uint8_t out[2] = {0, 0xEE};
        EXPECT_EQ(response.getResponse(out), 0) << before;
        EXPECT_EQ(out[0], 0x6A) << before;
        EXPECT_EQ(out[1], 0xEE) << before;
    }
}

TEST(TclBlocks, OutgoingAndCopies) {
    const VKProtocolBlock empty(0, 0, 249, 0, 0x81, nullptr, 0, 0);
    EXPECT_EQ(empty.getBlockLength(), 2);
    EXPECT_EQ(empty.getBlockElement(0), 0xBE);
    EXPECT_EQ(empty.getBlockElement(1), 0x81);
    const std::uint8_t data[] = {1, 2, 3, 4, 5};
    const VKProtocolBlock cut(3, 0, 5, 0, 0x41, data, 1, 4);
    ASSERT_EQ(cut.getBlockLength(), 5);
    EXPECT_EQ(cut.getBlockElement(2), 2);
    EXPECT_EQ(cut.getBlockElement(4), 4);
    const VKProtocolBlock copy(cut);
    EXPECT_EQ(copy.getBlockID(), 3);
    EXPECT_NE(copy.getBlock(), cut.getBlock());
    EXPECT_EQ(copy.getBlockElement(4), 4);
    EXPECT_TRUE(copy == cut);
    EXPECT_TRUE(empty < cut);
    EXPECT_TRUE(cut > empty);
    const std::uint8_t shortAnswer[] = {2, 0};
    const VKProtocolBlock noPayload(0, 0, 0, 2, 0, shortAnswer, 0, 2);
    EXPECT_EQ(noPayload.getBlockLength(), 0);
    const VKProtocolBlock emptyCopy(noPayload);
    EXPECT_EQ(emptyCopy.getBlockElement(0), 0);
}

} // namespace
