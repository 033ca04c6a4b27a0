// Cutting requests into blocks and the waiting time a card asks for.
#include "exchange.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

using vktcl::buildRequest;
using vktcl::RequestKind;
using vktcl::RequestShape;
using vktcl::VKProtocol;

struct Cut {
    int length; // block length (0xBE, mode, payload)
    std::uint8_t mode;
};

std::vector<Cut> cuts(const VKProtocol& p) {
    std::vector<Cut> out;
    for (int i = 0; i < p.getBlockCount(); ++i)
        out.push_back({p.getProtocolBlock(i).getBlockLength(), p.getProtocolBlock(i).getBlockElement(1)});
    return out;
}

RequestShape shape(int receiveSize, bool cid = false, bool nad = false, bool advanced = false) {
    RequestShape s;
    s.receiveSize = receiveSize;
    s.useCid = cid;
    s.useNad = nad;
    s.advanced = advanced;
    s.cid = 0xC1;
    s.nad = 0x4E;
    return s;
}

TEST(TclRequest, Examples) {
    const struct {
        const char* name;
        RequestKind kind;
        int apdu;
        RequestShape shape;
        std::vector<Cut> expected;
    } rows[] = {
        {"300 bytes", RequestKind::Apdu, 300, shape(256), {{249, 0xC1}, {55, 0x01}}},
        {"250 bytes", RequestKind::Apdu, 250, shape(256), {{249, 0xC1}, {5, 0x01}}},
        {"248 bytes", RequestKind::Apdu, 248, shape(256), {{250, 0x81}}},
        {"249 bytes", RequestKind::Apdu, 249, shape(256), {{249, 0xC1}, {4, 0x01}}},
        {"251 bytes", RequestKind::Apdu, 251, shape(256), {{249, 0xC1}, {6, 0x01}}},
        {"252 bytes", RequestKind::Apdu, 252, shape(256), {{249, 0xC1}, {7, 0x01}}},
        {"247 with CID and NAD", RequestKind::Apdu, 247, shape(256, true, true), {{249, 0xC7}, {4, 0x07}}},
        {"246 with CID", RequestKind::Apdu, 246, shape(256, true), {{249, 0x83}}},
        {"10 with CID and NAD", RequestKind::Apdu, 10, shape(256, true, true), {{14, 0x87}}},
        {"advanced", RequestKind::Apdu, 20, shape(20, false, false, true), {{13, 0xC1}, {11, 0x01}}},
        {"receive size 10", RequestKind::Apdu, 7, shape(10), {{5, 0xC1}, {5, 0x41}, {3, 0x01}}},
        {"empty", RequestKind::Apdu, 0, shape(256), {}},
        {"ping", RequestKind::Ping, 0, shape(256), {{2, 0x88}}},
        {"ping CID", RequestKind::Ping, 0, shape(256, true), {{3, 0x8A}}},
        {"ping NAD only", RequestKind::Ping, 0, shape(256, false, true), {{2, 0x88}}},
        {"deselect", RequestKind::Deselect, 0, shape(256), {{2, 0x80}}},
        {"deselect CID NAD", RequestKind::Deselect, 0, shape(256, true, true), {{3, 0x82}}},
    };
    for (const auto& row : rows) {
        std::vector<std::uint8_t> apdu(static_cast<std::size_t>(row.apdu));
        std::iota(apdu.begin(), apdu.end(), std::uint8_t{0});
        VKProtocol p;
        ASSERT_EQ(buildRequest(p, row.kind, apdu.data(), row.apdu, row.shape), 0) << row.name;
        const auto got = cuts(p);
        ASSERT_EQ(got.size(), row.expected.size()) << row.name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].length, row.expected[i].length) << row.name << " block " << i;
            EXPECT_EQ(got[i].mode, row.expected[i].mode) << row.name << " block " << i;
        }
    }
}

TEST(TclRequest, PrefixesOnTheFirstBlockOnly) {
    const std::uint8_t apdu[] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4};
    VKProtocol p;
    ASSERT_EQ(buildRequest(p, RequestKind::Apdu, apdu, 5, shape(10, true, true)), 0);
    ASSERT_EQ(p.getBlockCount(), 3);
    const auto& first = p.getProtocolBlock(0);
    EXPECT_EQ(first.getBlockElement(2), 0xC1);
    EXPECT_EQ(first.getBlockElement(3), 0x4E);
    EXPECT_EQ(first.getBlockElement(4), 0xA0);
    EXPECT_EQ(p.getProtocolBlock(1).getBlockElement(2), 0xA1);
    VKProtocol ping;
    ASSERT_EQ(buildRequest(ping, RequestKind::Ping, nullptr, 0, shape(256, true, true)), 0);
    EXPECT_EQ(ping.getProtocolBlock(0).getBlockElement(2), 0xC1);
}

// Every cut: frames fit the reader's buffer, payloads rebuild the APDU and
// 0x40 marks every block but the last.
TEST(TclRequest, Sweep) {
    for (const int receive : {10, 64, 256, 258, 300}) {
        for (const bool advanced : {false, true}) {
            for (int prefix = 0; prefix < 4; ++prefix) {
                const bool cid = (prefix & 1) != 0;
                const bool nad = (prefix & 2) != 0;
                for (int n = 0; n <= 600; ++n) {
                    std::vector<std::uint8_t> apdu(static_cast<std::size_t>(n));
                    std::iota(apdu.begin(), apdu.end(), std::uint8_t{7});
                    VKProtocol p;
                    ASSERT_EQ(buildRequest(p, RequestKind::Apdu, apdu.data(), n,
                                           shape(receive, cid, nad, advanced)),
                              0);
                    std::vector<std::uint8_t> rebuilt;
                    for (int i = 0; i < p.getBlockCount(); ++i) {
                        const auto& b = p.getProtocolBlock(i);
                        const int data = b.getBlockLength();
                        const int frame = data + (advanced || data > 250 ? 7 : 5);
                        ASSERT_LE(frame, receive) << receive << " " << n << " " << i;
                        const bool follows = i + 1 < p.getBlockCount();
                        ASSERT_EQ((b.getBlockElement(1) & 0x40) != 0, follows)
                            << receive << " " << n << " " << i;
                        for (int k = 2; k < data; ++k)
                            rebuilt.push_back(b.getBlockElement(k));
                    }
                    const std::size_t skip = (cid ? 1u : 0u) + (nad ? 1u : 0u);
                    if (n == 0 && skip == 0) {
                        EXPECT_EQ(p.getBlockCount(), 0);
                        continue;
                    }
                    ASSERT_EQ(rebuilt.size(), apdu.size() + skip);
                    ASSERT_TRUE(
                        std::equal(apdu.begin(), apdu.end(), rebuilt.begin() + static_cast<long>(skip)));
                }
            }
        }
    }
}

TEST(TclRequest, LargestApdu) {
    std::vector<std::uint8_t> apdu(65535, 0x5A);
    VKProtocol p;
    ASSERT_EQ(buildRequest(p, RequestKind::Apdu, apdu.data(), 65535, shape(256, true, true)), 0);
    EXPECT_EQ(p.getBlockCount(), 266); // 65,537 bytes, 247 per block
}

TEST(TclWaitingTime, Wanted) {
    const struct {
        std::uint8_t wtxm, fwi;
        std::optional<int> wanted;
    } rows[] = {
        {0, 0, std::nullopt}, {1, 4, 300},   {10, 7, 586},  {59, 14, 6500},
        {0, 20, 300},         {0, 255, 300}, {1, 14, 5147}, {1, 36, 300}, // FWI mod 32: 4
        {59, 23, 300},                                                    // the product wraps negative
        {1, 25, 6500},                                                    // wraps to a large positive value
        {3, 13, 6500},
    };
    for (const auto& row : rows)
        EXPECT_EQ(vktcl::wantedTimeout(row.wtxm, row.fwi), row.wanted)
            << int(row.wtxm) << " " << int(row.fwi);
}

} // namespace
